"""The search views that enabling a model rebuilds, and the web client's search
through them."""
from xml.sax.saxutils import escape

import pytest
from spell_helpers import enable
from lxml import etree

from odoo.exceptions import ValidationError
from odoo.tests.webclient import search

EXTEND = "search view spell extend"
SPELL = "'|', ('lumq_full_spell', 'ilike', self), ('lumq_simple_spell', 'ilike', self)"
INDENT = "\n" + " " * 20


def make_view(env, model_name, arch, **values):
    return env["ir.ui.view"].create({"model": model_name, "type": "search", "arch": arch, **values})


def xpath_arch(expr, position, field):
    return f'<xpath expr="{expr}" position="{position}">{INDENT}{field}{INDENT}</xpath>'


def found(env, model_name, field_name, *texts):
    return [search(env, model_name, field_name, text).mapped(field_name) for text in texts]


def test_field_without_filter_domain_finds_own_value_and_spells(env):
    env["spell.test.record"].create([{"name": "张三"}, {"name": "李四"}])
    enable(env, "spell.test.record")
    assert found(env, "spell.test.record", "name", "张三", "zhangsan", "zs", "ls") == [
        ["张三"], ["张三"], ["张三"], ["李四"]]


@pytest.mark.parametrize("given, filter_domain", [
    (None, f"['|', ('name', 'ilike', self), {SPELL}]"),
    ('""', f"['|', ('name', 'ilike', self), {SPELL}]"),
    ("\"[('name', 'ilike', self)]\"", f"['|', ('name', 'ilike', self), {SPELL}]"),
    ("\"['|', ('partner_id.name', 'ilike', self), ('code', '=', a.b.c)]\"",
     f"['|', '|', ('partner_id.name', 'ilike', self), ('code', '=', a.b.c), {SPELL}]"),
    ("'[(\"name\", \"ilike\", self), (\"amount\", \">\", 2.5), (\"x\", \"=\", True), "
     "(\"y\", \"!=\", False), (\"z\", \"=\", 10)]'",
     "['|', '&', '&', '&', '&', ('name', 'ilike', self), ('amount', '>', 2.5), ('x', '=', True), "
     f"('y', '!=', False), ('z', '=', 10), {SPELL}]"),
    # words inside quoted texts stay as written
    ("\"['|', ('a.b_c.d', 'ilike', self), ('code', '=', 'x y 2024-01-02')]\"",
     f"['|', '|', ('a.b_c.d', 'ilike', self), ('code', '=', 'x y 2024-01-02'), {SPELL}]"),
])
def test_matching_field_is_replaced_by_a_clone(env, given, filter_domain):
    attrs = f"filter_domain={given} string='N'" if given else "string='N'"
    primary = make_view(env, "spell.test.item", f"<search><field name='code'/><field name='name' {attrs}/></search>")
    config = enable(env, "spell.test.item")

    view = config.extended_search_view_ids
    assert (view.name, view.inherit_id, view.mode) == (f"spell.test.item {EXTEND}", primary, "extension")
    # the clone keeps the attributes in their order; a new filter_domain comes last
    filter_domain = f'filter_domain="{escape(filter_domain)}"'
    attrs = f'{filter_domain} string="N"' if given else f'string="N" {filter_domain}'
    assert view.arch_db == xpath_arch("//field[@name='name']", "replace", f'<field name="name" {attrs}/>')


def test_hostile_filter_domain_is_refused(env, tmp_path):
    primary = make_view(env, "spell.test.item", '<search><field name="name"/></search>')
    config = enable(env, "spell.test.item")
    witness = tmp_path / "x"
    for domain in [
        f"[('name', 'ilike', __import__('os').system('touch {witness}'))]",
        "[('name', 'ilike', ().__class__.__bases__[0].__subclasses__())]",
        "[('name', 'ilike', 'x'if'y'else'z')]",   # keywords touching quotes stay bare
        "[('name', 'ilike', f'{self}')]",
        "self",
        "[(",
    ]:
        primary.arch = f'<search><field name="name" filter_domain="{domain}"/></search>'
        with pytest.raises(ValidationError, match="is not a list of lists, tuples, quoted texts and plain words"):
            config._extend_search_view()
    assert not witness.exists()


