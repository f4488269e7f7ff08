"""The spell mixin on enabled models: what the three spells hold, and which
create and write computes them."""
from odoo.exceptions import UserError
from odoo.tests.common import tagged

from .common import INTERNAL_SWITCH, LISI, SPELL_FIELDS, ZHANG, SpellCase, spells


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
        records.write({"lumq_full_spell": "x", "lumq_simple_spell": "x", "lumq_first_spell": "x"})
        self.assertEqual(spells(records), [("x", "x", "x")] * len(values))
        records.write({"code": "c"})
        self.assertEqual(spells(records), expected)

    def test_stored_spells_are_those_of_the_spell_methods(self):
        # Records store both spells from one transliteration; they must be
        # what get_full_spell and get_simple_spell give for any text.
        model = self.env["lumq_spell.spell_mixin"]
        texts = ["张三", "重庆银行", "ABC公司", "Odoo 17, ok!", "李 四", "〇", "ㄅ", "𠀋𠀍", "㐀",
                 "嗯呣", "ñé 👍 张", "a张b三c", "。，！", "Zhang三", "长长久久", "\t张\n", "", False]
        texts += [chr(code) for code in range(0x4E00, 0x9FA6, 97)]
        for text in texts:
            with self.subTest(text=text):
                self.assertEqual(model._get_spells(text),
                                 (model.get_full_spell(text), model.get_simple_spell(text)))

    def test_source_field(self):
        cases = [
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

    def test_writes_that_compute_nothing(self):
        computations = self.record_computations()
        for spell_field in SPELL_FIELDS:
            with self.subTest(spell_field=spell_field):
                record = self.env["spell.test.record"].create({"name": "张三"})
                computations.clear()

                # a spell written directly is kept, and nothing is computed
                record.write({spell_field: "kept"})
                expected = tuple("kept" if name == spell_field else value
                                 for name, value in zip(SPELL_FIELDS, ZHANG))
                self.assertEqual(spells(record), [expected])
                self.assertEqual(computations, [])

                # nor under the flag, whatever the write changes
                record.with_context({"disable_spell_compute": INTERNAL_SWITCH}).write({"name": "李四"})
                self.assertEqual(spells(record), [expected])
                self.assertEqual(computations, [])

                # the next ordinary write, of any field, recomputes all three
                record.write({"code": "c"})
                self.assertEqual(spells(record), [LISI])
                self.assertEqual(computations, [([record.id], ["李四"])])

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
