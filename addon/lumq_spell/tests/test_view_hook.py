"""The view hook: list-type view descriptions carry the navbar decision and,
when it is true, the spell attribute on their root element."""
from lxml import etree

from odoo.addons.base.models.ir_ui_view import Model as HostBase
from odoo.exceptions import AccessError
from odoo.tests.common import tagged

from .common import SpellCase

LIST_TYPES = ["list", "tree", "kanban", "pivot", "graph"]
SPELL = ' spell="lumq_spell" '
# the views that show the letter bar in the web client
BAR_TYPES = ["tree", "kanban"]


class FakeParent:
    """Stands for the host's get_view: records its arguments and returns a
    new description with ``arch``."""

    def __init__(self, arch='<tree string="Things"><field name="name"/></tree>'):
        self.arch = arch
        self.calls = []

    def description(self, model):
        return {"arch": self.arch, "id": 42, "model": model, "models": {model: ("name",)}}

    def __call__(self, model, view_id=None, view_type="form", **options):
        self.calls.append((view_id, view_type, options))
        self.result = self.description(model._name)
        return self.result


class Decision:
    """Stands for the navbar decision of lumq_spell.config."""

    def __init__(self, answer):
        self.answer = answer
        self.calls = []

    def __call__(self, configs, model_id, view_id):
        self.calls.append((configs._name, len(configs), model_id, view_id))
        return self.answer