def test_refused_search_view_leaves_the_model_untouched(env):
    make_view(env, "spell.test.item", """<search><field name="name" filter_domain="[('code', '=', -1)]"/></search>""")
    with pytest.raises(ValidationError, match="is not a list"):
        enable(env, "spell.test.item")
    # refused before the model was marked: the registry never got a spell class
    item = env["spell.test.item"]
    assert "lumq_full_spell" not in item._fields
    assert not env["ir.model"].search([("model", "=", "spell.test.item")]).is_spell_attached
    assert item.create({"name": "张三"}).name == "张三"


def test_no_search_view_gets_a_new_primary_view(env):
    env["spell.test.titled"].create({"title": "张三"})
    config = enable(env, "spell.test.titled", "title")

    view = config.extended_search_view_ids
    assert (view.name, view.inherit_id, view.mode) == (f"spell.test.titled {EXTEND}", view.browse(), "primary")
    domain = f"['|', {SPELL}, ('title', 'ilike', self)]"
    assert view.arch_db == f'<search>{INDENT}<field name="title" filter_domain="{domain}"/>\n{" " * 16}</search>'
    assert found(env, "spell.test.titled", "title", "张三", "zhangsan", "zs") == [["张三"]] * 3


def test_missing_target_field_only_deletes_earlier_views(env):
    config = enable(env, "spell.test.titled", "title")
    others = env["ir.ui.view"].search([("model", "!=", "spell.test.titled")])
    archs = others.mapped("arch_db")

    # without a configured field the target is "name", which the model lacks
    config.spell_field_id = False

    assert not config.extended_search_view_ids
    assert env["ir.ui.view"].search([]) == others and others.mapped("arch_db") == archs


def test_only_inheriting_views_get_nothing(env):
    parent = env.ref("spell_test_models.spell_test_record_search")
    child = make_view(env, "spell.test.item", "<xpath expr='/*' position='inside'><field name='ref'/></xpath>",
                      inherit_id=parent.id)
    archs = (parent | child).mapped("arch_db")
    config = enable(env, "spell.test.item")
    assert not config.extended_search_view_ids
    assert not env["ir.ui.view"].search([("name", "like", EXTEND)])
    assert (parent | child).mapped("arch_db") == archs


def test_view_without_matching_field_gets_it_through_a_linked_view(env):
    env["spell.test.item"].create({"name": "张三", "code": "c1"})
    primary = make_view(env, "spell.test.item", "<search>\n  <field name='code'/>\n</search>")
    arch = primary.arch_db
    config = enable(env, "spell.test.item")

    view = config.extended_search_view_ids
    assert view.inherit_id == primary and primary.arch_db == arch
    field = f'<field name="name" filter_domain="[{SPELL}]"/>'
    assert view.arch_db == xpath_arch("/*", "inside", field)
    # the combined view is the primary one with the field appended
    appended = etree.fromstring(arch)
    appended.append(etree.fromstring(field))
    combined = etree.fromstring(env["spell.test.item"].get_view(view_type="search")["arch"])
    assert [(n.tag, n.attrib) for n in combined] == [(n.tag, n.attrib) for n in appended]
    assert found(env, "spell.test.item", "name", "zs", "zhangsan") == [["张三"]] * 2

    config.unlink()
    assert not view.exists()
    assert "lumq" not in env["spell.test.item"].get_view(view_type="search")["arch"]
    assert found(env, "spell.test.item", "code", "c1") == [["c1"]]


def test_each_primary_view_is_extended_and_a_fallback_name_carries_on(env):
    first = make_view(env, "spell.test.item", '<search><field name="name"/></search>', priority=1)
    second = make_view(env, "spell.test.item", '<search><field name="ref"/><field name="name"/></search>', priority=2)
    third = make_view(env, "spell.test.item", '<search><field name="code"/></search>', priority=3)

    # "ref" is configured, but the first view only has "name": from there on
    # "name" is looked for first, and it is the name the third view is given
    config = enable(env, "spell.test.item", "ref")

    views = config.extended_search_view_ids.sorted("id")
    assert views.mapped("inherit_id") == first | second | third
    assert set(views.mapped("name")) == {f"spell.test.item {EXTEND}"}
    assert [v.arch_db.split(">")[0] for v in views] == [
        """<xpath expr="//field[@name='name']" position="replace\"""",
        """<xpath expr="//field[@name='name']" position="replace\"""",
        '<xpath expr="/*" position="inside"',
    ]
    assert '<field name="name"' in views[2].arch_db
