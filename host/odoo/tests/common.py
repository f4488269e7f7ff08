"""The part of Odoo 17's test framework that addons' tests use, on the
stand-in, and helpers for tests and demos that make their own databases.

Odoo runs an addon's tests on a database that ``-i`` installed beforehand.
The stand-in has no such database: each ``TransactionCase`` class gets a new
in-memory one with the addons named in ``config['init']`` installed (the
setting that ``-i`` fills), and drops it when the class is done.  Everything
else follows Odoo: one cursor per class, each test in a savepoint rolled back
after it, ``assertRaises`` running its body in a savepoint, the registry left
as the tests made it (a test that changes it sets it up again itself).

Fresh databases outside test classes, in Odoo's style::

    registry = new_registry('lumq_spell')      # a new in-memory database
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
"""
import itertools
import logging
import os
import unittest
from contextlib import ExitStack, contextmanager
from unittest.mock import patch

from .. import SUPERUSER_ID, api
from ..modules.registry import Registry
from ..sql_db import close_db
from ..tools import config

_logger = logging.getLogger(__name__)

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


class MetaCase(type):
    """Gives the test classes of addons Odoo's default tags ('standard',
    'at_install') and the name of their addon."""

    def __init__(cls, name, bases, attrs):
        super().__init__(name, bases, attrs)
        if cls.__module__.startswith('odoo.addons.'):
            if getattr(cls, 'test_tags', None) is None:
                cls.test_tags = {'standard', 'at_install'}
            cls.test_module = cls.__module__.split('.')[2]
            cls.test_class = cls.__name__
            cls.test_sequence = 0


class BaseCase(unittest.TestCase, metaclass=MetaCase):
    """Odoo's test case; subclasses provide ``registry``, ``cr`` and ``env``."""

    longMessage = True

    def patch(self, obj, key, val):
        """``setattr(obj, key, val)`` for the rest of the test."""
        patcher = patch.object(obj, key, val)
        patcher.start()
        self.addCleanup(patcher.stop)

    @contextmanager
    def _assertRaises(self, exception, *, msg=None):
        """assertRaises whose body runs in a savepoint: what the body did
        before it raised is rolled back, and the test goes on in a usable
        transaction."""
        with ExitStack() as init:
            if hasattr(self, 'env'):
                init.enter_context(self.env.cr.savepoint())
            with ExitStack() as inner:
                cm = inner.enter_context(super().assertRaises(exception, msg=msg))
                # the savepoint's exit, pushed last, runs first: the body's
                # work is rolled back when it raised, then assertRaises
                # checks the exception
                inner.push(init.pop_all())
                yield cm

    def assertRaises(self, exception, func=None, *args, **kwargs):
        if func:
            with self._assertRaises(exception):
                func(*args, **kwargs)
        else:
            return self._assertRaises(exception, **kwargs)


savepoint_seq = itertools.count()


class TransactionCase(BaseCase):
    """Each test runs in a savepoint of the class's one transaction, rolled
    back after the test.  The registry is not reset between tests: a test
    that changes its models sets them up again itself."""

    registry = None
    env = None
    cr = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        db_name = new_db_name('testcase')
        cls.addClassCleanup(drop_database, db_name)
        cls.registry = Registry.new(db_name, install=list(config['init'] or ()))
        cls.cr = cls.registry.cursor()
        cls.registry.test_cr = cls.cr
        cls.addClassCleanup(cls.cr.close)
        cls.env = api.Environment(cls.cr, SUPERUSER_ID, {})

    def setUp(self):
        super().setUp()
        self.addCleanup(self.env.clear)
        self.addCleanup(self.registry.clear_all_caches)
        self.env.flush_all()
        self._savepoint_id = next(savepoint_seq)
        self.cr.execute('SAVEPOINT test_%d' % self._savepoint_id)
        self.addCleanup(self.cr.execute, 'ROLLBACK TO SAVEPOINT test_%d' % self._savepoint_id)


class HttpCase(TransactionCase):
    """Tests through the HTTP server and a browser.  The stand-in has neither:
    its HttpCase tests are skipped, they run on a real Odoo server."""

    __unittest_skip__ = True
    __unittest_skip_why__ = ("HttpCase needs a real Odoo 17 server with HTTP and a browser; "
                             "the stand-in has neither")


def tagged(*tags):
    """Add tags to a test class ('-tag' removes one); Odoo's test runner
    selects tests by them, the stand-in only records them."""
    include = {t for t in tags if not t.startswith('-')}
    exclude = {t[1:] for t in tags if t.startswith('-')}

    def tags_decorator(obj):
        obj.test_tags = (getattr(obj, 'test_tags', set()) | include) - exclude
        at_install = 'at_install' in obj.test_tags
        post_install = 'post_install' in obj.test_tags
        if not (at_install ^ post_install):
            _logger.warning('A tests should be either at_install or post_install, which is not the case of %r', obj)
        return obj
    return tags_decorator
