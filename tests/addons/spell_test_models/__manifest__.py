{
    "name": "Spell test models",
    "version": "17.0.1.0",
    "summary": "Models for the tests of lumq_spell",
    "depends": ["base", "web"],
    "data": [
        "security/ir.model.access.csv",
        "views/views.xml",
    ],
    "installable": True,
    "license": "LGPL-3",
}
