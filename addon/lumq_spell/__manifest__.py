{
    "name": "Lumq Spell",
    "version": "17.0.0.56",
    "summary": "Find records by the pinyin of their names",
    "description": """
Stores the full, simple and first pinyin spell of a chosen text field on the
records of the models an administrator enables, lets their search views match
what is typed against either spell, and marks list-type views with a navbar
flag.
""",
    "category": "Tools",
    "depends": ["base"],
    "data": [
        "security/ir.model.access.csv",
    ],
    "assets": {
        "web.assets_tests": [
            "lumq_spell/static/tests/tours/**/*",
        ],
    },
    "external_dependencies": {"python": ["lumq_spell_base", "pypinyin", "lxml"]},
    "uninstall_hook": "uninstall_hook",
    "installable": True,
    "license": "LGPL-3",
}
