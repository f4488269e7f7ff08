"""The spell mixin on enabled models: what the three spells hold, and which
create and write computes them."""
from odoo.exceptions import UserError
from odoo.tests.common import tagged

from .common import INTERNAL_SWITCH, LISI, SPELL_FIELDS, ZHANG, SpellCase, spells

# The keys of the letter bar: it shows the records whose first spell is a
# letter under that letter, and all others (first spell empty, missing or
# anything else) under "#".
LETTERS = [chr(code) for code in range(ord("A"), ord("Z") + 1)]
OTHER_KEY = "#"


def letter_bar_domain(key):
    """The domain by which the letter bar filters the records under a key."""
    if key == OTHER_KEY:
        return ["|", ("lumq_first_spell", "=", False), ("lumq_first_spell", "not in", LETTERS)]
    return [("lumq_first_spell", "=", key)]


@tagged("post_install", "-at_install")
class TestSpellMixin(SpellCase):

    def record_computations(self):
        """Enable spell.test.record; the returned list receives the ids and
        source values of every computation that the mixin itself starts (the
        ORM's own computation of stored fields runs with the spell fields
        protected, and is left out)."""
        self.enable("spell.test.record")
        Model = self.registry["spell.test.record"]
        compute = Model._compute_spell
        field = Model._fields["lumq_full_spell"]
        calls = []

        def recording(records):
            if records and not records.env.is_protected(field, records[0]):
                calls.append((records.ids, records.mapped("name")))
            return compute(records)

        self.patch(Model, "_compute_spell", recording)
        return calls

    def test_spells_of_several_records(self):
        self.enable("spell.test.record")
        values = ["张三", "重庆", "银行", "ABC公司", "Odoo 17, ok!", "odoo", "", False]
        records = self.env["spell.test.record"].create([{"name": value} for value in values])
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
        self.assertEqual(spells(records), expected)

        # a write recomputes every written record from its own value
        records.write({"code": "c"})
        self.assertEqual(spells(records), expected)

    def test_stored_spells_are_those_of_the_spell_methods(self):
        # Records store both spells from one transliteration; they must be
        # what get_full_spell and get_simple_spell give for any text.
        model = self.env["lumq_spell.spell_mixin"]
        texts = ["张三", "重庆银行", "ABC公司", "Odoo 17, ok!", "李 四", "〇", "ㄅ", "𠀋𠀍", "㐀",
                 "嗯呣", "ñé 👍 张", "a张b三c", "。，！", "Zhang三", "长长久久", "\t张\n", "", False]
        texts += [chr(code) for code in range(0x4E00, 0x9FA6, 97)]
        # CJK extensions H and I, first and last characters
        texts += [chr(code) for code in (0x31350, 0x323AF, 0x2EBF0, 0x2EE5D)]
        for text in texts:
            with self.subTest(text=text):
                self.assertEqual(model._get_spells(text),
                                 (model.get_full_spell(text), model.get_simple_spell(text)))

    def test_source_field(self):
        cases = [
            # no source field at all: neither a configured field nor a _rec_name
            # (empty spells, computed: not the NULL of spells still to compute)
            ("spell.test.titled", None, {"title": "张三"}, ("", "", "")),
            # the configured field wins over _rec_name, even when empty
            ("spell.test.record", "code", {"name": "张三", "code": False}, ("", "", "")),
            ("spell.test.record", "code", {"name": "李四", "code": "张三"}, ZHANG),
            # fields that hold no text: their display text
            ("spell.test.record", "amount", {"amount": 1702}, ("1702", "1702", "#")),
            ("spell.test.record", "amount", {"amount": 0}, ("", "", "")),
            ("spell.test.record", "partner_id", {"partner_id": "张三"}, ZHANG),
            ("spell.test.record", "partner_id", {"partner_id": False}, ("", "", "")),
        ]
        for model_name, field, values, expected in cases:
            with self.case(model=model_name, field=field, values=values):
                values = dict(values)
                if values.get("partner_id"):
                    values["partner_id"] = self.env["res.partner"].create({"name": values["partner_id"]}).id
                self.enable(model_name, field)
                record = self.env[model_name].create(values)
                self.assertEqual(spells(record), [expected])
                record.write({"lumq_first_spell": "x"})
                record.write(dict(values))
                self.assertEqual(spells(record), [expected])

    def test_deleted_source_field_falls_back_to_rec_name(self):
        for how in ("field removed", "unknown name"):
            with self.case(how=how):
                self.enable("spell.test.record", "code")
                record = self.env["spell.test.record"].create({"name": "张三", "code": "李四"})
                if how == "field removed":
                    self.env["spell.test.record"]._pop_field("code")
                    self.registry_changed()
                else:
                    self.env["ir.model"]._get("spell.test.record")._write_spell_marks(
                        {"is_spell_attached": True, "spell_field_name": "x_gone"})
                record.write({"name": "张三"})
                self.assertEqual(spells(record), [ZHANG])
                self.assertEqual(spells(self.env["spell.test.record"].create({"name": "张三"})), [ZHANG])

    def test_create_computes_once_after_the_parent_create(self):
        computations = self.record_computations()
        records = self.env["spell.test.record"].create([{"name": "张三"}, {"name": "李四"}, {}])
        self.assertEqual(computations, [(records.ids, ["张三", "李四", False])])
        self.assertEqual(spells(records), [ZHANG, LISI, ("", "", "")])

    def test_spells_are_always_what_the_source_gives(self):
        computations = self.record_computations()
        record = self.env["spell.test.record"].create({"name": "张三", "lumq_full_spell": "given"})
        self.assertEqual(spells(record), [ZHANG])
        for spell_field in SPELL_FIELDS + ("lumq_spell_variants",):
            with self.subTest(spell_field=spell_field):
                # a value given for a spell is not stored
                record.write({spell_field: "given"})
                self.assertEqual(spells(record), [ZHANG])
                record.write({spell_field: "given", "name": "李四"})
                self.assertEqual(spells(record), [LISI])
                record.write({"name": "张三"})

        # the internal switches are not a request's: a client that passes
        # them in its context changes nothing
        for context in ({"disable_spell_compute": True},
                        {"lumq_spell_settled_ids": [record.id]},
                        {"lumq_spell_settled_ids": ["x", [record.id]]}):
            with self.subTest(context=context):
                record.with_context(context).write({"name": "李四"})
                self.assertEqual(spells(record), [LISI])
                created = self.env["spell.test.record"].with_context(context).create({"name": "李四"})
                self.assertEqual(spells(created), [LISI])
                record.write({"name": "张三"})

        # the addon's own switch makes a write compute nothing
        computations.clear()
        record.with_context({"disable_spell_compute": INTERNAL_SWITCH}).write({"name": "李四"})
        self.assertEqual(computations, [])

    def test_spells_are_stored_without_the_models_write(self):
        """The spells are stored as the ORM stores computed values: a record
        whose own write refuses every change gets them all the same."""
        Guarded = self.env["spell.test.guarded"]
        locked = Guarded.create({"name": Guarded.LOCKED})
        with self.assertRaises(UserError):
            locked.write({"name": "张三"})
        self.enable("spell.test.guarded")
        locked_spells = [("suoding", "sd", "S")]
        self.assertEqual(spells(locked), locked_spells)
        locked._compute_spell()
        self.assertEqual(spells(locked), locked_spells)
        self.assertEqual(spells(Guarded.create({"name": "张三"})), [ZHANG])

    def test_related_record_without_a_name_or_not_readable(self):
        self.enable("spell.test.record", "item_id")
        nameless = self.env["spell.test.item"].create({"name": False})
        record = self.env["spell.test.record"].create({"item_id": nameless.id})
        self.assertEqual(spells(record), [("", "", "")])
        # a writer who may not read the linked record still writes, and the
        # spell is the same as for anyone else
        portal_group = self.env.ref("base.group_portal")
        portal = self.env["res.users"].create({
            "name": "Portal", "login": "portal_spell_writer", "groups_id": [(6, 0, [portal_group.id])]})
        self.env["ir.model.access"].create({
            "name": "portal writes records", "model_id": self.env["ir.model"]._get_id("spell.test.record"),
            "group_id": portal_group.id,
            "perm_read": True, "perm_write": True, "perm_create": True, "perm_unlink": False})
        named = self.env["spell.test.item"].create({"name": "张三"})
        record.with_user(portal).write({"item_id": named.id})
        self.assertEqual(spells(record), [ZHANG])

    def test_first_spell_is_a_key_of_the_letter_bar(self):
        self.enable("spell.test.record")
        # the source text, and the key of the letter bar it files under
        firsts = {
            "张三": "Z", "odoo": "O", "Odoo": "O",
            # compatibility and accented forms: their base letter
            "ßen": "S", "ẞ": "S", "ﬁsh": "F", "Émile": "E", "émile": "E", "Ångström": "A",
            "ＡＢＣ": "A", "Øre": "O", "æble": "A", "Œuvre": "O", "łódź": "L", "Đorđe": "D",
            # anything else
            "1702": "#", "１７": "#", "(张三)": "#", "-x": "#", "Жанна": "#", "Ωmega": "#",
            "こんにちは": "#", "한국": "#", "ㄅ": "#", "👍": "#", "𱍐": "#",
        }
        Record = self.env["spell.test.record"]
        records = Record.create([{"name": name} for name in firsts])
        self.assertEqual(dict(zip(firsts, records.mapped("lumq_first_spell"))), firsts)
        # the full and simple spells stay the text as it is
        self.assertEqual(spells(records.filtered(lambda r: r.name in ("ßen", "ﬁsh", "1702"))),
                         [("ßen", "ßen", "S"), ("ﬁsh", "ﬁsh", "F"), ("1702", "1702", "#")])

        empty = Record.create({"name": False})
        self.assertEqual(spells(empty), [("", "", "")])
        for key in ("S", "E", "Z", OTHER_KEY):
            with self.subTest(key=key):
                expected = {name for name, first in firsts.items() if first == key}
                if key == OTHER_KEY:
                    expected.add(False)
                found = Record.search(letter_bar_domain(key) + [("id", "in", (records | empty).ids)])
                self.assertEqual(set(found.mapped("name")), expected)

    def test_html_source_is_spelled_from_its_text(self):
        self.enable("spell.test.record", "notes")
        cases = [
            ("<p>zs</p>", ("zs", "zs", "Z")),
            ("<p>张<b>三</b></p><p>李四</p>", ("zhangsan lisi", "zs ls", "Z")),
            ("<p>&lt;b&gt; 1 &amp; 2</p>", ("<b> 1 & 2", "<b> 1 & 2", "#")),
            ("<p><br></p>", ("", "", "")),
            (False, ("", "", "")),
        ]
        records = self.env["spell.test.record"].create([{"notes": notes} for notes, _ in cases])
        self.assertEqual(spells(records), [expected for _notes, expected in cases])
        records[0].write({"notes": "<div>李四</div>"})
        self.assertEqual(spells(records[0]), [LISI])

        # the text as a reader sees it, whatever the markup (not sanitized here)
        text_of = self.env["spell.test.record"]._get_spell_html_text
        markups = {
            "<p>a<!-- hidden -->b<?pi x?>c</p>": "abc",
            "<html><head><title>T</title><style>p {}</style></head><body>张三</body></html>": "张三",
            "<p>x<script>var y;</script>z</p>": "xz",
            '<?xml version="1.0" encoding="latin-1"?><p>é</p>': "é",
            "<ul><li>a</li><li>b</li></ul>a<br>b\n\t <i>c</i>d&nbsp;e": "a b a b cd e",
            "zs": "zs",
            "  <!-- -->  ": "",
            "<p": "",
        }
        self.assertEqual({markup: text_of(markup) for markup in markups}, markups)
        # a long text: only its start is read
        Record = self.env["spell.test.record"]
        long_text = text_of("<p>" + "张三 " * 100000 + "</p>")
        self.assertEqual(len(long_text), Record._spell_text_limit)
        self.assertTrue(long_text.startswith("张三 张三"))
        self.assertEqual(text_of("<p>" + " " * Record._spell_markup_limit + "张三</p>"), "")

    def test_selection_source_is_spelled_from_its_label(self):
        self.enable("spell.test.record", "stage")
        records = self.env["spell.test.record"].with_context(lang="en_US").create(
            [{"stage": "draft"}, {"stage": "done"}, {"stage": False}])
        self.assertEqual(spells(records), [("caogao", "cg", "C"), ("Done", "Done", "D"), ("", "", "")])
        records[1].write({"stage": "draft"})
        self.assertEqual(spells(records[1]), [("caogao", "cg", "C")])
