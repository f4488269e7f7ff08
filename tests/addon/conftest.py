"""Fixtures for the spell feature: a fresh in-memory database per test with
lumq_spell and the test models installed."""
import pytest

from odoo import SUPERUSER_ID, api
from odoo.modules.registry import Registry
from odoo.tests.common import drop_database, new_db_name


@pytest.fixture
def make_env():
    """make_env(*addons): a superuser environment on a new database with base,
    lumq_spell and those addons installed."""
    names = []

    def make(*install):
        name = new_db_name("spell")
        names.append(name)
        registry = Registry.new(name, install=("lumq_spell",) + install)
        return api.Environment(registry.cursor(), SUPERUSER_ID, {})

    yield make
    for name in names:
        drop_database(name)


@pytest.fixture
def env(make_env):
    """Superuser environment with lumq_spell and the addon spell_test_models."""
    return make_env("spell_test_models")


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