@tagged("post_install", "-at_install")
class TestViewHook(SpellCase):

    def hook(self, answer=True, **parent_args):
        """The hook between fakes of the host's get_view and of the navbar
        decision: returns (parent, decision), which record their calls."""
        parent, decision = FakeParent(**parent_args), Decision(answer)
        # as functions, so that they get the records as methods do
        self.patch(HostBase, "get_view", lambda *args, **kwargs: parent(*args, **kwargs))
        self.patch(self.registry["lumq_spell.config"], "dislay_spell_navbar", lambda *args: decision(*args))
        return parent, decision

    def make_user(self, login, *groups):
        return self.env["res.users"].create({
            "name": login, "login": login, "groups_id": [(6, 0, [self.env.ref(g).id for g in groups])],
        })

    def test_other_view_types_come_back_as_the_parent_gave_them(self):
        parent, decision = self.hook(True)
        for view_type in ("form", "search"):
            with self.subTest(view_type=view_type):
                parent.calls.clear()
                result = self.env["spell.test.record"].get_view(7, view_type, toolbar=True)
                self.assertEqual(parent.calls, [(7, view_type, {"toolbar": True})])
                self.assertIs(result, parent.result)
                self.assertEqual(result, parent.description("spell.test.record"))
                self.assertEqual(decision.calls, [])

    def test_list_types_carry_the_decision(self):
        for answer in (True, False, None):
            parent, decision = self.hook(answer)
            for view_type, view_id in zip(LIST_TYPES, [None, False, 7, None, False]):
                with self.subTest(answer=answer, view_type=view_type):
                    parent.calls.clear()
                    decision.calls.clear()
                    result = self.env["spell.test.record"].get_view(view_id, view_type, toolbar=True)
                    self.assertEqual(parent.calls, [(view_id, view_type, {"toolbar": True})])
                    # asked on the configuration model itself, for a model without configuration
                    self.assertEqual(decision.calls, [("lumq_spell.config", 0, "spell.test.record", view_id)])
                    self.assertIs(result["display_spell_navbar"], answer)
                    expected = parent.arch.replace("<tree", "<tree" + SPELL, 1) if answer else parent.arch
                    self.assertEqual(result["arch"], expected)

    def test_spell_attribute_goes_on_the_root(self):
        cases = [
            # the root's old attributes follow after two spaces
            ('<tree string="Contacts" sample="1"><field name="name"/></tree>',
             '<tree spell="lumq_spell"  string="Contacts" sample="1"><field name="name"/></tree>'),
            # a root without attributes: before, the first later space got it
            ('<tree>\n    <field name="name" string="N"/>\n</tree>',
             '<tree spell="lumq_spell" >\n    <field name="name" string="N"/>\n</tree>'),
            ('<kanban><templates><t t-name="kanban-box"><div class="card"/></t></templates></kanban>',
             '<kanban spell="lumq_spell" ><templates><t t-name="kanban-box"><div class="card"/></t></templates></kanban>'),
            ('<graph/>', '<graph spell="lumq_spell" />'),
            ('<pivot string="P"/>', '<pivot spell="lumq_spell"  string="P"/>'),
            ('<tree\n    string="T"\n    editable="top"><field name="name"/></tree>',
             '<tree spell="lumq_spell" \n    string="T"\n    editable="top"><field name="name"/></tree>'),
            # what may precede the root is skipped
            ('<?xml version="1.0"?>\n<tree string="T"/>', '<?xml version="1.0"?>\n<tree spell="lumq_spell"  string="T"/>'),
            ('<!-- <kanban class="x"> -->\n<tree><field name="a"/></tree>',
             '<!-- <kanban class="x"> -->\n<tree spell="lumq_spell" ><field name="a"/></tree>'),
            ('<?xml version="1.0"?><?target data > x?>\n<!-- a --><!-- b -->\n<list><field name="a"/></list>',
             '<?xml version="1.0"?><?target data > x?>\n<!-- a --><!-- b -->\n<list spell="lumq_spell" ><field name="a"/></list>'),
            ('<!DOCTYPE tree [<!ENTITY e "<b/> <i/>">]>\n<tree><field name="a"/></tree>',
             '<!DOCTYPE tree [<!ENTITY e "<b/> <i/>">]>\n<tree spell="lumq_spell" ><field name="a"/></tree>'),
            # "spell=" inside a value is no attribute
            ("<tree string='say spell=\"x\"'/>", "<tree spell=\"lumq_spell\"  string='say spell=\"x\"'/>"),
            # a spell attribute already there is kept as it is
            ('<tree spell="own" string="T"/>', '<tree spell="own" string="T"/>'),
            ("<tree string=\"T\"\n      spell = 'own'><field name=\"a\"/></tree>",
             "<tree string=\"T\"\n      spell = 'own'><field name=\"a\"/></tree>"),
        ]
        parent, _decision = self.hook(True)
        for arch, expected in cases:
            with self.subTest(arch=arch):
                parent.arch = arch
                result = self.env["spell.test.record"].get_view(None, "tree")["arch"]
                self.assertEqual(result, expected)
                root = etree.fromstring(result.encode(), etree.XMLParser(resolve_entities=False))
                self.assertIn(root.get("spell"), ("lumq_spell", "own"))
                self.assertEqual([node for node in root.iter() if "spell" in node.attrib], [root])

    def test_real_views_with_the_real_decision(self):
        """The decision comes from the configuration; a listed navbar view
        counts only when it is asked for by its id."""
        config = self.enable("res.partner", show_spell_navbar=False)
        record_tree = self.env.ref("spell_test_models.spell_test_record_tree")
        config.spell_navbar_view_ids = [(4, record_tree.id)]

        def view(model, view_type, view_id=None):
            result = self.env[model].get_view(view_id, view_type)
            return result["display_spell_navbar"], etree.fromstring(result["arch"]).get("spell")

        self.assertEqual(view("res.partner", "tree"), (False, None))
        self.assertEqual(view("spell.test.record", "tree", record_tree.id), (True, "lumq_spell"))
        self.assertEqual(view("spell.test.record", "tree"), (False, None))
        config.show_spell_navbar = True
        self.assertEqual(view("res.partner", "tree"), (True, "lumq_spell"))
        self.assertEqual(view("res.partner", "kanban"), (True, "lumq_spell"))
        self.assertNotIn("display_spell_navbar", self.env["res.partner"].get_view(None, "form"))

    def test_portal_users_get_list_views(self):
        """The navbar decision reads configuration the user may not read."""
        kanban = self.env.ref("base.res_partner_kanban_view")
        for show in (True, False):
            with self.case(show=show):
                config = self.enable("res.partner", show_spell_navbar=show)
                config.spell_navbar_view_ids = [(4, kanban.id)]
                portal = self.make_user("portal_spell_reader", "base.group_portal")
                partners = self.env["res.partner"].with_user(portal)
                for view_id, view_type, shown in [(None, "tree", show), (None, "kanban", show),
                                                  (kanban.id, "kanban", True)]:
                    result = partners.get_view(view_id, view_type)
                    self.assertIs(result["display_spell_navbar"], shown)
                    self.assertEqual(etree.fromstring(result["arch"]).get("spell"),
                                     "lumq_spell" if shown else None)
                with self.assertRaises(AccessError):
                    self.env["lumq_spell.config"].with_user(portal).search([])

    def test_access_to_configuration(self):
        users = {
            "portal": lambda: self.make_user("portal_spell_admin", "base.group_portal"),
            "internal": lambda: self.make_user("internal_spell_admin", "base.group_user"),
            "admin": lambda: self.env.ref("base.user_admin"),
        }
        model_id = self.env["ir.model"]._get_id("spell.test.record")
        for user, may_read, may_manage in [
            ("portal", False, False),
            ("internal", True, False),
            ("admin", True, True),
        ]:
            with self.case(user=user):
                configs = self.env["lumq_spell.config"].with_user(users[user]())
                config = self.enable("res.partner").with_env(configs.env)

                def allowed(operation):
                    try:
                        operation()
                    except AccessError:
                        return False
                    return True

                self.assertIs(allowed(lambda: configs.search([]).show_spell_navbar), may_read)
                self.assertIs(allowed(lambda: configs.create({"model_id": model_id})), may_manage)
                self.assertIs(allowed(lambda: config.write({"show_spell_navbar": False})), may_manage)
                self.assertIs(allowed(config.unlink), may_manage)
                left = self.env["lumq_spell.config"].search([]).mapped("model_name")
                self.assertEqual(left, ["spell.test.record"] if may_manage else ["res.partner"])


