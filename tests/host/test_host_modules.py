"""Module actions: installation, upgrade with the end-of-update clean-up,
uninstallation, and the immediate buttons."""
import pytest

from odoo import SUPERUSER_ID, api
from odoo.addons.standin_hook.models import CALLS
from odoo.exceptions import UserError
from odoo.tools import sql


def states(env, *names):
    modules = env['ir.module.module'].search([('name', 'in', list(names))])
    return {module.name: module.state for module in modules}


@pytest.fixture
def hook_env(make_registry):
    """Superuser environment with standin_hook (records immediate actions)."""
    CALLS.clear()
    return api.Environment(make_registry('standin_hook').cursor(), SUPERUSER_ID, {})


def module(env, name):
    return env['ir.module.module'].search([('name', '=', name)])


class TestInstall:
    def test_dependencies_installed_in_order(self, make_registry):
        registry = make_registry('standin_extra')
        env = api.Environment(registry.cursor(), SUPERUSER_ID, {})
        assert states(env, 'base', 'standin_demo', 'standin_extra', 'standin_hook') == {
            'base': 'installed', 'standin_demo': 'installed', 'standin_extra': 'installed',
            'standin_hook': 'uninstalled'}
        assert registry._init_modules == {'base', 'standin_demo', 'standin_extra'}
        assert registry.ready and not registry._init
        assert module(env, 'standin_demo').latest_version == '17.0.1.0'

    def test_data_files_loaded(self, demo_env):
        assert demo_env.ref('standin_demo.access_standin_thing_user').perm_unlink is True
        view = demo_env.ref('standin_demo.partner_view_search_nickname')
        assert view.inherit_id == demo_env.ref('base.view_res_partner_filter') and view.mode == 'extension'
        assert demo_env.ref('base.user_admin').id == 2 and demo_env.ref('base.user_root').id == 1

    def test_unknown_module(self, make_registry):
        with pytest.raises(ValueError, match='Unknown module'):
            make_registry('no_such_addon')


class TestImmediateButtons:
    def test_install_upgrade_uninstall(self, hook_env):
        env = hook_env
        demo = module(env, 'standin_demo')
        old_registry = env.registry
        action = demo.button_immediate_install()
        assert action['type'] == 'ir.actions.client' and action['tag'] == 'reload'
        assert CALLS == [(['standin_demo'], 'button_install', True)]
        assert env.registry is not old_registry and 'standin.thing' in env
        assert demo.state == 'installed'

        demo.button_immediate_upgrade()
        assert CALLS[-1] == (['standin_demo'], 'button_upgrade', True)
        assert demo.state == 'installed'

        demo.button_immediate_uninstall()
        assert CALLS[-1] == (['standin_demo'], 'button_uninstall', True)
        assert demo.state == 'uninstalled' and 'standin.thing' not in env

    def test_refused_while_registry_loads(self, hook_env):
        hook_env.registry.ready = False
        with pytest.raises(UserError, match='cannot be called on init or non loaded registries'):
            module(hook_env, 'standin_demo').button_immediate_install()
        assert module(hook_env, 'standin_demo').state == 'uninstalled'

    def test_upgrade_marks_dependents(self, make_registry):
        env = api.Environment(make_registry('standin_extra').cursor(), SUPERUSER_ID, {})
        module(env, 'standin_demo').button_upgrade()
        assert states(env, 'standin_demo', 'standin_extra') == {'standin_demo': 'to upgrade',
                                                                 'standin_extra': 'to upgrade'}


