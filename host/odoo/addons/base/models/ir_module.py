"""Modules (ir.module.module) and the module actions."""
import logging
import sys

from odoo import api, fields, models
from odoo.exceptions import UserError
from odoo.modules.module import get_manifest, get_modules

_logger = logging.getLogger(__name__)

STATES = [
    ('uninstallable', 'Uninstallable'),
    ('uninstalled', 'Not Installed'),
    ('installed', 'Installed'),
    ('to upgrade', 'To be upgraded'),
    ('to remove', 'To be removed'),
    ('to install', 'To be installed'),
]

ACTION_DICT = {
    'view_mode': 'form',
    'res_model': 'base.module.upgrade',
    'target': 'new',
    'type': 'ir.actions.act_window',
}


class Module(models.Model):
    _name = 'ir.module.module'
    _description = "Module"
    _rec_name = 'shortdesc'
    _order = 'name'

    name = fields.Char('Technical Name', readonly=True, required=True, index=True)
    shortdesc = fields.Char('Module Name', readonly=True)
    summary = fields.Char('Summary', readonly=True)
    author = fields.Char('Author', readonly=True)
    latest_version = fields.Char('Installed Version', readonly=True)
    installed_version = fields.Char('Latest Version', readonly=True)
    state = fields.Selection(STATES, string='Status', default='uninstalled', readonly=True, index=True)
    auto_install = fields.Boolean('Automatic Installation')
    application = fields.Boolean('Application', readonly=True)

    _sql_constraints = [
        ('name_uniq', 'UNIQUE (name)', 'The name of the module must be unique!'),
    ]

    @staticmethod
    def get_module_info(name):
        return get_manifest(name)

    @staticmethod
    def get_values_from_terp(terp):
        return {
            'shortdesc': terp.get('name', ''),
            'summary': terp.get('summary', ''),
            'author': terp.get('author', 'Unknown'),
            'installed_version': terp.get('version'),
            'auto_install': bool(terp.get('auto_install')),
            'application': bool(terp.get('application')),
        }

    def _dependency_names(self):
        self.ensure_one()
        return self.get_module_info(self.name).get('depends', [])

    @api.model
    def update_list(self):
        """Register the addons found on the addons path; returns [updated, added]."""
        res = [0, 0]
        known = {mod.name: mod for mod in self.with_context(active_test=False).search([])}
        for name in get_modules():
            terp = self.get_module_info(name)
            values = self.get_values_from_terp(terp)
            mod = known.get(name)
            if mod:
                if mod.installed_version != values['installed_version']:
                    res[0] += 1
                mod.write(values)
            else:
                state = 'uninstalled' if terp.get('installable', True) else 'uninstallable'
                self.create(dict(name=name, state=state, **values))
                res[1] += 1
        return res

    def _state_update(self, newstate, states_to_update, level=100):
        """Give ``newstate`` to these modules and their dependencies that are in
        one of ``states_to_update``."""
        if level < 1:
            raise UserError('Recursion error in modules dependencies!')
        for module in self:
            if module.state not in states_to_update:
                continue
            names = module._dependency_names()
            deps = self.search([('name', 'in', names)])
            missing = set(names) - set(deps.mapped('name'))
            if missing:
                raise UserError("You try to install module %r that depends on module %r.\n"
                                "But the latter module is not available in your system."
                                % (module.name, sorted(missing)[0]))
            deps.filtered(lambda dep: dep.state != newstate)._state_update(newstate, states_to_update, level - 1)
            if module.state in states_to_update:
                module.write({'state': newstate})

    def button_install(self):
        self._state_update('to install', ['uninstalled'])
        return dict(ACTION_DICT, name='Install')

    def downstream_dependencies(self, known_deps=None,
                                exclude_states=('uninstalled', 'uninstallable', 'to remove')):
        """The modules that depend, directly or not, on these modules."""
        if not self:
            return self
        known_deps = known_deps or self.browse()
        names = set(self.mapped('name'))
        candidates = self.search([('state', 'not in', list(exclude_states))])
        direct = candidates.filtered(lambda m: names & set(m._dependency_names())) - known_deps - self
        if not direct:
            return known_deps
        known_deps |= direct
        return direct.downstream_dependencies(known_deps, exclude_states)

    def upstream_dependencies(self, known_deps=None, exclude_states=('installed', 'uninstallable', 'to remove')):
        """The modules that these modules depend on, directly or not."""
        known_deps = known_deps or self.browse()
        names = set()
        for module in self:
            names.update(module._dependency_names())
        direct = self.search([('name', 'in', list(names)), ('state', 'not in', list(exclude_states))]) - known_deps
        if not direct:
            return known_deps
        known_deps |= direct
        return direct.upstream_dependencies(known_deps, exclude_states)

    def button_upgrade(self):
        if not self:
            return
        self.update_list()
        todo = list(self)
        if 'base' in self.mapped('name'):
            todo.extend(self.search([('state', '=', 'installed'), ('id', 'not in', self.ids)]))
        i = 0
        while i < len(todo):
            module = todo[i]
            i += 1
            if module.state not in ('installed', 'to upgrade'):
                raise UserError("Can not upgrade module %r. It is not installed." % module.name)
            for dependent in self.search([('state', '=', 'installed')]):
                if module.name in dependent._dependency_names() and dependent not in todo:
                    todo.append(dependent)
        self.browse(module.id for module in todo).write({'state': 'to upgrade'})

        to_install = self.browse()
        for module in todo:
            for name in module._dependency_names():
                dep = self.search([('name', '=', name)])
                if not dep:
                    raise UserError("You try to upgrade the module %s that depends on the module: %s.\n"
                                    "But this module is not available in your system." % (module.name, name))
                if dep.state == 'uninstalled':
                    to_install |= dep
        to_install.button_install()
        return dict(ACTION_DICT, name='Apply Schedule Upgrade')

    def button_uninstall(self):
        if 'base' in self.mapped('name'):
            raise UserError("The `base` module cannot be uninstalled")
        if any(state not in ('installed', 'to upgrade') for state in self.mapped('state')):
            raise UserError("One or more of the selected modules have already been uninstalled, if you "
                            "believe this to be an error, you may try again later or contact support.")
        deps = self.downstream_dependencies()
        (self + deps).write({'state': 'to remove'})
        return dict(ACTION_DICT, name='Uninstall')

    def button_uninstall_cancel(self):
        self.write({'state': 'installed'})
        return True

    def button_upgrade_cancel(self):
        self.write({'state': 'installed'})
        return True

    def button_install_cancel(self):
        self.write({'state': 'uninstalled'})
        return True

    def _button_immediate_function(self, function):
        """Run the module action ``function`` on these modules, commit, and
        load a new registry with the module updates applied."""
        if not self.env.registry.ready or self.env.registry._init:
            raise UserError('The method _button_immediate_install cannot be called on init or non loaded '
                            'registries. Please use button_install instead.')
        from odoo.modules.registry import Registry

        function(self)

        self._cr.commit()
        Registry.new(self._cr.dbname, update_module=True)
        self._cr.commit()
        self.env.reset()
        return {
            'type': 'ir.actions.client',
            'tag': 'reload',
            'params': {'menu_id': False},
        }

    def button_immediate_install(self):
        """Install these modules (and their dependencies) now."""
        return self._button_immediate_function(self.env.registry[self._name].button_install)

    def button_immediate_upgrade(self):
        """Upgrade these modules (and the modules depending on them) now."""
        return self._button_immediate_function(self.env.registry[self._name].button_upgrade)

    def button_immediate_uninstall(self):
        """Uninstall these modules (and the modules depending on them) now."""
        return self._button_immediate_function(self.env.registry[self._name].button_uninstall)

    def module_uninstall(self):
        """Delete the modules' data, tables and columns; mark them uninstalled."""
        modules_to_remove = self.mapped('name')
        for module in self:
            # the addon's own clean-up runs while its models are still there
            hook = get_manifest(module.name).get('uninstall_hook')
            if hook:
                getattr(sys.modules['odoo.addons.%s' % module.name], hook)(self.env)
                self.env.flush_all()
        self.env['ir.model.data']._module_data_uninstall(modules_to_remove)
        self.write({'state': 'uninstalled', 'latest_version': False})
        return True
