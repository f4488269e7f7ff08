{
    "name": "Spell test extension",
    "version": "17.0.1.0",
    "summary": "Extends a test model from an addon loaded after lumq_spell",
    "depends": ["spell_test_models"],
    "data": ["security/ir.model.access.csv"],
    "installable": True,
    "license": "LGPL-3",
}
