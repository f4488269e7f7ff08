{
    'name': 'Base',
    'version': '1.3',
    'category': 'Hidden',
    'description': "The kernel of the stand-in: models, views, modules, menus, actions, users and contacts.",
    'depends': [],
    'data': [
        'data/res_users_data.xml',
        'security/ir.model.access.csv',
        'views/res_partner_views.xml',
        'data/ir_ui_menu_data.xml',
    ],
    'installable': True,
}
