"""The view hook: list-type view descriptions carry the navbar decision and,
when it is true, the spell attribute on their root element."""
import pytest
from spell_helpers import enable
from lxml import etree

from odoo.addons.base.models.ir_ui_view import Model as HostBase
from odoo.exceptions import AccessError

LIST_TYPES = ["list", "tree", "kanban", "pivot", "graph"]
SPELL = ' spell="lumq_spell" '


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


@pytest.fixture
def hook(env, monkeypatch):
    """hook(answer, arch=...) -> (parent, decision): the hook between fakes."""

    def make(answer=True, **parent_args):
        parent, decision = FakeParent(**parent_args), Decision(answer)
        # as functions, so that they get the records as methods do
        monkeypatch.setattr(HostBase, "get_view", lambda *args, **kwargs: parent(*args, **kwargs))
        monkeypatch.setattr(env.registry["lumq_spell.config"], "dislay_spell_navbar",
                            lambda *args: decision(*args))
        return parent, decision

    return make


@pytest.mark.parametrize("view_type", ["form", "search"])
def test_other_view_types_come_back_as_the_parent_gave_them(env, hook, view_type):
    parent, decision = hook(True)
    result = env["spell.test.record"].get_view(7, view_type, toolbar=True)
    assert parent.calls == [(7, view_type, {"toolbar": True})]
    assert result is parent.result and result == parent.description("spell.test.record")
    assert decision.calls == []


@pytest.mark.parametrize("answer", [True, False, None])
@pytest.mark.parametrize("view_type, view_id", zip(LIST_TYPES, [None, False, 7, None, False]))
def test_list_types_carry_the_decision(env, hook, view_type, view_id, answer):
    parent, decision = hook(answer)
    result = env["spell.test.record"].get_view(view_id, view_type, toolbar=True)
    assert parent.calls == [(view_id, view_type, {"toolbar": True})]
    # asked on the configuration model itself, for a model without configuration
    assert decision.calls == [("lumq_spell.config", 0, "spell.test.record", view_id)]
    assert result["display_spell_navbar"] is answer
    expected = parent.arch.replace("<tree", "<tree" + SPELL, 1) if answer else parent.arch
    assert result["arch"] == expected


@pytest.mark.parametrize("arch, expected", [
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
])
def test_spell_attribute_goes_on_the_root(env, hook, arch, expected):
    hook(True, arch=arch)
    result = env["spell.test.record"].get_view(None, "tree")["arch"]
    assert result == expected
    root = etree.fromstring(result.encode(), etree.XMLParser(resolve_entities=False))
    assert root.get("spell") in ("lumq_spell", "own")
    assert [node for node in root.iter() if "spell" in node.attrib] == [root]


def test_real_views_with_the_real_decision(env):
    """The decision comes from the configuration; a listed navbar view counts
    only when it is asked for by its id."""
    config = enable(env, "res.partner", show_spell_navbar=False)
    record_tree = env.ref("spell_test_models.spell_test_record_tree")
    config.spell_navbar_view_ids = [(4, record_tree.id)]

    def view(model, view_type, view_id=None):
        result = env[model].get_view(view_id, view_type)
        return result["display_spell_navbar"], etree.fromstring(result["arch"]).get("spell")

    assert view("res.partner", "tree") == (False, None)
    assert view("spell.test.record", "tree", record_tree.id) == (True, "lumq_spell")
    assert view("spell.test.record", "tree") == (False, None)
    config.show_spell_navbar = True
    assert view("res.partner", "tree") == (True, "lumq_spell")
    assert view("res.partner", "kanban") == (True, "lumq_spell")
    assert "display_spell_navbar" not in env["res.partner"].get_view(None, "form")


def make_user(env, login, *groups):
    return env["res.users"].create({
        "name": login, "login": login, "groups_id": [(6, 0, [env.ref(g).id for g in groups])],
    })


@pytest.mark.parametrize("show", [True, False])
def test_portal_users_get_list_views(env, show):
    """The navbar decision reads configuration the user may not read."""
    config = enable(env, "res.partner", show_spell_navbar=show)
    kanban = env.ref("base.res_partner_kanban_view")
    config.spell_navbar_view_ids = [(4, kanban.id)]
    portal = make_user(env, "portal", "base.group_portal")
    partners = env["res.partner"].with_user(portal)
    for view_id, view_type, shown in [(None, "tree", show), (None, "kanban", show), (kanban.id, "kanban", True)]:
        result = partners.get_view(view_id, view_type)
        assert result["display_spell_navbar"] is shown
        assert etree.fromstring(result["arch"]).get("spell") == ("lumq_spell" if shown else None)
    with pytest.raises(AccessError):
        env["lumq_spell.config"].with_user(portal).search([])


@pytest.mark.parametrize("user, may_read, may_manage", [
    ("portal", False, False),
    ("internal", True, False),
    ("admin", True, True),
])
def test_access_to_configuration(env, user, may_read, may_manage):
    users = {
        "portal": lambda: make_user(env, "portal", "base.group_portal"),
        "internal": lambda: make_user(env, "internal", "base.group_user"),
        "admin": lambda: env.ref("base.user_admin"),
    }
    configs = env["lumq_spell.config"].with_user(users[user]())
    config = enable(env, "res.partner").with_env(configs.env)

    def allowed(operation):
        try:
            operation()
        except AccessError:
            return False
        return True

    assert allowed(lambda: configs.search([]).show_spell_navbar) is may_read
    model_id = env["ir.model"]._get_id("spell.test.record")
    assert allowed(lambda: configs.create({"model_id": model_id})) is may_manage
    assert allowed(lambda: config.write({"show_spell_navbar": False})) is may_manage
    assert allowed(config.unlink) is may_manage
    left = env["lumq_spell.config"].search([]).mapped("model_name")
    assert left == (["spell.test.record"] if may_manage else ["res.partner"])