@tagged("post_install", "-at_install")
class TestLetterCountsMark(SpellCase):
    """The option that has the letter bar count the records of each letter
    reaches the web client as a second attribute on the root of the views
    that show the bar, and changes nothing while it is off."""

    def view(self, model, view_type, view_id=None, user=None):
        records = self.env[model].with_user(user) if user else self.env[model]
        result = records.get_view(view_id, view_type)
        root = etree.fromstring(result["arch"])
        return result["display_spell_navbar"], root.get("spell"), root.get("spell_letter_counts")

    def test_the_mark_follows_the_option_and_the_bar(self):
        partners = self.env["res.partner"]
        plain = {view_type: partners.get_view(None, view_type)["arch"] for view_type in BAR_TYPES}
        config = self.enable("res.partner")
        self.assertIs(config.show_letter_counts, False)
        marked = {view_type: partners.get_view(None, view_type)["arch"] for view_type in BAR_TYPES}
        for view_type in BAR_TYPES:
            with self.subTest(view_type=view_type):
                # off: the arch as the navbar alone marks it, nothing more
                self.assertEqual(marked[view_type], partners._add_spell_attribute(plain[view_type]))
                self.assertEqual(self.view("res.partner", view_type), (True, "lumq_spell", None))
        config.show_letter_counts = True
        for view_type in BAR_TYPES:
            with self.subTest(view_type=view_type, counts=True):
                self.assertEqual(self.view("res.partner", view_type), (True, "lumq_spell", "1"))
        # no bar, no counts
        self.assertNotIn("spell_letter_counts", partners.get_view(None, "form")["arch"])
        config.show_spell_navbar = False
        self.assertEqual(self.view("res.partner", "tree"), (False, None, None))
        # a navbar view of another model follows that model's configuration
        record_tree = self.env.ref("spell_test_models.spell_test_record_tree")
        config.spell_navbar_view_ids = [(4, record_tree.id)]
        self.assertEqual(self.view("spell.test.record", "tree", record_tree.id),
                         (True, "lumq_spell", None))
        other = self.enable("spell.test.record", show_spell_navbar=False, show_letter_counts=True)
        self.assertEqual(self.view("spell.test.record", "tree", record_tree.id),
                         (True, "lumq_spell", "1"))
        self.assertEqual(self.view("spell.test.record", "tree"), (False, None, None))
        other.show_letter_counts = False
        self.assertEqual(self.view("spell.test.record", "tree", record_tree.id),
                         (True, "lumq_spell", None))

    def test_users_who_may_not_read_the_configuration_get_the_counts(self):
        self.enable("res.partner", show_letter_counts=True)
        for login, group in [("portal_letter_counts", "base.group_portal"),
                             ("internal_letter_counts", "base.group_user")]:
            with self.subTest(user=login):
                user = self.env["res.users"].create({
                    "name": login, "login": login,
                    "groups_id": [(6, 0, [self.env.ref(group).id])],
                })
                for view_type in BAR_TYPES:
                    self.assertEqual(self.view("res.partner", view_type, user=user),
                                     (True, "lumq_spell", "1"))

    def test_the_counts_attribute_follows_the_spell_attribute(self):
        Partner = self.env["res.partner"]
        cases = [
            ('<tree string="Contacts"><field name="name"/></tree>',
             '<tree spell="lumq_spell" spell_letter_counts="1"  string="Contacts"><field name="name"/></tree>'),
            ('<kanban/>', '<kanban spell="lumq_spell" spell_letter_counts="1" />'),
            # a view that sets spell itself is left as it is
            ('<tree spell="own"/>', '<tree spell="own"/>'),
        ]
        for arch, expected in cases:
            with self.subTest(arch=arch):
                self.assertEqual(Partner._add_spell_attribute(arch, True), expected)
                etree.fromstring(expected)
