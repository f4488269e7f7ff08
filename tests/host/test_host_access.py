"""Access rights: ir.model.access rules by group, superuser mode."""
import pytest

from odoo import SUPERUSER_ID, api
from odoo.exceptions import AccessError


@pytest.fixture
def users(env):
    Users = env['res.users']
    return {
        'portal': Users.create({'name': 'Portal', 'login': 'portal',
                                'groups_id': [(6, 0, [env.ref('base.group_portal').id])]}),
        'internal': Users.create({'name': 'Internal', 'login': 'internal',
                                  'groups_id': [(4, env.ref('base.group_user').id)]}),
        'admin': env.ref('base.user_admin'),
    }


def as_user(env, user):
    return api.Environment(env.cr, user.id, {})


class TestModes:
    def test_superuser_environment(self, env, users):
        assert env.su and env.uid == SUPERUSER_ID and env.user == env.ref('base.user_root')
        admin_env = as_user(env, users['admin'])
        assert not admin_env.su and admin_env.user == users['admin']
        partners = admin_env['res.partner']
        assert partners.sudo().env.su and not partners.sudo().sudo(False).env.su
        assert partners.with_user(users['portal']).env.uid == users['portal'].id
        assert not partners.sudo().with_user(users['portal']).env.su
        assert partners.with_user(SUPERUSER_ID).env.su
        assert partners._uid == users['admin'].id and partners._cr is env.cr


class TestRules:
    def test_portal_reads_partners_only(self, env, users):
        partner = env['res.partner'].create({'name': 'Visible'})
        penv = as_user(env, users['portal'])
        assert penv['res.partner'].search([]).mapped('name') == ['Visible']
        assert penv['res.partner'].browse(partner.id).name == 'Visible'
        with pytest.raises(AccessError, match="not allowed to create 'Contact' \\(res.partner\\)"):
            penv['res.partner'].create({'name': 'x'})
        with pytest.raises(AccessError, match='not allowed to modify'):
            penv['res.partner'].browse(partner.id).write({'name': 'y'})
        assert partner.name == 'Visible'

    def test_portal_refused_without_rule(self, env, users):
        env['res.partner.industry'].create({'name': 'Steel'})
        penv = as_user(env, users['portal'])
        Industry = penv['res.partner.industry']
        with pytest.raises(AccessError) as info:
            Industry.search([])
        assert "not allowed to access 'Industry' (res.partner.industry)" in str(info.value)
        assert 'Internal User' in str(info.value)          # the groups that may
        with pytest.raises(AccessError):
            Industry.name_search('St')
        with pytest.raises(AccessError):
            Industry.get_view(view_type='tree')
        industry = env['res.partner.industry'].search([])
        with pytest.raises(AccessError):
            industry.with_user(users['portal']).name
        assert Industry.sudo().search([]).mapped('name') == ['Steel']
        assert industry.with_user(users['portal']).sudo().name == 'Steel'

    def test_rule_without_group_grants_everyone(self, env, users):
        penv = as_user(env, users['portal'])
        assert penv['res.users'].search([('login', '=', 'admin')]) == users['admin']
        with pytest.raises(AccessError):
            penv['res.groups'].search([])

    def test_internal_user_and_admin(self, env, users):
        ienv = as_user(env, users['internal'])
        partner = ienv['res.partner'].create({'name': 'by internal'})
        partner.write({'email': 'i@x'})
        with pytest.raises(AccessError, match='not allowed to delete'):
            partner.unlink()
        aenv = as_user(env, users['admin'])
        aenv['res.partner'].browse(partner.id).unlink()
        assert not partner.exists()
        assert aenv['ir.ui.view'].search_count([]) > 0

    def test_rules_follow_data(self, env, users):
        penv = as_user(env, users['portal'])
        assert not penv['ir.model.access'].check('res.partner.industry', 'read', raise_exception=False)
        env['ir.model.access'].create({
            'name': 'industry portal', 'model_id': env['ir.model']._get_id('res.partner.industry'),
            'group_id': env.ref('base.group_portal').id, 'perm_read': True})
        assert penv['res.partner.industry'].search([]) is not None
        users['portal'].groups_id = [(5,)]
        with pytest.raises(AccessError):
            penv['res.partner.industry'].search([])
