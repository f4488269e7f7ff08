"""Helpers of odoo.tools that the ORM and the addons use."""
import functools
import logging
from collections.abc import Mapping, MutableSet
from inspect import Parameter, signature

from . import sql  # noqa: F401
from .sql import SQL, table_exists, column_exists, table_kind  # noqa: F401


class Config(dict):
    """The server configuration, as a plain mapping of options."""

    def __missing__(self, key):
        return None


config = Config({
    'addons_path': '',
    'dev_mode': [],
    'import_partial': '',
    'without_demo': True,
})


def unique(it):
    """Yield each element of ``it`` once, in the order of first occurrence."""
    seen = set()
    for e in it:
        if e not in seen:
            seen.add(e)
            yield e


class OrderedSet(MutableSet):
    """A set that keeps the insertion order of its elements."""
    __slots__ = ['_map']

    def __init__(self, elems=()):
        self._map = dict.fromkeys(elems)

    def __contains__(self, elem):
        return elem in self._map

    def __iter__(self):
        return iter(self._map)

    def __len__(self):
        return len(self._map)

    def add(self, elem):
        self._map[elem] = None

    def discard(self, elem):
        self._map.pop(elem, None)

    def update(self, elems):
        for elem in elems:
            self._map[elem] = None

    def __repr__(self):
        return f'{type(self).__name__}({list(self)!r})'


class LastOrderedSet(OrderedSet):
    """An ordered set where adding an element again moves it to the end."""
    __slots__ = ()

    def add(self, elem):
        self._map.pop(elem, None)
        self._map[elem] = None


class frozendict(dict):
    """An immutable dict."""
    __slots__ = ()

    def _readonly(self, *args, **kwargs):
        raise NotImplementedError("'frozendict' object is immutable")

    __delitem__ = __setitem__ = clear = pop = popitem = setdefault = update = _readonly

    def __hash__(self):
        return hash(frozenset((key, freehash(val)) for key, val in self.items()))


def freehash(arg):
    try:
        return hash(arg)
    except TypeError:
        if isinstance(arg, Mapping):
            return hash(frozendict(arg))
        try:
            return hash(frozenset(freehash(item) for item in arg))
        except TypeError:
            return id(arg)


def discardattr(obj, name):
    try:
        delattr(obj, name)
    except AttributeError:
        pass


def str2bool(value, default=None):
    value = str(value).strip().lower()
    if value in ('1', 'true', 't', 'yes', 'y', 'on'):
        return True
    if value in ('0', 'false', 'f', 'no', 'n', 'off', ''):
        return False
    return default


# names of the registry's method caches, as in Odoo 17
CACHE_NAMES = ('default', 'assets', 'templates', 'routing', 'routing.rewrites', 'templates.cached_values')


class ormcache:
    """Method cache kept in the registry.

    ``@ormcache('arg', 'self.env.uid')`` keys the cache on those expressions,
    evaluated with the method's parameters; without keys there is one entry per
    registry and model.  ``registry.clear_cache()`` (and ``setup_models``) empty it.
    """

    def __init__(self, *args, cache='default', **kwargs):
        self.args = args
        self.cache_name = cache

    def __call__(self, method):
        self.method = method
        params = ', '.join(
            str(param.replace(annotation=Parameter.empty, default=Parameter.empty))
            for param in signature(method).parameters.values()
        )
        keys = ', '.join(self.args)
        self.key = eval('lambda %s: (%s%s)' % (params, keys, ',' if keys else ''))  # noqa: S307

        @functools.wraps(method)
        def lookup(*args, **kwargs):
            return self.lookup(*args, **kwargs)

        lookup.__cache__ = self
        return lookup

    def lookup(self, model, *args, **kwargs):
        cache = model.pool._caches[self.cache_name]
        key = (model._name, self.method) + self.key(model, *args, **kwargs)
        try:
            return cache[key]
        except KeyError:
            value = cache[key] = self.method(model, *args, **kwargs)
            return value
        except TypeError:               # an unhashable key: no caching
            return self.method(model, *args, **kwargs)

    def clear(self, model):
        """Drop every value that this method cached for ``model``'s registry."""
        cache = model.pool._caches[self.cache_name]
        for key in [k for k in cache if k[1] is self.method]:
            del cache[key]


def split_every(n, iterable):
    items = list(iterable)
    for i in range(0, len(items), n):
        yield items[i:i + n]


class mute_logger(logging.Handler):
    """Silence the named loggers within a ``with`` block or a decorated
    function (tests use it around errors they expect)."""

    def __init__(self, *loggers):
        super().__init__()
        self.loggers = loggers
        self.old_params = {}

    def __enter__(self):
        for logger_name in self.loggers:
            logger = logging.getLogger(logger_name)
            self.old_params[logger_name] = (logger.handlers, logger.propagate)
            logger.propagate = False
            logger.handlers = [self]

    def __exit__(self, exc_type=None, exc_val=None, exc_tb=None):
        for logger_name in self.loggers:
            logger = logging.getLogger(logger_name)
            logger.handlers, logger.propagate = self.old_params[logger_name]

    def __call__(self, func):
        @functools.wraps(func)
        def deco(*args, **kwargs):
            with self:
                return func(*args, **kwargs)
        return deco

    def emit(self, record):
        pass