class TestUpgrade:
    def test_stale_xml_ids_are_cleaned_up(self, make_registry):
        registry = make_registry('standin_demo', 'standin_hook')
        env = api.Environment(registry.cursor(), SUPERUSER_ID, {})
        cr = env.cr
        thing = env['standin.thing'].create({'name': 'kept'})
        view = env['ir.ui.view'].create({'name': 'stale', 'model': 'res.partner',
                                         'arch': '<tree><field name="name"/></tree>'})
        env['ir.model.data'].create({'module': 'standin_demo', 'name': 'stale_view',
                                     'model': 'ir.ui.view', 'res_id': view.id})
        # the model standin.note (of standin_hook) now has its only XML id in standin_demo
        cr.execute("UPDATE ir_model_data SET module = 'standin_demo' "
                   "WHERE module = 'standin_hook' AND name = 'model_standin_note'")
        env['standin.note'].create({'name': 'lost'})

        module(env, 'standin_demo').button_immediate_upgrade()

        assert not view.exists()
        assert not env.ref('standin_demo.stale_view', raise_if_not_found=False)
        assert not env['ir.model'].search([('model', '=', 'standin.note')])
        assert not sql.table_exists(cr, 'standin_note')
        # what the update loaded again is kept, records included
        assert thing.exists() and thing.name == 'kept'
        assert env.ref('standin_demo.model_standin_thing') and env.ref('standin_demo.thing_view_search')
        assert env.ref('standin_demo.access_standin_thing_user')

    def test_other_xml_id_keeps_record(self, demo_env):
        view = demo_env.ref('standin_demo.thing_view_search')
        demo_env['ir.model.data'].create({'module': 'standin_demo', 'name': 'alias',
                                          'model': 'ir.ui.view', 'res_id': view.id})
        demo_env.cr.execute("UPDATE ir_model_data SET module = 'base' WHERE name = 'thing_view_search'")
        module(demo_env, 'standin_demo').button_immediate_upgrade()
        assert view.exists()
        assert not demo_env.ref('standin_demo.alias', raise_if_not_found=False)

    def test_model_row_deletion_drops_table(self, demo_env):
        from odoo.addons.base.models.ir_model import MODULE_UNINSTALL_FLAG
        model = demo_env['ir.model']._get('standin.tag')
        with pytest.raises(UserError, match='contains module data'):
            model.unlink()
        model.with_context({MODULE_UNINSTALL_FLAG: True}).unlink()
        assert not sql.table_exists(demo_env.cr, 'standin_tag')
        assert not demo_env['ir.model.fields'].search([('model', '=', 'standin.tag')])


class TestUninstall:
    def test_uninstall_removes_module_data(self, make_registry):
        registry = make_registry('standin_extra')
        env = api.Environment(registry.cursor(), SUPERUSER_ID, {})
        cr = env.cr
        partner = env['res.partner'].create({'name': 'stays', 'nickname': 'gone'})
        field = env['ir.model.fields'].search([('model', '=', 'res.partner'), ('name', '=', 'email')])
        env['standin.thing'].create({'name': 'locked', 'locked': True, 'partner_id': partner.id,
                                     'field_id': field.id})

        module(env, 'standin_demo').button_immediate_uninstall()

        assert states(env, 'standin_demo', 'standin_extra') == {'standin_demo': 'uninstalled',
                                                                 'standin_extra': 'uninstalled'}
        for table in ('standin_thing', 'standin_tag', 'standin_extra', 'standin_thing_tag_rel'):
            assert not sql.table_exists(cr, table), table
        assert not sql.column_exists(cr, 'res_partner', 'nickname')
        assert partner.exists() and 'nickname' not in env['res.partner']._fields
        assert not env['ir.model'].search([('model', 'like', 'standin.')])
        assert not env['ir.model.fields'].search([('name', '=', 'nickname')])
        assert not env['ir.model.data'].search([('module', 'in', ['standin_demo', 'standin_extra'])])
        assert not env['ir.model.access'].search([('name', 'like', 'standin')])
        assert env.ref('base.view_res_partner_filter').inherit_children_ids.ids == []
        assert 'nickname' not in env['res.partner'].get_view(view_type='search')['arch']

        # and it installs again
        module(env, 'standin_demo').button_immediate_install()
        assert sql.table_exists(cr, 'standin_thing') and not env['standin.thing'].search([])
        assert env.ref('standin_demo.partner_view_search_nickname')

    def test_base_cannot_be_uninstalled(self, env):
        with pytest.raises(UserError):
            module(env, 'base').button_uninstall()
