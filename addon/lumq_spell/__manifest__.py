{
    "name": "Lumq Spell",
    "version": "17.0.0.56",
    "summary": "Find records by the pinyin of their names",
    "description": """
Stores the full, simple and first pinyin spell of a chosen text field on the
records of the models an administrator enables, lets their search views match
what is typed against either spell, and shows a bar of the letters A to Z above
their list and kanban views that filters the records by their first letter.
Administrators enable models in Settings > Technical > Pinyin Search (debug
mode).
""",
    "category": "Tools",
    "depends": ["base", "web"],
    "data": [
        "security/ir.model.access.csv",
        "data/ir_cron.xml",
        "views/lumq_spell_config_views.xml",
    ],
    "assets": {
        "web.assets_backend": [
            "lumq_spell/static/src/**/*",
        ],
        "web.assets_tests": [
            "lumq_spell/static/tests/tours/**/*",
        ],
    },
    "external_dependencies": {"python": ["lumq_spell_base", "pypinyin", "lxml"]},
    "uninstall_hook": "uninstall_hook",
    "installable": True,
    "license": "LGPL-3",
}
