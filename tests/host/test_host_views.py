"""Views: inheritance specs, combined archs, get_view, and the web client's search."""
import pytest
from lxml import etree

from odoo import api
from odoo.exceptions import UserError, ValidationError
from odoo.addons.lumq_spell.tests import common


def fields_of(arch):
    return [node.get('name') for node in etree.fromstring(arch).iter('field')]


@pytest.fixture
def base_view(env):
    return env['ir.ui.view'].create({
        'name': 'partner test search',
        'model': 'res.partner',
        'priority': 1,
        'arch': '<search><field name="name"/><field name="email"/><group><filter name="f"/></group></search>',
    })


def extend(base_view, arch, **values):
    return base_view.env['ir.ui.view'].create(dict(
        {'name': 'ext', 'model': base_view.model, 'inherit_id': base_view.id, 'arch': arch}, **values))


def combined(view):
    return etree.tostring(view._get_combined_arch(), encoding='unicode')


class TestInheritance:
    def test_view_defaults(self, base_view):
        assert (base_view.type, base_view.mode) == ('search', 'primary')
        ext = extend(base_view, '<field name="email" position="after"><field name="phone"/></field>')
        assert (ext.type, ext.mode) == ('search', 'extension')
        assert ext.arch_db == ext.arch

    @pytest.mark.parametrize('arch, expected', [
        ('<xpath expr="//field[@name=\'email\']" position="replace"><field name="ref"/></xpath>',
         ['name', 'ref']),
        ('<xpath expr="//field[@name=\'name\']" position="after"><field name="ref"/></xpath>',
         ['name', 'ref', 'email']),
        ('<xpath expr="//field[@name=\'name\']" position="before"><field name="ref"/></xpath>',
         ['ref', 'name', 'email']),
        ('<xpath expr="//group" position="inside"><field name="ref"/></xpath>',
         ['name', 'email', 'ref']),
        ('<field name="email" position="replace"/>', ['name']),
        ('<search position="inside"><field name="phone"/></search>', ['name', 'email', 'phone']),
        ('<data><field name="name" position="after"><field name="ref"/></field>'
         '<xpath expr="/search" position="inside"><field name="phone"/></xpath></data>',
         ['name', 'ref', 'email', 'phone']),
    ])
    def test_positions(self, base_view, arch, expected):
        extend(base_view, arch)
        assert fields_of(combined(base_view)) == expected

    def test_attributes(self, base_view):
        extend(base_view, '<field name="name" position="attributes">'
                          '<attribute name="filter_domain">[(\'ref\', \'=\', self)]</attribute></field>')
        node = etree.fromstring(combined(base_view)).find('field')
        assert node.get('filter_domain') == "[('ref', '=', self)]"

    def test_nested_inheritance_and_order(self, base_view):
        first = extend(base_view, '<field name="email" position="after"><field name="ref"/></field>', priority=20)
        extend(first, '<field name="ref" position="after"><field name="phone"/></field>')
        extend(base_view, '<field name="name" position="replace"><field name="comment"/></field>', priority=5)
        extend(base_view, '<field name="email" position="replace"/>', active=False)
        assert fields_of(combined(base_view)) == ['comment', 'email', 'ref', 'phone']
        # any view of the tree gives the same combined arch, of its primary view
        assert combined(first) == combined(base_view)

    def test_deleting_parent_deletes_children(self, base_view):
        child = extend(base_view, '<field name="email" position="after"><field name="ref"/></field>')
        grandchild = extend(child, '<field name="ref" position="after"><field name="phone"/></field>')
        base_view.unlink()
        assert not (child | grandchild).exists()

    def test_invalid_views_are_refused(self, env, base_view):
        with pytest.raises(ValidationError, match='cannot be located'):
            extend(base_view, '<field name="nope" position="after"><field name="ref"/></field>')
        with pytest.raises(ValidationError, match='does not exist in model'):
            extend(base_view, '<field name="name" position="after"><field name="nope"/></field>')
        with pytest.raises(ValidationError, match='does not exist in model'):
            base_view.arch = '<search><field name="nope"/></search>'
        assert 'nope' not in base_view.arch_db

    def test_writing_arch_stores_arch_db(self, base_view):
        base_view.write({'arch': b'<search><field name="phone"/></search>'})
        assert base_view.arch_db == '<search><field name="phone"/></search>'
        base_view.arch_db = '<search><field name="ref"/></search>'
        assert base_view.arch == '<search><field name="ref"/></search>'


