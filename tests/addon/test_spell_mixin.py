"""The spell mixin on enabled models: what the three spells hold, and which
create and write computes them."""
import pytest
from spell_helpers import enable, spells

ZHANG = ("zhangsan", "zs", "Z")
SPELL_FIELDS = ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell")


def ir_model(env, model_name):
    return env["ir.model"]._get(model_name)


@pytest.fixture
def computations(env, monkeypatch):
    """Enables spell.test.record; the list receives the ids of every
    computation that the mixin itself starts (the ORM's own computation of
    stored fields runs with the spell fields protected, and is left out)."""
    enable(env, "spell.test.record")
    Model = env.registry["spell.test.record"]
    compute = Model._compute_spell
    field = Model._fields["lumq_full_spell"]
    calls = []

    def recording(self):
        if self and not self.env.is_protected(field, self[0]):
            # what the computation reads: the stored source values
            calls.append((self.ids, self.mapped("name")))
        return compute(self)

    monkeypatch.setattr(Model, "_compute_spell", recording)
    return calls


def test_spells_of_several_records(env):
    enable(env, "spell.test.record")
    values = ["张三", "重庆", "银行", "ABC公司", "Odoo 17, ok!", "odoo", "", False]
    records = env["spell.test.record"].create([{"name": value} for value in values])
    expected = [
        ZHANG,
        ("chongqing", "cq", "C"),
        ("yinhang", "yh", "Y"),
        ("ABCgongsi", "ABCgs", "A"),
        # text without Chinese is kept as it is
        ("Odoo 17, ok!", "Odoo 17, ok!", "O"),
        ("odoo", "odoo", "O"),
        ("", "", ""),
        ("", "", ""),
    ]
    assert spells(records) == expected

    # a write recomputes every written record from its own value
    records.write({"lumq_full_spell": "x", "lumq_simple_spell": "x", "lumq_first_spell": "x"})
    assert spells(records) == [("x", "x", "x")] * len(values)
    records.write({"code": "c"})
    assert spells(records) == expected


@pytest.mark.parametrize("model_name, field, values, expected", [
    # no source field at all: neither a configured field nor a _rec_name
    ("spell.test.titled", None, {"title": "张三"}, (False, False, False)),
    # the configured field wins over _rec_name, even when empty
    ("spell.test.record", "code", {"name": "张三", "code": False}, ("", "", "")),
    ("spell.test.record", "code", {"name": "李四", "code": "张三"}, ZHANG),
    # fields that hold no text: their display text
    ("spell.test.record", "amount", {"amount": 1702}, ("1702", "1702", "1")),
    ("spell.test.record", "amount", {"amount": 0}, ("", "", "")),
    ("spell.test.record", "partner_id", {"partner_id": "张三"}, ZHANG),
    ("spell.test.record", "partner_id", {"partner_id": False}, ("", "", "")),
])
def test_source_field(env, model_name, field, values, expected):
    if values.get("partner_id"):
        values["partner_id"] = env["res.partner"].create({"name": values["partner_id"]}).id
    enable(env, model_name, field)
    record = env[model_name].create(values)
    assert spells(record) == [expected]
    record.write({"lumq_first_spell": "x"})
    record.write(dict(values))
    assert spells(record) == [expected]


@pytest.mark.parametrize("how", ["field removed", "unknown name"])
def test_deleted_source_field_falls_back_to_rec_name(env, how):
    enable(env, "spell.test.record", "code")
    record = env["spell.test.record"].create({"name": "张三", "code": "李四"})
    if how == "field removed":
        env["spell.test.record"]._pop_field("code")
    else:
        ir_model(env, "spell.test.record").write(
            {"is_spell_attached": True, "spell_field_name": "x_gone"})
    record.write({"name": "张三"})
    assert spells(record) == [ZHANG]
    assert spells(env["spell.test.record"].create({"name": "张三"})) == [ZHANG]


def test_create_computes_once_after_the_parent_create(env, computations):
    records = env["spell.test.record"].create([{"name": "张三"}, {"name": "李四"}, {}])
    assert computations == [(records.ids, ["张三", "李四", False])]
    assert spells(records) == [ZHANG, ("lisi", "ls", "L"), ("", "", "")]


@pytest.mark.parametrize("spell_field", SPELL_FIELDS)
def test_writes_that_compute_nothing(env, computations, spell_field):
    record = env["spell.test.record"].create({"name": "张三"})
    computations.clear()

    # a spell written directly is kept, and nothing is computed
    record.write({spell_field: "kept"})
    expected = tuple("kept" if name == spell_field else value
                     for name, value in zip(SPELL_FIELDS, ZHANG))
    assert spells(record) == [expected] and computations == []

    # nor under the flag, whatever the write changes
    record.with_context({"disable_spell_compute": True}).write({"name": "李四"})
    assert spells(record) == [expected] and computations == []

    # the next ordinary write, of any field, recomputes all three
    record.write({"code": "c"})
    assert spells(record) == [("lisi", "ls", "L")]
    assert computations == [([record.id], ["李四"])]


def test_related_record_without_a_name_or_not_readable(make_env):
    env = make_env("spell_test_extend")
    enable(env, "spell.test.record", "item_id")
    nameless = env["spell.test.item"].create({"name": False})
    record = env["spell.test.record"].create({"item_id": nameless.id})
    assert spells(record) == [("", "", "")]
    # a writer who may not read the linked record still writes, and the
    # spell is the same as for anyone else
    portal = env["res.users"].create({
        "name": "Portal", "login": "portal", "groups_id": [(6, 0, [env.ref("base.group_portal").id])]})
    env["ir.model.access"].create({
        "name": "portal writes records", "model_id": env["ir.model"]._get_id("spell.test.record"),
        "group_id": env.ref("base.group_portal").id,
        "perm_read": True, "perm_write": True, "perm_create": True, "perm_unlink": False})
    named = env["spell.test.item"].create({"name": "张三"})
    record.with_user(portal).write({"item_id": named.id})
    assert spells(record) == [ZHANG]
