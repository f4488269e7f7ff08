"""Helpers for the spell tests."""


def enable(env, model_name, field_name=None, **values):
    """Create the configuration record that enables spell on a model."""
    values["model_id"] = env["ir.model"]._get_id(model_name)
    if field_name:
        values["spell_field_id"] = env["ir.model.fields"].search(
            [("model", "=", model_name), ("name", "=", field_name)]
        ).id
    return env["lumq_spell.config"].create(values)


def spells(records):
    """The three stored spells of each record, in order."""
    return [(r.lumq_full_spell, r.lumq_simple_spell, r.lumq_first_spell) for r in records]