class TestGetView:
    def test_default_view_by_priority(self, env, base_view):
        desc = env['res.partner'].get_view(view_type='search')
        assert desc['id'] == base_view.id and desc['model'] == 'res.partner' and desc['type'] == 'search'
        assert desc['models'] == {'res.partner': ('name', 'email')}
        base_view.priority = 50
        assert env['res.partner'].get_view(view_type='search')['id'] == env.ref('base.view_res_partner_filter').id

    def test_description_is_fresh_and_without_declaration(self, env):
        view = env.ref('base.view_partner_tree')
        assert view.arch_db.startswith('<?xml version="1.0"?>')
        first = env['res.partner'].get_view(view.id, 'tree')
        assert first['arch'].startswith('<tree')
        first['arch'] = 'changed'
        second = env['res.partner'].get_view(view.id, 'tree')
        assert second['arch'].startswith('<tree') and second is not first

    def test_explicit_view_and_inheritance(self, env):
        kanban = env.ref('base.res_partner_kanban_view')
        env['ir.ui.view'].create({'name': 'k', 'model': 'res.partner', 'inherit_id': kanban.id,
                                  'arch': '<kanban position="attributes"><attribute name="quick_create">0</attribute></kanban>'})
        desc = env['res.partner'].get_view(kanban.id, 'kanban')
        assert etree.fromstring(desc['arch']).get('quick_create') == '0'
        assert env['res.partner'].get_view(False, 'kanban')['id'] == kanban.id

    def test_generated_default_views(self, env):
        desc = env['res.partner.industry'].get_view(view_type='graph')
        assert desc['arch'] == '<graph string="Industry"/>' and desc['id'] is False
        desc = env['ir.module.module'].get_view(view_type='search')
        assert desc['arch'] == '<search string="Module"><field name="shortdesc"/></search>'
        with pytest.raises(UserError, match="No default view of type 'list'"):
            env['res.partner'].get_view(view_type='list')

    def test_views_are_read_as_superuser(self, env):
        portal = env['res.users'].create({'name': 'P', 'login': 'portal',
                                          'groups_id': [(4, env.ref('base.group_portal').id)]})
        penv = api.Environment(env.cr, portal.id, {})
        assert not penv['ir.model.access'].check('ir.ui.view', 'read', raise_exception=False)
        assert penv['res.partner'].get_view(view_type='search')['id'] == env.ref('base.view_res_partner_filter').id


class TestWebClientSearch:
    @pytest.fixture
    def data(self, env):
        steel = env['res.partner.industry'].create({'name': '制造业', 'full_name': 'Manufacturing'})
        env['res.partner.industry'].create({'name': 'Farming'})
        P = env['res.partner']
        return {
            'zhang': P.create({'name': '张三', 'email': 'zs@example.com', 'ref': 'Z1', 'industry_id': steel.id}),
            'li': P.create({'name': '李四', 'email': 'li@example.com'}),
            'steel': steel,
        }

    def test_filter_domain_with_self(self, env, data):
        assert common.web_search(env, 'res.partner', 'name', '张') == data['zhang']
        assert common.web_search(env, 'res.partner', 'name', 'li@ex') == data['li']
        assert common.web_search(env, 'res.partner', 'name', 'Z1') == data['zhang']
        assert not common.web_search(env, 'res.partner', 'name', '1')      # ref is compared with '='

    def test_field_without_filter_domain(self, env, data):
        assert common.search_domain(env, 'res.partner.industry', 'name', '制造') == [('name', 'ilike', '制造')]
        assert common.web_search(env, 'res.partner.industry', 'name', '制造') == data['steel']
        assert common.web_search(env, 'res.partner', 'industry_id', '制造') == data['zhang']

    def test_the_combined_view_is_used(self, env, data):
        env['ir.ui.view'].create({
            'name': 'x', 'model': 'res.partner', 'inherit_id': env.ref('base.view_res_partner_filter').id,
            'arch': '<field name="name" position="attributes">'
                    '<attribute name="filter_domain">[(\'email\', \'=like\', self + \'%\')]</attribute></field>'})
        assert common.web_search(env, 'res.partner', 'name', 'zs@') == data['zhang']
        assert not common.web_search(env, 'res.partner', 'name', '张')

    def test_restricted_evaluation(self, env, data):
        with pytest.raises((NameError, TypeError)):
            common.eval_filter_domain("[('name', '=', __import__('os').getcwd())]", 'x')
        with pytest.raises((NameError, TypeError)):
            common.eval_filter_domain("[('name', '=', open('/etc/passwd').read())]", 'x')
        assert common.eval_filter_domain("[('a', '=', self), ('b', '!=', False)]", 'x') == \
            [('a', '=', 'x'), ('b', '!=', False)]
        with pytest.raises(ValueError, match='No field'):
            common.web_search(env, 'res.partner', 'comment', 'x')

