"""The configuration model lumq_spell.config: enabling, changing and deleting
spell search on a model, and the navbar decision."""
from unittest.mock import patch

from odoo.addons.lumq_spell.models import spell_models
from odoo.exceptions import ValidationError
from odoo.tests.common import tagged

from .common import FLAG, LISI, ZHANG, SpellCase, enable, on_postgresql, spells


@tagged("post_install", "-at_install")
class TestConfig(SpellCase):

    def extension_views(self, model_name):
        return self.env["ir.ui.view"].search([("name", "=", f"{model_name} search view spell extend")])

    def add_gone_model(self, model_name):
        """The ir.model row, marked, and the configuration of a model whose
        code is gone: an addon removed without being uninstalled leaves
        them behind."""
        row = self.env["ir.model"].create({"model": model_name, "name": "Gone", "state": "base"})
        row._write_spell_marks({"is_spell_attached": True})
        self.env.flush_all()
        self.cr.execute(
            "INSERT INTO lumq_spell_config (model_id, model_name, show_spell_navbar) "
            "VALUES (%s, %s, true)", (row.id, model_name))
        self.env.invalidate_all()
        return self.env["lumq_spell.config"].search([("model_name", "=", model_name)])

    def test_enable_marks_extends_computes_and_clears_cache(self):
        records = self.env["spell.test.record"].create([{"name": "x", "code": "张三"}, {"name": "y", "code": "李四"}])
        other = self.enable("spell.test.item")
        navbar_view = self.env.ref("spell_test_models.spell_test_record_tree")
        self.assertEqual(other.get_all_spell_view_view_ids(), [])
        other.with_context(FLAG).spell_navbar_view_ids = [(4, navbar_view.id)]

        config = self.enable("spell.test.record", "code")

        self.assertEqual(self.marked("spell.test.record"), (True, "code"))
        self.assertEqual(config.extended_search_view_ids, self.extension_views("spell.test.record"))
        self.assertEqual(len(config.extended_search_view_ids), 1)
        self.assertEqual(spells(records), [ZHANG, LISI])
        self.assertEqual(config.get_all_spell_view_view_ids(), [navbar_view.id])

    def test_enabling_computes_each_record_once(self):
        records = self.env["spell.test.record"].create([{"name": "张三"}, {"name": "李四"}])
        count = self.env["spell.test.record"].search_count([])
        with patch.object(spell_models, "lazy_pinyin", side_effect=spell_models.lazy_pinyin) as calls:
            self.enable("spell.test.record")
            self.env.flush_all()
        self.assertEqual(calls.call_count, count)       # one transliteration a record
        self.assertEqual(spells(records), [ZHANG, LISI])

    def test_enabling_computes_the_records_its_user_cannot_see(self):
        if not on_postgresql(self.cr):
            self.skipTest("the stand-in has neither record rules nor archived categories")
        hidden, archived = self.env["res.partner.category"].create(
            [{"name": "张三"}, {"name": "李四", "active": False}])
        self.env["ir.rule"].create({
            "name": "lumq test: one category hidden",
            "model_id": self.env["ir.model"]._get_id("res.partner.category"),
            "domain_force": repr([("id", "!=", hidden.id)]),
        })
        enable(self.env(user=self.env.ref("base.user_admin")), "res.partner.category")
        self.assertEqual(spells(hidden + archived), [ZHANG, LISI])

    def test_second_config_for_a_model_is_refused(self):
        config = self.enable("spell.test.record")
        views = self.env["ir.ui.view"].search([])
        # refused with a message before the database's unique index would
        # refuse it with an error in the server log
        for how in ("create", "create twice", "write"):
            with self.subTest(how=how):
                with self.assertNoLogs("odoo", "ERROR"), self.assertRaises(ValidationError) as caught:
                    if how == "create":
                        self.enable("spell.test.record", "code")
                    elif how == "create twice":
                        model_id = self.env["ir.model"]._get_id("spell.test.item")
                        self.env["lumq_spell.config"].create([{"model_id": model_id}] * 2)
                    else:
                        self.enable("spell.test.item").write({"model_id": config.model_id.id})
                self.assertIn("Spell search is already enabled for spell.test.", str(caught.exception))
        self.assertEqual(self.env["lumq_spell.config"].search([]), config)
        self.assertEqual(self.env["ir.ui.view"].search([]), views)
        self.assertEqual(self.marked("spell.test.record"), (True, False))

    def test_navbar_decision(self):
        Config = self.env["lumq_spell.config"]
        tree = self.env.ref("spell_test_models.spell_test_record_tree")
        search_view = self.env.ref("spell_test_models.spell_test_record_search")
        self.assertIs(Config.dislay_spell_navbar("spell.test.record", None), False)
        for show in (True, False):
            with self.case(show=show):
                config = self.enable("spell.test.record", show_spell_navbar=show)
                self.assertIs(Config.dislay_spell_navbar("spell.test.record", None), show)
                self.assertIs(Config.dislay_spell_navbar("spell.test.titled", tree.id), False)

                # a listed view shows the navbar, whatever the flag and the model say
                config.spell_navbar_view_ids = [(4, tree.id)]
                self.assertIs(Config.dislay_spell_navbar("spell.test.record", tree.id), True)
                self.assertIs(Config.dislay_spell_navbar("spell.test.titled", tree.id), True)

                # a write with the flag leaves the cached list stale until the next clear
                config.with_context(FLAG).spell_navbar_view_ids = [(4, search_view.id)]
                self.assertIs(Config.dislay_spell_navbar("spell.test.titled", search_view.id), False)
                self.env.registry.clear_cache()
                self.assertIs(Config.dislay_spell_navbar("spell.test.titled", search_view.id), True)

    def test_change_model_moves_mark_field_and_views(self):
        self.env["spell.test.titled"].create({"title": "张三"})
        config = self.enable("spell.test.record", "code")
        old_views = config.extended_search_view_ids

        config.write({
            "model_id": self.env["ir.model"]._get_id("spell.test.titled"),
            "spell_field_id": self.field_id("spell.test.titled", "title"),
        })

        self.assertEqual(self.marked("spell.test.record"), (False, "code"))
        self.assertEqual(self.marked("spell.test.titled"), (True, "title"))
        self.assertFalse(old_views.exists())
        self.assertEqual(config.extended_search_view_ids, self.extension_views("spell.test.titled"))
        self.assertEqual(self.web_search("spell.test.titled", "title", "zs").title, "张三")
        self.assertNotIn("lumq", self.env["spell.test.record"].get_view(view_type="search")["arch"])

    def test_enabling_again_follows_the_new_source_field(self):
        """A model enabled, set up again while it carries its spell class
        (here by enabling another model), disabled, and enabled anew for
        another source field: the spells come from the new field."""
        record = self.env["spell.test.record"].create({"name": "张三", "code": "李四"})
        config = self.enable("spell.test.record")
        self.enable("spell.test.item")
        self.assertEqual(spells(record), [ZHANG])
        config.unlink()
        self.enable("spell.test.record", "code")
        self.assertEqual(spells(record), [LISI])
        record.write({"name": "王五"})
        self.assertEqual(spells(record), [LISI])

    def test_write_with_flag_changes_stored_values_only(self):
        config = self.enable("spell.test.record")
        views = config.extended_search_view_ids
        cached = config.get_all_spell_view_view_ids()
        tree = self.env.ref("spell_test_models.spell_test_record_tree")

        config.with_context(FLAG).write({
            "model_id": self.env["ir.model"]._get_id("spell.test.item"),
            "spell_navbar_view_ids": [(4, tree.id)],
        })

        self.assertEqual(config.model_name, "spell.test.item")
        self.assertEqual(self.marked("spell.test.record"), (True, False))
        self.assertEqual(self.marked("spell.test.item"), (False, False))
        self.assertEqual(config.extended_search_view_ids, views)
        self.assertTrue(views.exists())
        self.assertEqual(config.get_all_spell_view_view_ids(), cached)
        self.assertEqual(cached, [])

    def test_unlink_removes_only_its_own_views_and_mark(self):
        for context in ({}, FLAG):
            with self.case(context=context):
                self.env["spell.test.record"].create({"name": "张三"})
                config = self.enable("spell.test.record")
                other = self.enable("spell.test.titled", "title")
                other_views = other.extended_search_view_ids

                self.assertIs(config.with_context(context).unlink(), True)

                self.assertFalse(self.extension_views("spell.test.record"))
                self.assertIs(self.marked("spell.test.record")[0], False)
                self.assertEqual(other.extended_search_view_ids, other_views)
                self.assertTrue(other_views.exists())
                self.assertEqual(self.marked("spell.test.titled"), (True, "title"))
                arch = self.env["spell.test.record"].get_view(view_type="search")["arch"]
                self.assertNotIn("lumq", arch)
                self.assertEqual(self.web_search("spell.test.record", "name", "张").name, "张三")

    def test_write_and_unlink_of_several_records(self):
        configs = self.enable("spell.test.record") | self.enable("spell.test.titled", "title")
        views = configs.mapped("extended_search_view_ids")

        configs.write({"show_spell_navbar": False})

        # each record's views were rebuilt on their own
        self.assertFalse(views.exists())
        self.assertEqual([len(c.extended_search_view_ids) for c in configs], [1, 1])
        self.assertIs(configs.unlink(), True)
        self.assertFalse(self.extension_views("spell.test.record") | self.extension_views("spell.test.titled"))
        self.assertFalse(self.env["ir.model"].search([("is_spell_attached", "=", True)]))

    def test_model_that_cannot_carry_spells_is_refused(self):
        for model_name in ("spell.test.wizard", "spell.test.abstract", "spell.test.report",
                           "lumq_spell.config", None):
            with self.case(model_name=model_name):
                expected = f"cannot be enabled on {model_name}" if model_name else "needs a model"
                model_id = model_name and self.env["ir.model"]._get_id(model_name)
                with self.assertRaisesRegex(ValidationError, expected):
                    self.env["lumq_spell.config"].create({"model_id": model_id})
                self.assertFalse(self.env["lumq_spell.config"].search([]))

                config = self.enable("spell.test.record")
                for context in ({}, FLAG):
                    with self.assertRaisesRegex(ValidationError, expected):
                        config.with_context(context).write({"model_id": model_id})
                self.assertEqual(config.model_name, "spell.test.record")
                self.assertEqual(self.marked("spell.test.record"), (True, False))
                if model_name:
                    self.assertEqual(self.marked(model_name), (False, False))

    def test_a_configured_model_whose_code_is_gone_blocks_nothing(self):
        config = self.enable("spell.test.record")
        gone = self.add_gone_model("gone.model")
        config.write({"show_spell_navbar": False})
        gone.unlink()
        self.assertEqual(self.env["lumq_spell.config"].search([]), config)
        self.assertEqual(spells(self.env["spell.test.record"].create({"name": "张三"})), [ZHANG])
