"""How enabled models get the spell mixin in the registry, how ir.model rows
and their XML ids are kept, and what an addon upgrade leaves of them."""
import pytest
from spell_helpers import enable, spells

from odoo import models
from odoo.addons.base.models.res_partner import Partner
from odoo.addons.lumq_spell.models import spell_models
from odoo.addons.spell_test_models.models.test_models import SpellTestRecord
from odoo.models import MetaModel
from odoo.modules.registry import Registry
from odoo.tools import sql

MIXIN = "lumq_spell.spell_mixin"
ZHANG = ("zhangsan", "zs", "Z")
LISI = ("lisi", "ls", "L")


def ir_model(env, model_name):
    return env["ir.model"]._get(model_name)


def attached(registry, model_name):
    return "lumq_full_spell" in registry[model_name]._fields


def spell_classes(model):
    """The classes that put the mixin on the model."""
    return [cls for cls in type(model).mro() if MIXIN in cls.__dict__.get("_inherit", ())]


def recording(calls, func):
    def record(*args, **kwargs):
        calls.append(args)
        return func(*args, **kwargs)
    return record


def test_flag_write_attaches_each_model_in_order(env, monkeypatch):
    registry = env.registry
    inits = []
    monkeypatch.setattr(registry, "init_models", recording(inits, registry.init_models))
    industry = env["res.partner.industry"].create({"name": "制造业"})
    # a flagged row whose model is gone from the registry is passed over
    env.cr.execute("INSERT INTO ir_model (model, name, \"order\", state, is_spell_attached) "
                   "VALUES ('x.gone', 'Gone', 'id', 'base', 1) RETURNING id")
    gone = env["ir.model"].browse(env.cr.fetchone()[0])

    # the configuration field alone attaches nothing
    ir_model(env, "spell.test.record").write({"spell_field_name": "code"})
    assert not attached(registry, "spell.test.record") and inits == []

    rows = ir_model(env, "spell.test.record") + gone + ir_model(env, "res.partner.industry")
    rows.write({"is_spell_attached": True})

    assert [list(names) for _cr, names, _context in inits] == [
        ["spell.test.record"], ["res.partner.industry"]]
    assert all(context["update_custom_fields"] for _cr, _names, context in inits)
    for model_name in ("spell.test.record", "res.partner.industry"):
        table = env[model_name]._table
        assert attached(registry, model_name)
        assert all(sql.column_exists(env.cr, table, name)
                   for name in ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell"))
    record = env["spell.test.record"].create({"name": "张三", "code": "李四"})
    industry.write({"full_name": "x"})
    assert spells(record) == [LISI]
    assert spells(industry) == [("zhizaoye", "zzy", "Z")]


@pytest.mark.parametrize("missing", ["table", "column"])
def test_nothing_is_attached_before_table_and_column_exist(env, missing):
    cr = env.cr
    cr.execute("UPDATE ir_model SET is_spell_attached = 1 WHERE model = 'spell.test.record'")
    renames = {
        "table": ("ALTER TABLE lumq_spell_config RENAME TO lumq_spell_config_x",
                  "ALTER TABLE lumq_spell_config_x RENAME TO lumq_spell_config"),
        "column": ("ALTER TABLE ir_model RENAME COLUMN is_spell_attached TO is_spell_x",
                   "ALTER TABLE ir_model RENAME COLUMN is_spell_x TO is_spell_attached"),
    }[missing]
    cr.execute(renames[0])
    cr.commit()
    assert not attached(Registry.new(cr.dbname), "spell.test.record")
    cr.execute(renames[1])
    cr.commit()
    assert attached(Registry.new(cr.dbname), "spell.test.record")


def model_class(base, module, name, inherit, **attrs):
    """A model class of the given addon, as the addon's loading makes it."""
    cls = type("Probe", (base,), dict(attrs, _name=name, _inherit=inherit, _module=None,
                                      __module__=__name__))
    # set afterwards, so that the class is collected for no addon
    cls._module = module
    return cls


@pytest.mark.parametrize("module, name, inherit, outcome", [
    ("lumq_spell", "x.missing", ["x.missing"], "unbuilt"),
    ("spell_test_models", "x.missing", ["x.missing"], TypeError),
    ("lumq_spell", "spell.test.titled", ["spell.test.titled"], "built"),
    ("lumq_spell", "x.defined", [], "built"),
])
def test_build_model(env, module, name, inherit, outcome):
    registry = env.registry
    before = registry.models.get(name)
    cls = model_class(spell_models.LumqBaseExtend, module, name, inherit)
    if outcome is TypeError:
        with pytest.raises(TypeError, match="does not exist in registry"):
            cls._build_model(registry, env.cr)
    elif outcome == "unbuilt":
        assert cls._build_model(registry, env.cr) is cls
        assert name not in registry
    else:
        assert cls._build_model(registry, env.cr) is registry[name] is not cls
        assert before in (None, registry[name])


def test_reflect_writes_changed_rows_and_xml_ids(env, monkeypatch):
    enable(env, "spell.test.record")
    registry = env.registry
    upserts, queued = [], []
    monkeypatch.setattr(spell_models, "upsert_en", recording(upserts, spell_models.upsert_en))
    monkeypatch.setattr(registry, "post_init", recording(queued, registry.post_init))
    Data = env["ir.model.data"]
    Data.search([("module", "=", "spell_test_models"), ("model", "=", "ir.model")]).unlink()
    names = ["spell.test.record", "spell.test.titled", "lumq_spell.config", "res.partner"]

    def reflect():
        registry.init_models(env.cr, names, {"module": "spell_test_models"})
        return {name: bool(env.ref("spell_test_models.model_" + name.replace(".", "_"),
                                   raise_if_not_found=False)) for name in names}

    # nothing changed: no row written, but the XML ids of the module being
    # loaded are made again, for its own models only
    expected_ids = {"spell.test.record": True, "spell.test.titled": True,
                    "lumq_spell.config": False, "res.partner": False}
    assert reflect() == expected_ids
    assert upserts == [] and queued == []

    # one changed row: one upsert of that row, one queued call
    env.cr.execute("UPDATE ir_model SET name = 'old' WHERE model = 'spell.test.titled'")
    assert reflect() == expected_ids
    assert [[row[0] for row in rows] for _model, _cols, rows, _key in upserts] == [["spell.test.titled"]]
    assert len(queued) == 1
    assert ir_model(env, "spell.test.titled").name == "Spell test titled"


def test_changing_the_source_field(env):
    enable(env, "spell.test.record")
    record = env["spell.test.record"].create({"name": "张三", "code": "李四"})
    row = ir_model(env, "spell.test.record")
    for field_name, expected in [("code", LISI), (False, ZHANG), ("code", LISI)]:
        # written as the configuration writes it
        row.write({"is_spell_attached": True, "spell_field_name": field_name})
        record.write({"amount": 1})
        assert spells(record) == [expected]
    model = env["spell.test.record"]
    assert type(model).mro().count(env.registry[MIXIN]) == 1
    assert len(spell_classes(model)) == 1


def test_class_loaded_on_top_of_the_spell_class(env):
    enable(env, "spell.test.record", "code")
    record = env["spell.test.record"].create({"name": "制造业", "code": "张三"})
    registry = env.registry
    # an addon loaded later extends the model, with a list of its own
    model_class(models.Model, "spell_test_models", "spell.test.record", ["spell.test.record"],
                _rec_names_search=["name", "code"])._build_model(registry, env.cr)
    for _ in range(2):
        registry.setup_models(env.cr)
        model = env["spell.test.record"]
        assert model._rec_names_search == ["name", "code", "lumq_full_spell", "lumq_simple_spell"]
        assert [id_ for id_, _name in model.name_search("zs")] == [record.id]
        assert len(spell_classes(model)) == 1
        record.write({"amount": 1})
        assert spells(record) == [ZHANG]


@pytest.mark.parametrize("definition, name", [
    (SpellTestRecord, "name"),          # no list of its own
    (Partner, "name"),                  # a list of its own
])
def test_name_search_and_rec_names(env, make_env, definition, name):
    own = definition.__dict__.get("_rec_names_search")
    own_items = list(own or ())
    model_name = definition._name
    expected = (own_items or [name]) + ["lumq_full_spell", "lumq_simple_spell"]

    def check(env):
        Model = env[model_name]
        record = Model.create({name: "制造业"})
        for text in ("制造", "zhizao", "zzy"):
            assert record.id in [id_ for id_, _name in Model.name_search(text)], text
        assert Model._rec_names_search == expected

    enable(env, model_name)
    check(env)
    for _ in range(2):
        env.registry.setup_models(env.cr)
    check(env)
    # a new registry of the same database, as after a restart
    env.cr.commit()
    Registry.new(env.cr.dbname)
    check(env)

    # another database in the same process: first without, then with spell
    other = make_env("spell_test_models")
    assert other[model_name]._rec_names_search == own
    enable(other, model_name)
    check(other)
    check(env)
    assert definition.__dict__.get("_rec_names_search") is own
    assert list(own or ()) == own_items


@pytest.mark.parametrize("hide_module", [False, True])
def test_upgrade_keeps_enabled_model(env, monkeypatch, hide_module):
    records = env["spell.test.record"].create([{"name": "张三"}, {"name": "李四"}])
    config = enable(env, "spell.test.record")
    row = ir_model(env, "spell.test.record")
    xml_id = "spell_test_models.model_spell_test_record"
    assert env.ref(xml_id) == row
    if hide_module:
        # the fault: a spell class hiding the module of the model it extends
        instanciate = spell_models.IrModelExtend._instanciate_spell

        def hiding(self, model_data):
            cls = instanciate(self, model_data)
            if cls is not None:
                cls._module = None
            return cls
        monkeypatch.setattr(spell_models.IrModelExtend, "_instanciate_spell", hiding)

    env["ir.module.module"].search([("name", "=", "spell_test_models")]).button_immediate_upgrade()

    kept = [
        sql.table_exists(env.cr, "spell_test_record"),
        row.exists() == row,
        env.ref(xml_id, raise_if_not_found=False) == row,
        config.exists() == config,
    ]
    if hide_module:
        assert not any(kept)
        return
    assert all(kept)
    assert env.registry["spell.test.record"]._module == "spell_test_models"
    assert spells(env["spell.test.record"].search([])) == [ZHANG, LISI]
    assert env["spell.test.record"].search([]) == records
    assert row.is_spell_attached and config.model_id == row
    # the spell class is collected for no addon
    assert not [cls for classes in MetaModel.module_to_models.values()
                for cls in classes if MIXIN in cls._inherit]


def test_restart_keeps_the_module_that_last_extended_the_model(make_env):
    env = make_env("spell_test_extend")
    enable(env, "spell.test.record")
    xml_id = "spell_test_extend.model_spell_test_record"
    assert env.ref(xml_id) == ir_model(env, "spell.test.record")
    env.cr.commit()
    Registry.new(env.cr.dbname)  # a restart: the spell class is built before any set-up
    assert env["spell.test.record"]._module == "spell_test_extend"
    env["ir.module.module"].search([("name", "=", "spell_test_extend")]).button_immediate_upgrade()
    assert env.ref(xml_id, raise_if_not_found=False) == ir_model(env, "spell.test.record")


def test_models_inheriting_an_enabled_model_get_its_columns(make_env):
    env = make_env("spell_test_extend")
    enable(env, "spell.test.record")
    copy = env["spell.test.copy"].create({"name": "张三"})
    assert sql.column_exists(env.cr, "spell_test_copy", "lumq_full_spell")
    assert spells(copy) == [ZHANG]
