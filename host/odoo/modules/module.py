"""Finding addons on the addons path (``odoo.addons.__path__``) and reading
their manifests."""
import ast
import importlib
import os

MANIFEST_NAMES = ('__manifest__.py',)

_DEFAULT_MANIFEST = {
    'application': False,
    'author': 'Odoo S.A.',
    'auto_install': False,
    'category': 'Uncategorized',
    'data': [],
    'demo': [],
    'depends': [],
    'description': '',
    'installable': True,
    'license': 'LGPL-3',
    'post_init_hook': '',
    'pre_init_hook': '',
    'summary': '',
    'uninstall_hook': '',
    'version': '1.0',
}


def addons_paths():
    import odoo.addons
    return list(odoo.addons.__path__)


def get_module_path(module, display_warning=True):
    """The folder of an addon, or False."""
    for adp in addons_paths():
        path = os.path.join(adp, module)
        if os.path.isfile(os.path.join(path, '__manifest__.py')):
            return path
    return False


def get_manifest(module, mod_path=None):
    """The manifest of an addon with Odoo's defaults, or an empty dict."""
    mod_path = mod_path or get_module_path(module)
    if not mod_path:
        return {}
    with open(os.path.join(mod_path, '__manifest__.py'), encoding='utf-8') as f:
        manifest = dict(_DEFAULT_MANIFEST, **ast.literal_eval(f.read()))
    manifest['depends'] = list(manifest['depends'])
    if not manifest['depends'] and module != 'base':
        manifest['depends'] = ['base']
    manifest['version'] = adapt_version(manifest['version'])
    manifest.setdefault('name', module)
    manifest['addons_path'] = os.path.dirname(mod_path)
    return manifest


def adapt_version(version):
    serie = '17.0'
    if version == serie or not version.startswith(serie + '.'):
        version = '%s.%s' % (serie, version)
    return version


def get_modules():
    """The names of all addons found on the addons path."""
    names = []
    for adp in addons_paths():
        if not os.path.isdir(adp):
            continue
        for name in sorted(os.listdir(adp)):
            if os.path.isfile(os.path.join(adp, name, '__manifest__.py')) and name not in names:
                names.append(name)
    return names


def load_openerp_module(module_name):
    """Import an addon's Python package."""
    importlib.import_module('odoo.addons.' + module_name)


# the module whose tests are running, as Odoo's test loader sets it
current_test = None
