"""The registry: the model classes of one database."""
import logging
import threading
from collections import defaultdict, deque
from collections.abc import Mapping
from operator import attrgetter

from .. import SUPERUSER_ID, api
from ..sql_db import Cursor
from ..tools import CACHE_NAMES, OrderedSet, discardattr

_logger = logging.getLogger(__name__)


class Registry(Mapping):
    """Model registry of one database: ``registry[model_name]`` is the model's
    registry class.  ``Registry(db_name)`` returns the database's current
    registry (loading it when there is none); ``Registry.new`` builds a new one."""

    registries = {}                 # database name -> current registry
    test_cr = None                  # the cursor of the tests using this registry
    _lock = threading.RLock()

    def __new__(cls, db_name):
        with cls._lock:
            try:
                return cls.registries[db_name]
            except KeyError:
                return cls.new(db_name)

    @classmethod
    def new(cls, db_name, force_demo=False, status=None, update_module=False, install=()):
        """Create (or open) the database and load its registry: ``base``, the
        installed addons and the addons named in ``install`` with their
        dependencies.  With ``update_module``, module actions (install,
        upgrade, removal) marked in ``ir.module.module`` are carried out."""
        from .loading import load_modules, reset_modules_state

        with cls._lock:
            registry = object.__new__(cls)
            registry.init(db_name)
            previous = cls.registries.get(db_name)
            cls.registries[db_name] = registry
            try:
                try:
                    load_modules(registry, update_module=update_module, install=install)
                except Exception:
                    reset_modules_state(db_name)
                    raise
            except Exception:
                if previous is not None:
                    cls.registries[db_name] = previous
                else:
                    cls.registries.pop(db_name, None)
                raise
            # loading replaces the registry when modules are uninstalled
            registry = cls.registries[db_name]
            registry._init = False
            registry.ready = True
            registry.registry_invalidated = bool(update_module)
            return registry

    def init(self, db_name):
        self.db_name = db_name
        self.models = {}
        self._init = True
        self._init_modules = set()
        self.updated_modules = []
        self.loaded_xmlids = set()
        self.loaded = False
        self.ready = False
        self.registry_invalidated = False
        self.cache_invalidated = set()
        self._caches = {name: {} for name in CACHE_NAMES}
        self._post_init_queue = deque()
        self._is_install = False
        self.field_depends = {}         # field -> dotted paths it depends on
        self.field_computed = {}        # field -> the fields computed by the same method
        self.field_triggers = defaultdict(list)   # (model, fname) -> [(field, path)]

    @classmethod
    def delete(cls, db_name):
        with cls._lock:
            cls.registries.pop(db_name, None)

    @classmethod
    def delete_all(cls):
        with cls._lock:
            cls.registries.clear()

    def __repr__(self):
        return f'<Registry {self.db_name!r}>'

    # -- mapping of model names to registry classes --
    def __len__(self):
        return len(self.models)

    def __iter__(self):
        return iter(self.models)

    def __getitem__(self, model_name):
        return self.models[model_name]

    def __contains__(self, model_name):
        return model_name in self.models

    def __setitem__(self, model_name, model):
        self.models[model_name] = model

    def __delitem__(self, model_name):
        del self.models[model_name]

    def in_test_mode(self):
        """Whether tests run on this registry: their transaction is rolled
        back, and nothing may commit it."""
        return self.test_cr is not None

    def cursor(self):
        return Cursor(self.db_name)

    # -- models --
    def descendants(self, model_names, *kinds):
        """The models named and those that inherit from them (``_inherit``)
        or delegate to them (``_inherits``), as an ordered set of names."""
        assert all(kind in ('_inherit', '_inherits') for kind in kinds)
        funcs = [attrgetter(kind + '_children') for kind in kinds]
        models = OrderedSet()
        queue = deque(model_names)
        while queue:
            model = self[queue.popleft()]
            models.add(model._name)
            for func in funcs:
                queue.extend(func(model))
        return models

    def load(self, cr, module):
        """Build the model classes of an addon; return the names of the models
        they change."""
        from ..models import MetaModel
        for cache in self._caches.values():
            cache.clear()
        model_names = []
        for cls in MetaModel.module_to_models.get(module, []):
            model = cls._build_model(self, cr)
            model_names.append(model._name)
        return self.descendants(model_names, '_inherit', '_inherits')

    def setup_models(self, cr):
        """Set the models up again: clear the method caches, add the extra
        models (when modules are loaded), then determine every model's fields.
        The registry classes made earlier stay."""
        env = api.Environment(cr, SUPERUSER_ID, {})
        env.invalidate_all()

        if self.ready:
            for model in self._models(env):
                model._unregister_hook()

        for cache in self._caches.values():
            cache.clear()
        self.registry_invalidated = True

        if 'ir.model' in self:
            self['ir.model'](env, (), ())._prepare_setup()
            if self._init_modules:
                self['ir.model'](env, (), ())._add_manual_models()

        models = self._models(env)
        for model in models:
            model._prepare_setup()

        self.field_depends.clear()
        self.field_computed.clear()
        self.field_triggers.clear()

        for model in models:
            model._setup_base()
        for model in models:
            model._setup_fields()
        for model in models:
            model._setup_complete()

        for model in models:
            groups = defaultdict(list)
            for field in model._fields.values():
                self.field_depends[field] = field.get_depends(model)
                if field.compute and not field.related:
                    groups[field.compute].append(field)
            for group in groups.values():
                for field in group:
                    self.field_computed[field] = group
        self._build_triggers(env)

        if self.ready:
            for model in self._models(env):
                model._register_hook()
            env.flush_all()

    def _models(self, env):
        """Empty record sets of every model of this registry in ``env``."""
        return [cls(env, (), ()) for cls in list(self.models.values())]

    def _build_triggers(self, env):
        """Index the stored computed fields by the fields they depend on."""
        self.field_triggers.clear()
        for model in self._models(env):
            for field in model._fields.values():
                if field.store and (field.compute or field.related):
                    for path in self.field_depends.get(field, ()):
                        self._add_trigger(env, field, model, path.split('.'), ())

    def _add_trigger(self, env, field, model, parts, prefix, depth=0):
        """Make changes of the fields on ``parts`` trigger ``field``'s recomputation."""
        current = model
        for i, name in enumerate(parts):
            target = current._fields.get(name)
            if target is None:
                _logger.debug("Field %s depends on unknown field %s.%s", field, current._name, name)
                return
            path = prefix + tuple(parts[:i])
            self.field_triggers[(current._name, name)].append((field, path))
            if not target.store and (target.compute or target.related) and depth < 8:
                for dep in self.field_depends.get(target, ()):
                    self._add_trigger(env, field, current, dep.split('.'), path, depth + 1)
            if not target.relational:
                break
            current = self[target.comodel_name](env, (), ())

    def _discard_fields(self, fields, cr):
        """Remove fields from the registry's models (their columns are going)."""
        for field in fields:
            model = self.models.get(field.model_name)
            if model is not None and model._fields.get(field.name) is field:
                del model._fields[field.name]
                discardattr(model, field.name)
        self._build_triggers(api.Environment(cr, SUPERUSER_ID, {}))

    def post_init(self, func, *args, **kwargs):
        """Call ``func`` at the end of the current (or next) ``init_models``."""
        self._post_init_queue.append(lambda: func(*args, **kwargs))

    def init_models(self, cr, model_names, context, install=True):
        """Create or update the tables and columns of the models, reflect them
        in ``ir.model`` and ``ir.model.fields``, then run the post-init queue.
        ``context`` may hold ``module`` and ``update_custom_fields``."""
        if not model_names:
            return
        env = api.Environment(cr, SUPERUSER_ID, context)
        models = [self[model_name](env, (), ()) for model_name in model_names]
        self._is_install = install
        for model in models:
            model._auto_init()
            model.init()
        self['ir.model'](env, (), ())._reflect_models(list(model_names))
        self['ir.model.fields'](env, (), ())._reflect_fields(list(model_names))
        while self._post_init_queue:
            func = self._post_init_queue.popleft()
            func()
        env.flush_all()

    def check_tables_exist(self, cr):
        """Create the tables of models that lack one."""
        from ..tools import sql
        missing = [name for name, model in self.models.items()
                   if model._auto and not sql.table_exists(cr, model._table)]
        if missing:
            self.init_models(cr, missing, {'models_to_check': True})

    # -- method caches --
    def signal_changes(self):
        """Tell the other processes on the database that the registry
        changed.  The stand-in's databases live in one process: there is no
        one to tell, so only the mark is cleared."""
        self.registry_invalidated = False

    def clear_cache(self, *cache_names):
        """Empty the ``tools.ormcache`` caches of those names ('default' when none)."""
        cache_names = cache_names or ('default',)
        for name, cache in self._caches.items():
            if name in cache_names or name.split('.')[0] in cache_names:
                cache.clear()
        self.cache_invalidated.update(cache_names)

    def clear_all_caches(self):
        for cache in self._caches.values():
            cache.clear()

    # kept for callers of older versions
    def clear_caches(self):
        self.clear_all_caches()
