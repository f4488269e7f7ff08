"""Fresh databases for tests, in Odoo's style::

    registry = new_registry('lumq_spell')      # a new in-memory database
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
"""
import itertools
import os

from .. import SUPERUSER_ID, api
from ..modules.registry import Registry
from ..sql_db import close_db

_counter = itertools.count(1)


def new_db_name(prefix='test'):
    """A database name not used before in this process."""
    return '%s_%d_%d' % (prefix, os.getpid(), next(_counter))


def new_registry(*install, prefix='test'):
    """The registry of a new in-memory database with ``base`` and the named
    addons (and their dependencies) installed."""
    return Registry.new(new_db_name(prefix), install=install)


def new_env(*install, prefix='test', uid=SUPERUSER_ID, context=None):
    """A superuser environment on a new in-memory database; see ``new_registry``."""
    registry = new_registry(*install, prefix=prefix)
    return api.Environment(registry.cursor(), uid, context or {})


def drop_database(db_name):
    """Forget a database's registry and close its connection (an in-memory
    database is gone afterwards)."""
    Registry.delete(db_name)
    close_db(db_name)
