{
    'name': 'Stand-in hook',
    'version': '1.0',
    'summary': 'Records the immediate module actions',
    'depends': ['base'],
    'data': ['security/ir.model.access.csv'],
    "license": "LGPL-3",
}
