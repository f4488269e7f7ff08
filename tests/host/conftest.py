"""Fixtures: a fresh in-memory database per test."""
import pytest

from odoo import SUPERUSER_ID, api
from odoo.modules.registry import Registry
from odoo.tests.common import drop_database, new_db_name


@pytest.fixture
def make_registry():
    """make_registry(*addons): the registry of a new database with those addons."""
    names = []

    def make(*install):
        name = new_db_name('host')
        names.append(name)
        return Registry.new(name, install=install)

    yield make
    for name in names:
        drop_database(name)


@pytest.fixture
def env(make_registry):
    """Superuser environment on a database with base only."""
    return api.Environment(make_registry().cursor(), SUPERUSER_ID, {})


@pytest.fixture
def demo_env(make_registry):
    """Superuser environment on a database with the addon standin_demo."""
    return api.Environment(make_registry('standin_demo').cursor(), SUPERUSER_ID, {})
