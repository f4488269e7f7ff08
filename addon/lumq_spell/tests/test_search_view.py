"""The search views that enabling a model rebuilds, and the web client's search
through them."""
import os
import tempfile
from xml.sax.saxutils import escape

from lxml import etree

from odoo.exceptions import ValidationError
from odoo.tests.common import tagged

from .common import SpellCase

EXTEND = "search view spell extend"
SPELL = "'|', ('lumq_full_spell', 'ilike', self), ('lumq_simple_spell', 'ilike', self)"
INDENT = "\n" + " " * 20


def xpath_arch(expr, position, field):
    return f'<xpath expr="{expr}" position="{position}">{INDENT}{field}{INDENT}</xpath>'


@tagged("post_install", "-at_install")
class TestSearchView(SpellCase):

    def found(self, model_name, field_name, *texts):
        return [self.web_search(model_name, field_name, text).mapped(field_name) for text in texts]

    def test_field_without_filter_domain_finds_own_value_and_spells(self):
        self.env["spell.test.record"].create([{"name": "张三"}, {"name": "李四"}])
        self.enable("spell.test.record")
        self.assertEqual(self.found("spell.test.record", "name", "张三", "zhangsan", "zs", "ls"),
                         [["张三"], ["张三"], ["张三"], ["李四"]])

    def test_matching_field_is_replaced_by_a_clone(self):
        cases = [
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
        ]
        for given, filter_domain in cases:
            with self.case(filter_domain=given):
                attrs = f"filter_domain={given} string='N'" if given else "string='N'"
                primary = self.make_view(
                    "spell.test.item", f"<search><field name='code'/><field name='name' {attrs}/></search>")
                config = self.enable("spell.test.item")

                view = config.extended_search_view_ids
                self.assertEqual((view.name, view.inherit_id, view.mode),
                                 (f"spell.test.item {EXTEND}", primary, "extension"))
                # the clone keeps the attributes in their order; a new filter_domain comes last
                new = f'filter_domain="{escape(filter_domain)}"'
                attrs = f'{new} string="N"' if given else f'string="N" {new}'
                self.assertEqual(view.arch_db,
                                 xpath_arch("//field[@name='name']", "replace", f'<field name="name" {attrs}/>'))

    def test_hostile_filter_domain_is_refused(self):
        primary = self.make_view("spell.test.item", '<search><field name="name"/></search>')
        config = self.enable("spell.test.item")
        with tempfile.TemporaryDirectory() as folder:
            witness = os.path.join(folder, "x")
            for domain in [
                f"[('name', 'ilike', __import__('os').system('touch {witness}'))]",
                "[('name', 'ilike', ().__class__.__bases__[0].__subclasses__())]",
                "[('name', 'ilike', 'x'if'y'else'z')]",   # keywords touching quotes stay bare
                "[('name', 'ilike', f'{self}')]",
                "self",
                "[(",
            ]:
                with self.subTest(domain=domain):
                    primary.arch = f'<search><field name="name" filter_domain="{domain}"/></search>'
                    with self.assertRaisesRegex(
                            ValidationError, "is not a list of lists, tuples, quoted texts and plain words"):
                        config._extend_search_view()
            self.assertFalse(os.path.exists(witness))

    def test_refused_search_view_leaves_the_model_untouched(self):
        self.make_view("spell.test.item",
                       """<search><field name="name" filter_domain="[('code', '=', -1)]"/></search>""")
        with self.assertRaisesRegex(ValidationError, "is not a list"):
            self.enable("spell.test.item")
        # refused before the model was marked: the registry never got a spell class
        item = self.env["spell.test.item"]
        self.assertNotIn("lumq_full_spell", item._fields)
        self.assertFalse(self.env["ir.model"]._get("spell.test.item").is_spell_attached)
        self.assertEqual(item.create({"name": "张三"}).name, "张三")

    def test_no_search_view_gets_a_new_primary_view(self):
        self.env["spell.test.titled"].create({"title": "张三"})
        config = self.enable("spell.test.titled", "title")

        view = config.extended_search_view_ids
        self.assertEqual((view.name, view.inherit_id, view.mode),
                         (f"spell.test.titled {EXTEND}", view.browse(), "primary"))
        domain = f"['|', {SPELL}, ('title', 'ilike', self)]"
        self.assertEqual(view.arch_db,
                         f'<search>{INDENT}<field name="title" filter_domain="{domain}"/>\n{" " * 16}</search>')
        self.assertEqual(self.found("spell.test.titled", "title", "张三", "zhangsan", "zs"), [["张三"]] * 3)

    def test_missing_target_field_only_deletes_earlier_views(self):
        config = self.enable("spell.test.titled", "title")
        others = self.env["ir.ui.view"].search([("model", "!=", "spell.test.titled")])
        archs = others.mapped("arch_db")

        # without a configured field the target is "name", which the model lacks
        config.spell_field_id = False

        self.assertFalse(config.extended_search_view_ids)
        self.assertEqual(self.env["ir.ui.view"].search([]), others)
        self.assertEqual(others.mapped("arch_db"), archs)

    def test_only_inheriting_views_get_nothing(self):
        parent = self.env.ref("spell_test_models.spell_test_record_search")
        child = self.make_view("spell.test.item", '<xpath expr="/*" position="inside"><field name="code"/></xpath>',
                               inherit_id=parent.id)
        archs = (parent | child).mapped("arch_db")
        config = self.enable("spell.test.item")
        self.assertFalse(config.extended_search_view_ids)
        self.assertFalse(self.env["ir.ui.view"].search([("name", "like", EXTEND)]))
        self.assertEqual((parent | child).mapped("arch_db"), archs)

    def test_view_without_matching_field_gets_it_through_a_linked_view(self):
        self.env["spell.test.item"].create({"name": "张三", "code": "c1"})
        primary = self.make_view("spell.test.item", '<search>\n  <field name="code"/>\n</search>')
        arch = primary.arch_db
        config = self.enable("spell.test.item")

        view = config.extended_search_view_ids
        self.assertEqual(view.inherit_id, primary)
        self.assertEqual(primary.arch_db, arch)
        field = f'<field name="name" filter_domain="[{SPELL}]"/>'
        self.assertEqual(view.arch_db, xpath_arch("/*", "inside", field))
        # the combined view is the primary one with the field appended
        appended = etree.fromstring(arch)
        appended.append(etree.fromstring(field))
        combined = etree.fromstring(self.env["spell.test.item"].get_view(view_type="search")["arch"])
        self.assertEqual([(n.tag, dict(n.attrib)) for n in combined], [(n.tag, dict(n.attrib)) for n in appended])
        self.assertEqual(self.found("spell.test.item", "name", "zs", "zhangsan"), [["张三"]] * 2)

        config.unlink()
        self.assertFalse(view.exists())
        self.assertNotIn("lumq", self.env["spell.test.item"].get_view(view_type="search")["arch"])
        self.assertEqual(self.found("spell.test.item", "code", "c1"), [["c1"]])

    def test_each_primary_view_is_extended_and_a_fallback_name_carries_on(self):
        first = self.make_view("spell.test.item", '<search><field name="name"/></search>', priority=1)
        second = self.make_view("spell.test.item", '<search><field name="ref"/><field name="name"/></search>',
                                priority=2)
        third = self.make_view("spell.test.item", '<search><field name="code"/></search>', priority=3)

        # "ref" is configured, but the first view only has "name": from there on
        # "name" is looked for first, and it is the name the third view is given
        config = self.enable("spell.test.item", "ref")

        views = config.extended_search_view_ids.sorted("id")
        self.assertEqual(views.mapped("inherit_id"), first | second | third)
        self.assertEqual(set(views.mapped("name")), {f"spell.test.item {EXTEND}"})
        self.assertEqual([v.arch_db.split(">")[0] for v in views], [
            """<xpath expr="//field[@name='name']" position="replace\"""",
            """<xpath expr="//field[@name='name']" position="replace\"""",
            '<xpath expr="/*" position="inside"',
        ])
        self.assertIn('<field name="name"', views[2].arch_db)
