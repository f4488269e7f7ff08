{
    'name': 'Stand-in extra',
    'version': '1.0',
    'depends': ['standin_demo'],
    'data': ['security/ir.model.access.csv'],
    "license": "LGPL-3",
}
