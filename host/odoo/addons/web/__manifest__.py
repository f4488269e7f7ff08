{
    'name': 'Web',
    'category': 'Hidden',
    'version': '1.0',
    'description': "The web client's addon: on the stand-in it holds no code, so that addons "
                   "can depend on it as they do on Odoo 17 (their assets are for the real "
                   "web client).",
    'depends': ['base'],
    'auto_install': True,
    'installable': True,
    'license': 'LGPL-3',
}
