"""What the configuration screens rely on: which models the model field
offers, which fields the field picker offers, the record count of the list,
the onchange of the model, and the menu and action that open the screens."""
from lxml import etree

from odoo.exceptions import UserError, ValidationError
from odoo.tests.common import tagged

from .common import SpellCase, on_postgresql

# the field types whose values have a text form to transliterate
TEXT_TYPES = {"char", "text", "html", "selection", "many2one", "many2many"}


def eval_domain(domain, **names):
    """A field's domain text evaluated with ``names`` bound, as the web
    client evaluates it against the form's values; nothing else reachable."""
    return eval(domain, {"__builtins__": {}}, names)  # noqa: S307 (restricted)


def form_domain(env, field_name):
    """The domain of a field of the configuration form, as the web client
    gets it with the form."""
    arch = etree.fromstring(env["lumq_spell.config"].get_view(view_type="form")["arch"])
    return arch.find(f".//field[@name='{field_name}']").get("domain")


@tagged("post_install", "-at_install")
class TestConfigScreens(SpellCase):

    def model_row(self, model_name):
        return self.env["ir.model"]._get(model_name)

    def test_models_that_can_be_enabled(self):
        """The model field offers exactly the models that the configuration
        accepts: stored in a table of their own, neither transient nor
        abstract, and not one of the addon's own."""
        IrModel = self.env["ir.model"]
        expected = {
            "res.partner": True,
            "spell.test.record": True,
            "spell.test.copy": True,
            "spell.test.wizard": False,     # transient
            "spell.test.abstract": False,   # abstract
            "spell.test.report": False,     # an SQL view, no table of its own
            "lumq_spell.config": False,     # the addon's own
            "lumq_spell.spell_mixin": False,
            "ir.model": False,              # the server's own technical models
            "ir.model.fields": False,
            "ir.model.data": False,
            "ir.module.module": False,
            "ir.ui.view": True,
        }
        for model_name, can in expected.items():
            with self.subTest(model=model_name):
                row = self.model_row(model_name)
                if not row:
                    # abstract models are not reflected on every host
                    self.assertFalse(can)
                    continue
                self.assertEqual(row.spell_can_be_enabled, can)
                self.assertEqual(bool(IrModel.search([("id", "=", row.id), ("spell_can_be_enabled", "=", True)])), can)
                self.assertEqual(bool(IrModel.search([("id", "=", row.id), ("spell_can_be_enabled", "=", False)])), not can)
                self.assertEqual(bool(IrModel.search([("id", "=", row.id), ("spell_can_be_enabled", "!=", True)])), not can)

        # the form's domain, as its model picker searches with it
        domain = eval_domain(form_domain(self.env, "model_id"))
        offered = IrModel.search(domain)
        self.assertIn(self.model_row("res.partner"), offered)
        self.assertNotIn(self.model_row("lumq_spell.config"), offered)
        self.assertNotIn(self.model_row("spell.test.wizard"), offered)

        # every model offered passes the configuration's check, every other
        # model of the registry is refused by it
        Config = self.env["lumq_spell.config"]
        for row in IrModel.search([("model", "in", list(self.registry))]):
            with self.subTest(model=row.model):
                if row in offered:
                    Config._check_spell_model(row.id)
                else:
                    with self.assertRaises(ValidationError):
                        Config._check_spell_model(row.id)

        with self.assertRaises(UserError):
            IrModel.search([("spell_can_be_enabled", "in", [True])])

    def test_field_picker_offers_stored_text_fields_of_the_model(self):
        domain_text = form_domain(self.env, "spell_field_id")
        Fields = self.env["ir.model.fields"]
        for model_name in ("spell.test.record", "res.partner"):
            with self.subTest(model=model_name):
                model_id = self.model_row(model_name).id
                offered = Fields.search(eval_domain(domain_text, model_id=model_id))
                names = set(offered.mapped("name"))
                self.assertTrue(offered)
                self.assertEqual(set(offered.mapped("model")), {model_name})
                self.assertTrue(set(offered.mapped("ttype")) <= TEXT_TYPES, offered.mapped("ttype"))
                self.assertTrue(all(offered.mapped("store")))
                self.assertIn("name", names)
                # not stored (display_name), not text (id, create_date, active, ...)
                for name in ("display_name", "id", "create_date", "active"):
                    self.assertNotIn(name, names)
        record_fields = set(Fields.search(eval_domain(
            domain_text, model_id=self.model_row("spell.test.record").id)).mapped("name"))
        self.assertTrue({"name", "code", "partner_id"} <= record_fields)
        self.assertNotIn("amount", record_fields)
        # no model chosen: nothing to pick
        self.assertFalse(Fields.search(eval_domain(domain_text, model_id=False)))

    def test_record_count_counts_every_record_of_the_model(self):
        Item = self.env["spell.test.item"]
        Item.create([{"name": name} for name in ("张三", "李四", "王五")])
        config = self.enable("spell.test.item")
        self.assertEqual(config.record_count, 3)

        Item.create({"name": "赵六"})
        config.invalidate_recordset(["record_count"])
        self.assertEqual(config.record_count, 4)

        # archived records store their spells too
        partners = self.env["res.partner"].create([{"name": "张三"}, {"name": "李四", "active": False}])
        everyone = self.env["res.partner"].with_context(active_test=False).search_count([])
        partner_config = self.enable("res.partner")
        self.assertIn(partners[1], self.env["res.partner"].with_context(active_test=False).search([]))
        self.assertEqual(partner_config.record_count, everyone)

        # the list shows the count of each configuration
        self.assertEqual((config | partner_config).mapped("record_count"), [4, everyone])
        self.assertEqual(self.env["lumq_spell.config"].new({}).record_count, 0)

    def test_record_count_counts_what_the_reader_may_read(self):
        self.env["spell.test.item"].create([{"name": name} for name in ("张三", "李四", "王五")])
        self.env["spell.test.copy"].create({"name": "张三"})
        configs = self.enable("spell.test.item") | self.enable("spell.test.copy")
        user = self.env["res.users"].create({
            "name": "Internal", "login": "lumq_internal",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id])],
        })
        # no access right lets internal users read spell.test.copy now
        self.env.ref("spell_test_extend.access_spell_test_copy").active = False
        self.assertEqual(configs.with_user(user).mapped("record_count"), [3, 0])
        self.assertEqual(configs.mapped("record_count"), [3, 1])
        if on_postgresql(self.cr):      # the stand-in has no record rules
            self.env["ir.rule"].create({
                "name": "lumq test: one item hidden",
                "model_id": self.env["ir.model"]._get_id("spell.test.item"),
                "domain_force": repr([("name", "!=", "张三")]),
            })
            configs.invalidate_recordset(["record_count"])
            self.assertEqual(configs.with_user(user).mapped("record_count"), [2, 0])

    def test_changing_the_model_clears_what_belongs_to_the_other_model(self):
        Config = self.env["lumq_spell.config"]
        record_model = self.model_row("spell.test.record")
        item_model = self.model_row("spell.test.item")
        code = self.env["ir.model.fields"].browse(self.field_id("spell.test.record", "code"))
        record_tree = self.env.ref("spell_test_models.spell_test_record_tree")

        with self.subTest("the model's own field and views stay"):
            config = Config.new({"model_id": record_model.id, "spell_field_id": code.id,
                                 "spell_navbar_view_ids": record_tree})
            config._onchange_model_id()
            self.assertEqual(config.spell_field_id, code)
            self.assertEqual(config.spell_navbar_view_ids._origin, record_tree)

        with self.subTest("another model: the field and views go"):
            config = Config.new({"model_id": record_model.id, "spell_field_id": code.id,
                                 "spell_navbar_view_ids": record_tree})
            config.model_id = item_model
            config._onchange_model_id()
            self.assertFalse(config.spell_field_id)
            self.assertFalse(config.spell_navbar_view_ids)
            self.assertEqual(config.model_id, item_model)

        with self.subTest("no model: nothing is left"):
            config = Config.new({"model_id": record_model.id, "spell_field_id": code.id})
            config.model_id = False
            config._onchange_model_id()
            self.assertFalse(config.spell_field_id)

    def test_menu_and_action_open_the_screens_for_administrators(self):
        menu = self.env.ref("lumq_spell.lumq_spell_config_menu")
        action = self.env.ref("lumq_spell.lumq_spell_config_action")
        self.assertEqual(menu.action, action)
        self.assertEqual(menu.parent_id, self.env.ref("base.menu_custom"))
        self.assertEqual(menu.complete_name, "Settings/Technical/Pinyin Search")
        self.assertEqual(menu.groups_id, self.env.ref("base.group_system"))
        self.assertEqual(action.res_model, "lumq_spell.config")
        self.assertEqual(action.view_mode, "tree,form")
        self.assertEqual(action.search_view_id, self.env.ref("lumq_spell.lumq_spell_config_view_search"))

        admin = self.env.ref("base.user_admin")
        clerk = self.env["res.users"].create({
            "name": "Clerk", "login": "lumq_clerk",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id])],
        })
        Menu = self.env["ir.ui.menu"]

        def reachable(user, debug):
            """Whether the user reaches the menu: it and its whole path are
            visible to the user."""
            visible = Menu.with_user(user)._visible_menu_ids(debug=debug)
            path = menu
            while path:
                if path.id not in visible:
                    return False
                path = path.parent_id
            return True

        # Settings > Technical shows in debug mode, to administrators alone
        self.assertTrue(reachable(admin, debug=True))
        self.assertFalse(reachable(admin, debug=False))
        self.assertFalse(reachable(clerk, debug=True))

    def test_views_of_the_screens(self):
        Config = self.env["lumq_spell.config"]

        def arch(view_type):
            return etree.fromstring(Config.get_view(view_type=view_type)["arch"])

        tree = arch("tree")
        self.assertEqual([node.get("name") for node in tree.iter("field")],
                         ["model_id", "model_name", "spell_field_id", "show_spell_navbar", "record_count",
                          "spell_state", "spell_progress"])
        # the configuration list is not a list of an enabled model
        self.assertNotIn("spell", tree.attrib)

        form = arch("form")
        names = [node.get("name") for node in form.iter("field")]
        for name in ("model_id", "spell_field_id", "show_spell_navbar", "spell_navbar_view_ids", "record_count"):
            self.assertIn(name, names)
        model_node = next(node for node in form.iter("field") if node.get("name") == "model_id")
        self.assertEqual(model_node.get("required"), "1")
        help_box = "//div[contains(concat(' ', @class, ' '), ' o_lumq_spell_help ')]//text()"
        help_text = " ".join(" ".join(form.xpath(help_box)).split())
        for words in ("zhangsan", "zs", "search views", "letters A to Z",
                      "computes the spells of every record", "records per second",
                      "each save of a record"):
            self.assertIn(words, help_text)

        search = arch("search")
        self.assertEqual({node.get("name") for node in search.iter("filter")},
                         {"navbar_shown", "navbar_hidden", "group_by_show_spell_navbar"})
