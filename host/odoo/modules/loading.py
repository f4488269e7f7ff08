"""Loading the addons of a database into a registry, with Odoo's module
actions: installation, upgrade (with the end-of-update clean-up of XML ids)
and uninstallation."""
import logging

from .. import SUPERUSER_ID, api
from ..tools import sql
from ..tools.convert import convert_file
from .module import get_manifest, load_openerp_module

_logger = logging.getLogger(__name__)


def module_states(cr):
    cr.execute('SELECT name, state FROM ir_module_module')
    return dict(cr.fetchall())


def graph_order(names):
    """The modules and their dependencies in loading order: by dependency
    depth, then by name."""
    depth = {}

    def visit(name, stack):
        if name in depth:
            return depth[name]
        if name in stack:
            raise ValueError('Circular dependency of module %r' % name)
        manifest = get_manifest(name)
        if not manifest:
            raise ValueError('Module %r not found on the addons path' % name)
        deps = manifest['depends']
        depth[name] = 1 + max(visit(dep, stack + (name,)) for dep in deps) if deps else 0
        return depth[name]

    for name in names:
        visit(name, ())
    return sorted(depth, key=lambda name: (depth[name], name))


def load_data(env, module, manifest, mode):
    for filename in manifest.get('data', []):
        convert_file(env, module, filename, {}, mode, noupdate=False, kind='data')


def load_module(registry, cr, name, state, processed, new_db=False):
    """Load one addon in the registry; install or update it when its state
    asks for it."""
    needs_update = state in ('to install', 'to upgrade')
    new_install = state == 'to install'
    if needs_update and name != 'base':
        registry.setup_models(cr)

    load_openerp_module(name)
    model_names = registry.load(cr, name)

    if needs_update:
        registry.setup_models(cr)
        registry.init_models(cr, model_names, {'module': name}, new_install)
        env = api.Environment(cr, SUPERUSER_ID, {})
        Module = env['ir.module.module']
        if new_db and name == 'base':
            Module.update_list()
        module = Module.search([('name', '=', name)])
        manifest = get_manifest(name)
        if state == 'to upgrade':
            module.write(Module.get_values_from_terp(manifest))
        load_data(env, name, manifest, 'init' if new_install else 'update')

    registry._init_modules.add(name)

    if needs_update:
        processed.append(name)
        module.write({'state': 'installed', 'latest_version': manifest['version']})
        cr.commit()


def load_marked_modules(registry, cr, states, loaded, processed):
    names = [name for name, state in module_states(cr).items() if state in states and name not in loaded]
    if not names:
        return
    current = module_states(cr)
    for name in graph_order(names):
        if name in loaded or current.get(name) not in states:
            continue
        load_module(registry, cr, name, current[name], processed)
        loaded.append(name)


def load_modules(registry, update_module=False, install=()):
    """Load ``base`` and the installed addons into ``registry``; with
    ``update_module``, carry out the module actions marked in the database
    (``install`` names addons to install first)."""
    from .registry import Registry

    install = list(install or ())
    with registry.cursor() as cr:
        new_db = not sql.table_exists(cr, 'ir_module_module')
        if new_db or install:
            update_module = True
        loaded, processed = [], []

        base_state = 'to install' if new_db else module_states(cr).get('base', 'installed')
        load_module(registry, cr, 'base', base_state, processed, new_db=new_db)
        loaded.append('base')

        env = api.Environment(cr, SUPERUSER_ID, {})
        if update_module:
            registry.setup_models(cr)
            Module = env['ir.module.module']
            Module.update_list()
            if install:
                known = set(Module.search([]).mapped('name'))
                unknown = sorted(set(install) - known)
                if unknown:
                    raise ValueError('Unknown module(s): %s' % ', '.join(unknown))
                Module.search([('name', 'in', install), ('state', '=', 'uninstalled')]).button_install()

        previously_processed = -1
        while previously_processed < len(processed):
            previously_processed = len(processed)
            load_marked_modules(registry, cr, ('installed', 'to upgrade', 'to remove'), loaded, processed)
            if update_module:
                load_marked_modules(registry, cr, ('to install',), loaded, processed)

        registry.loaded = True
        registry.setup_models(cr)

        env = api.Environment(cr, SUPERUSER_ID, {})
        if processed:
            # records of updated modules whose XML ids were not loaded again
            env['ir.model.data']._process_end(processed)
            env.flush_all()

        if update_module:
            cr.execute('SELECT name, id FROM ir_module_module WHERE state = %s', ('to remove',))
            to_remove = dict(cr.fetchall())
            if to_remove:
                env['ir.module.module'].browse(list(to_remove.values())).module_uninstall()
                cr.commit()
                # load the registry once more, without the removed modules
                return Registry.new(cr.dbname, update_module=True)

        registry.updated_modules += processed
        for model in registry._models(env):
            model._register_hook()


def reset_modules_state(db_name):
    """After a failed loading: modules marked for an action go back to their state."""
    from ..sql_db import Cursor
    with Cursor(db_name) as cr:
        cr.rollback()           # what the failed loading left undone
        if not sql.table_exists(cr, 'ir_module_module'):
            return
        cr.execute("UPDATE ir_module_module SET state = 'installed' WHERE state IN ('to remove', 'to upgrade')")
        cr.execute("UPDATE ir_module_module SET state = 'uninstalled' WHERE state = 'to install'")
