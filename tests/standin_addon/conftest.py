"""Fixtures for the spell tests that need the stand-in's own powers: a fresh
in-memory database per test with lumq_spell and the test models installed."""
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
