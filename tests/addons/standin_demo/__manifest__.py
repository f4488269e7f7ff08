{
    'name': 'Stand-in demo',
    'version': '1.0',
    'summary': 'Models, views and access rules exercising the host stand-in',
    'depends': ['base'],
    'data': [
        'security/ir.model.access.csv',
        'views/views.xml',
    ],
    "license": "LGPL-3",
}
