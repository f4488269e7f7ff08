"""Models and record sets, with Odoo 17's class composition.

Model classes written in addons are *definition classes*; the registry composes
them into one *registry class* per model, whose bases are the definition classes
(newest first) and the registry classes of its parent models, so that
``super()`` chains run through every layer.  Records live in SQLite tables:
reads and writes go straight to the database.
"""
import logging
import operator
import re
import sqlite3
from collections import defaultdict
from contextlib import contextmanager
from inspect import getmembers

from . import api, fields
from .exceptions import AccessError, MissingError, UserError, ValidationError  # noqa: F401
from .osv import expression
from .tools import SQL, LastOrderedSet, OrderedSet, discardattr, frozendict, sql, unique
from .tools.query import Query

_logger = logging.getLogger(__name__)

LOG_ACCESS_COLUMNS = ['create_uid', 'create_date', 'write_uid', 'write_date']
MAGIC_COLUMNS = ['id'] + LOG_ACCESS_COLUMNS

_ORDER_ITEM = re.compile(r'^\s*"?(\w+)"?(?:\s+(asc|desc))?(?:\s+nulls\s+(first|last))?\s*$', re.IGNORECASE)


def is_definition_class(cls):
    """A model class written in an addon (not one made by the registry)."""
    return isinstance(cls, MetaModel) and getattr(cls, 'pool', None) is None


def is_registry_class(cls):
    return getattr(cls, 'pool', None) is not None


class MetaModel(type):
    """Collects the model classes of each addon, and normalises ``_name``,
    ``_inherit`` and ``_module`` as Odoo does."""

    module_to_models = defaultdict(list)

    def __new__(meta, name, bases, attrs):
        # records have no attribute but their slots (and the fields)
        attrs.setdefault('__slots__', ())
        # the fields defined in this very class, filled by Field.__set_name__
        attrs.setdefault('_field_definitions', [])

        if attrs.get('_register', True):
            if '_module' not in attrs:
                module = attrs['__module__']
                assert module.startswith('odoo.addons.'), \
                    f"Invalid import of {module}.{name}, it should start with 'odoo.addons'."
                attrs['_module'] = module.split('.')[2]
            inherit = attrs.get('_inherit', ())
            if isinstance(inherit, str):
                inherit = attrs['_inherit'] = [inherit]
            if '_name' not in attrs:
                attrs['_name'] = inherit[0] if len(inherit) == 1 else name

        return super().__new__(meta, name, bases, attrs)

    def __init__(self, name, bases, attrs):
        super().__init__(name, bases, attrs)
        if not attrs.get('_register', True):
            return

        # remember which models to build for this addon
        if self._module:
            self.module_to_models[self._module].append(self)

        if self._name not in self._inherit:
            # this class defines a model: add the magic fields
            def add(fname, field):
                setattr(self, fname, field)
                field.__set_name__(self, fname)

            add('id', fields.Id(automatic=True))
            if 'display_name' not in attrs:
                add('display_name', fields.Char(string='Display Name', automatic=True,
                                                compute='_compute_display_name',
                                                search='_search_display_name'))


class BaseModel(metaclass=MetaModel):
    """Base class of all models; its instances are record sets."""

    __slots__ = ['env', '_ids', '_prefetch_ids']

    _auto = False
    _register = False
    _abstract = True
    _transient = False

    _name = None
    _description = None
    _module = None
    _custom = False
    _inherit = ()
    _inherits = frozendict()
    _table = None
    _sql_constraints = []
    _rec_name = None
    _rec_names_search = None
    _order = 'id'
    _parent_name = 'parent_id'
    _active_name = None
    _log_access = False
    _depends = frozendict()
    _original_module = None
    _fields = frozendict()

    pool = None

    def __init__(self, env, ids, prefetch_ids):
        self.env = env
        self._ids = ids
        self._prefetch_ids = prefetch_ids

    # ------------------------------------------------------------------------
    # building the registry classes
    # ------------------------------------------------------------------------

    @classmethod
    def _build_model(cls, pool, cr):
        """Make (or extend) the registry class of the model that ``cls`` defines
        or extends, put it in ``pool`` and return it."""
        cls._local_sql_constraints = cls.__dict__.get('_sql_constraints', [])

        # all models except 'base' implicitly inherit from 'base'
        name = cls._name
        parents = list(cls._inherit)
        if name != 'base':
            parents.append('base')

        if name in parents:
            if name not in pool:
                raise TypeError("Model %r does not exist in registry." % name)
            ModelClass = pool[name]
            ModelClass._build_model_check_base(cls)
            check_parent = ModelClass._build_model_check_parent
        else:
            ModelClass = type(name, (cls,), {
                '_name': name,
                '_register': False,
                '_original_module': cls._module,
                '_inherit_module': {},              # parent model -> module introducing it
                '_inherit_children': OrderedSet(),  # names of models inheriting this one
                '_inherits_children': set(),
                '_fields': {},
            })
            check_parent = cls._build_model_check_parent

        # the classes the model inherits from, the newest first
        bases = LastOrderedSet([cls])
        for parent in parents:
            if parent not in pool:
                raise TypeError("Model %r inherits from non-existing model %r." % (name, parent))
            parent_class = pool[parent]
            if parent == name:
                for base in parent_class.__base_classes:
                    bases.add(base)
            else:
                check_parent(cls, parent_class)
                bases.add(parent_class)
                ModelClass._inherit_module[parent] = cls._module
                parent_class._inherit_children.add(name)

        # assigned to __bases__ in _prepare_setup()
        ModelClass.__base_classes = tuple(bases)
        ModelClass._build_model_attributes(pool)

        ModelClass.pool = pool
        pool[name] = ModelClass
        return ModelClass

    @classmethod
    def _build_model_check_base(model_class, cls):
        """Check whether ``model_class`` can be extended with ``cls``."""
        if model_class._abstract and not cls._abstract:
            raise TypeError("%s transforms the abstract model %r into a non-abstract model. "
                            "That invalidates all the existing views and data (if any)."
                            % (cls, model_class._name))
        if model_class._transient != cls._transient:
            if model_class._transient:
                msg = ("%s transforms the transient model %r into a non-transient model. "
                       "That invalidates all the existing views and data (if any).")
            else:
                msg = ("%s transforms the model %r into a transient model. "
                       "That invalidates all the existing views and data (if any).")
            raise TypeError(msg % (cls, model_class._name))

    @classmethod
    def _build_model_check_parent(model_class, cls, parent_class):
        """Check whether ``model_class`` can inherit from ``parent_class``."""
        if model_class._abstract and not parent_class._abstract:
            raise TypeError("In %s, the abstract model %r cannot inherit from the non-abstract model %r."
                            % (cls, model_class._name, parent_class._name))

    @classmethod
    def _build_model_attributes(cls, pool):
        """Determine the attributes that the registry class takes from its
        definition classes."""
        cls._description = cls._name
        cls._table = cls._name.replace('.', '_')
        cls._log_access = cls._auto
        inherits = {}
        depends = {}
        constraints = {}

        for base in reversed(cls.__base_classes):
            if is_definition_class(base):
                cls._description = base._description or cls._description
                cls._table = base._table or cls._table
                cls._log_access = getattr(base, '_log_access', cls._log_access)
            inherits.update(base._inherits)
            for mname, fnames in base._depends.items():
                depends.setdefault(mname, []).extend(fnames)
            for cons in base._sql_constraints:
                constraints[cons[0]] = cons

        cls._sql_constraints = list(constraints.values())
        if inherits:
            cls._inherits = inherits
        if depends:
            cls._depends = depends

        for parent_name in cls._inherits:
            pool[parent_name]._inherits_children.add(cls._name)

        # recompute attributes of _inherit_children models
        for child_name in cls._inherit_children:
            pool[child_name]._build_model_attributes(pool)

    # ------------------------------------------------------------------------
    # setting up the models of a registry
    # ------------------------------------------------------------------------

    @api.model
    def _prepare_setup(self):
        """Prepare the setup of the model: its classes take their place."""
        cls = type(self)
        cls._setup_done = False
        if cls.__bases__ != cls.__base_classes:
            cls.__bases__ = cls.__base_classes
        for attr in ('_rec_name', '_active_name', '_methods_by_marker'):
            discardattr(cls, attr)

    @api.model
    def _setup_base(self):
        """Determine the fields of the model from its definition classes."""
        cls = type(self)
        if cls._setup_done:
            return

        cls._model_classes = tuple(c for c in cls.mro() if getattr(c, 'pool', None) is None)

        for name in cls._fields:
            discardattr(cls, name)
        cls._fields = {}

        definitions = defaultdict(list)
        for klass in reversed(cls._model_classes):
            if isinstance(klass, MetaModel):
                for field in klass._field_definitions:
                    definitions[field.name].append(field)
        for name, defs in definitions.items():
            self._add_field(name, type(defs[-1]).from_definitions(defs))

        cls._setup_done = True

        if cls._rec_name:
            assert cls._rec_name in cls._fields, \
                "Invalid _rec_name=%r for model %r" % (cls._rec_name, cls._name)
        elif 'name' in cls._fields:
            cls._rec_name = 'name'
        elif cls._custom and 'x_name' in cls._fields:
            cls._rec_name = 'x_name'

        if cls._active_name:
            assert cls._active_name in cls._fields
        elif 'active' in cls._fields:
            cls._active_name = 'active'
        elif 'x_active' in cls._fields:
            cls._active_name = 'x_active'

    @api.model
    def _setup_fields(self):
        """Complete the setup of the fields (related fields, comodels)."""
        for field in self._fields.values():
            field.setup(self)

    @api.model
    def _setup_complete(self):
        pass

    @api.model
    def _add_field(self, name, field):
        cls = type(self)
        setattr(cls, name, field)
        field.name = name
        field.model_name = cls._name
        if not field.string:
            field.string = name.replace('_', ' ').title()
        cls._fields[name] = field

    @api.model
    def _pop_field(self, name):
        cls = type(self)
        field = cls._fields.pop(name, None)
        discardattr(cls, name)
        return field

    def _register_hook(self):
        """Called once the registry is loaded."""

    def _unregister_hook(self):
        """Called before the registry's models are set up again."""

    # ------------------------------------------------------------------------
    # database schema
    # ------------------------------------------------------------------------

    def _auto_init(self):
        """Create or complete the model's table, columns, relation tables,
        indexes and SQL constraints."""
        if not self._auto:
            return
        cr = self._cr
        stored = [f for f in self._fields.values() if f.store and f.column_type and f.name != 'id']
        columns_to_compute = []

        if not sql.table_exists(cr, self._table):
            columns = []
            for field in stored:
                sqltype = field.column_type[1]
                if field.required and not field.compute and not field.related and field.type != 'boolean':
                    sqltype += ' NOT NULL'
                columns.append((field.name, sqltype))
            checks = [(self._table + '_' + key, m.group(1))
                      for key, definition, _msg in self._sql_constraints
                      for m in [re.match(r'^\s*check\s*\((.*)\)\s*$', definition, re.I | re.S)] if m]
            defs = ['"id" INTEGER PRIMARY KEY AUTOINCREMENT']
            defs += ['"%s" %s' % (name, sqltype) for name, sqltype in columns]
            defs += ['CONSTRAINT "%s" CHECK (%s)' % (conname, check) for conname, check in checks]
            cr.execute('CREATE TABLE "%s" (%s)' % (self._table, ', '.join(defs)))
            new_fields = stored
        else:
            existing = sql.table_columns(cr, self._table)
            new_fields = []
            for field in stored:
                if field.name not in existing:
                    sql.create_column(cr, self._table, field.name, field.column_type[1])
                    new_fields.append(field)
                    if field.compute or field.related:
                        columns_to_compute.append(field)
                    elif field.default is not None:
                        self._init_column(field)

        for field in self._fields.values():
            if field.type == 'many2many' and field.store and not field.compute and not field.related:
                sql.create_m2m_table(cr, field.relation, field.column1, field.column2)

        for field in stored:
            if field.index:
                sql.create_index(cr, '%s__%s_index' % (self._table, field.name), self._table,
                                 ['"%s"' % field.name])

        for key, definition, _message in self._sql_constraints:
            match = re.match(r'^\s*unique\s*\((.*)\)\s*$', definition, re.I | re.S)
            if match:
                cols = ['"%s"' % c.strip().strip('"') for c in match.group(1).split(',')]
                sql.create_index(cr, '%s_%s' % (self._table, key), self._table, cols, unique=True)

        if columns_to_compute:
            # existing records get the new computed columns computed, unless
            # something takes the marks off before the models are initialised
            cr.execute('SELECT id FROM "%s" ORDER BY id' % self._table)
            records = self.browse([row[0] for row in cr.fetchall()])
            if records:
                for field in columns_to_compute:
                    self.env.add_to_compute(field, records)
                self.pool.post_init(self._compute_new_columns, [f.name for f in columns_to_compute])

    def _init_column(self, field):
        value = field.default(self) if callable(field.default) else field.default
        value = field.convert_to_column(field.convert_to_cache(value, self))
        if value is not None:
            self._cr.execute('UPDATE "%s" SET "%s" = %%s WHERE "%s" IS NULL'
                             % (self._table, field.name, field.name), (value,))

    def _compute_new_columns(self, fnames):
        done = set()
        for fname in fnames:
            field = self._fields.get(fname)
            if field is None or field in done:
                continue
            group = list(self.pool.field_computed.get(field, [field]))
            done.update(group)
            records = self.env.records_to_compute(field).sudo().with_context(active_test=False)
            for member in group:
                self.env.remove_to_compute(member, records)
            records = records.exists()
            if records:
                records._recompute_stored(group)

    def init(self):
        """Hook called after the model's table is created or updated."""

    # ------------------------------------------------------------------------
    # record sets
    # ------------------------------------------------------------------------

    @property
    def ids(self):
        return list(self._ids)

    @property
    def _cr(self):
        return self.env.cr

    @property
    def _uid(self):
        return self.env.uid

    @property
    def _context(self):
        return self.env.context

    def browse(self, ids=None):
        if not ids:
            ids = ()
        elif isinstance(ids, int):
            ids = (ids,)
        else:
            ids = tuple(ids)
        return self.__class__(self.env, ids, ids)

    def new(self, values=None):
        """A new record with ``values`` that has no row in the database: its
        id is false, reading a field gives the value given or assigned, or
        computes it; the form view's onchange methods work on such records."""
        record = self.browse((fields.NewId(),))
        for fname, value in (values or {}).items():
            field = self._fields.get(fname)
            if field is None:
                raise ValueError("Invalid field %r on model %r" % (fname, self._name))
            record.env.transaction.new_values[(field, record._ids[0])] = field.convert_to_cache(value, record)
        return record

    @property
    def _origin(self):
        """The records of ``self`` that exist in the database: a new record
        made by ``new`` has no origin on the stand-in."""
        return self.browse([id_ for id_ in self._ids if not isinstance(id_, fields.NewId)])

    def with_env(self, env):
        return self.__class__(env, self._ids, self._prefetch_ids)

    def with_context(self, *args, **kwargs):
        """One positional mapping replaces the context; keywords add to it."""
        context = dict(args[0] if args else self._context, **kwargs)
        return self.with_env(self.env(context=context))

    def with_user(self, user):
        if not user:
            return self
        return self.with_env(self.env(user=user, su=False))

    def sudo(self, flag=True):
        return self.with_env(self.env(su=flag))

    def ensure_one(self):
        if len(self._ids) == 1:
            return self
        raise ValueError("Expected singleton: %s" % self)

    def exists(self):
        """The records of ``self`` that exist in the database."""
        ids = [id_ for id_ in self._ids if id_]
        if not ids or not self._auto:
            return self.browse()
        self._cr.execute('SELECT id FROM "%s" WHERE id IN %%s' % self._table, (tuple(ids),))
        found = {row[0] for row in self._cr.fetchall()}
        return self.browse([id_ for id_ in self._ids if id_ in found])

    def __bool__(self):
        return bool(self._ids)

    def __len__(self):
        return len(self._ids)

    def __iter__(self):
        for id_ in self._ids:
            yield self.__class__(self.env, (id_,), self._prefetch_ids)

    def __reversed__(self):
        for id_ in reversed(self._ids):
            yield self.__class__(self.env, (id_,), self._prefetch_ids)

    def __contains__(self, item):
        if isinstance(item, BaseModel) and self._name == item._name:
            return len(item) == 1 and item.id in self._ids
        if isinstance(item, str):
            return item in self._fields
        if isinstance(item, BaseModel):
            raise TypeError(f"cannot compare different models: '{self._name}()' and '{item._name}()'")
        raise TypeError(f"unsupported operand type(s) for \"in\": '{self._name}()' and '{type(item)}'")

    def _check_same_model(self, other, op):
        if not isinstance(other, BaseModel) or self._name != other._name:
            raise TypeError(f"inconsistent models in: {self} {op} {other}")

    def __add__(self, other):
        return self.concat(other)

    def concat(self, *args):
        ids = list(self._ids)
        for arg in args:
            self._check_same_model(arg, '+')
            ids.extend(arg._ids)
        return self.browse(ids)

    def __sub__(self, other):
        self._check_same_model(other, '-')
        other_ids = set(other._ids)
        return self.browse([id_ for id_ in self._ids if id_ not in other_ids])

    def __and__(self, other):
        self._check_same_model(other, '&')
        other_ids = set(other._ids)
        return self.browse(list(unique(id_ for id_ in self._ids if id_ in other_ids)))

    def __or__(self, other):
        return self.union(other)

    def union(self, *args):
        ids = list(self._ids)
        for arg in args:
            self._check_same_model(arg, '|')
            ids.extend(arg._ids)
        return self.browse(list(unique(ids)))

    def __eq__(self, other):
        if not isinstance(other, BaseModel):
            return NotImplemented
        return self._name == other._name and set(self._ids) == set(other._ids)

    def __hash__(self):
        return hash((self._name, frozenset(self._ids)))

    def __repr__(self):
        return f"{self._name}{self._ids!r}"

    def __getitem__(self, key):
        if isinstance(key, str):
            return self._fields[key].__get__(self, type(self))
        if isinstance(key, slice):
            return self.browse(self._ids[key])
        return self.browse((self._ids[key],))

    def __setitem__(self, key, value):
        return self._fields[key].__set__(self, value)

    def mapped(self, func):
        """The values of a field path (records for relational fields, a list
        otherwise) or of a function, over the records."""
        if not func:
            return self
        if isinstance(func, str):
            recs = self
            for name in func.split('.'):
                recs = recs._mapped_func(operator.itemgetter(name))
            return recs
        return self._mapped_func(func)

    def _mapped_func(self, func):
        if self:
            vals = [func(rec) for rec in self]
            if isinstance(vals[0], BaseModel):
                return vals[0].union(*vals)
            return vals
        vals = func(self)
        return vals if isinstance(vals, BaseModel) else []

    def filtered(self, func):
        if isinstance(func, str):
            name = func
            func = lambda rec: any(rec.mapped(name))  # noqa: E731
        return self.browse([rec.id for rec in self if func(rec)])

    def filtered_domain(self, domain):
        if not self:
            return self
        ids = set(self.with_context(active_test=False)._search(
            expression.AND([domain, [('id', 'in', list(self._ids))]])))
        return self.browse([id_ for id_ in self._ids if id_ in ids])

    def sorted(self, key=None, reverse=False):
        """Sort by ``key`` (a function or an order spec), by ``_order`` without key."""
        if key is None or isinstance(key, str):
            order = key or self._order
            ids = self.sudo().with_context(active_test=False)._search([('id', 'in', list(self._ids))], order=order)
            ids = list(ids)
            if reverse:
                ids.reverse()
            return self.browse(ids)
        return self.browse([rec.id for rec in sorted(self, key=key, reverse=reverse)])

    def update(self, values):
        """Assign ``values`` (field name to value) on every record."""
        for record in self:
            for name, value in values.items():
                record[name] = value

    def grouped(self, key):
        groups = {}
        for rec in self:
            value = rec[key] if isinstance(key, str) else key(rec)
            groups[value] = groups.get(value, self.browse()) + rec
        return groups

    # ------------------------------------------------------------------------
    # cache management: values are always read from the database
    # ------------------------------------------------------------------------

    def flush_model(self, fnames=None):
        pass

    def flush_recordset(self, fnames=None):
        pass

    def invalidate_model(self, fnames=None, flush=True):
        pass

    def invalidate_recordset(self, fnames=None, flush=True):
        pass

    def clear_caches(self):
        """Deprecated: clear the registry's default method cache."""
        self.env.registry.clear_cache()

    # ------------------------------------------------------------------------
    # access rights
    # ------------------------------------------------------------------------

    def check_access_rights(self, operation, raise_exception=True):
        """Whether the user may perform ``operation`` ('read', 'write',
        'create', 'unlink') on the model; refuse with AccessError otherwise."""
        if self.env.su or 'ir.model.access' not in self.pool:
            return True
        return self.env['ir.model.access'].check(self._name, operation, raise_exception)

    def check_access_rule(self, operation):
        pass

    def user_has_groups(self, groups):
        """Whether the user is in one of the comma-separated groups and in
        none of those preceded by "!" (True for the superuser mode)."""
        if self.env.su:
            return True
        user = self.env['res.users'].browse(self.env.uid)
        names = [name.strip() for name in groups.split(',')]
        if any(user.has_group(name[1:]) for name in names if name.startswith('!')):
            return False
        wanted = [name for name in names if not name.startswith('!')]
        return not wanted or any(user.has_group(name) for name in wanted)

    # ------------------------------------------------------------------------
    # search
    # ------------------------------------------------------------------------

    @api.model
    def search(self, domain, offset=0, limit=None, order=None):
        """The records matching ``domain``."""
        return self.browse(self._search(domain, offset=offset, limit=limit, order=order))

    @api.model
    def search_count(self, domain, limit=None):
        return len(self._search(domain, limit=limit))

    @api.model
    def search_fetch(self, domain, field_names, offset=0, limit=None, order=None):
        return self.search(domain, offset=offset, limit=limit, order=order)

    @api.model
    def search_read(self, domain=None, fields=None, offset=0, limit=None, order=None):
        return self.search(domain or [], offset=offset, limit=limit, order=order).read(fields)

    @api.model
    def _search(self, domain, offset=0, limit=None, order=None):
        """The records matching ``domain``, as a Query: the SQL of the
        search, run once its ids are wanted, in the given order or (unlike
        Odoo, where no order means none) the model's own."""
        self.check_access_rights('read')
        if not self._auto:
            raise UserError("Model %s has no table and cannot be searched." % self._name)
        query = expression.Query(self, domain)
        order_sql = self._order_to_sql(order or self._order, query)
        return Query(self._cr, self._table, SQL(query.where, *query.params), order_sql,
                     limit, offset)

    def _check_qorder(self, word):
        if not all(_ORDER_ITEM.match(part) for part in word.split(',')):
            raise ValueError("Invalid order %r for model %r" % (word, self._name))
        return True

    def _order_to_sql(self, order, query, alias=None, reverse=False):
        """The ORDER BY clause of ``order`` (without the keywords), an SQL
        object, as Odoo 17 makes it: each term by ``_order_field_to_sql``.
        PostgreSQL sorts NULL after every value; SQLite before: the
        direction's NULLS clause is made explicit when the order gives none."""
        order = order or self._order
        if not order:
            return SQL()
        self._check_qorder(order)
        alias = alias or self._table
        terms = []
        for part in order.split(','):
            fname, direction, nulls = _ORDER_ITEM.match(part).groups()
            direction = (direction or 'asc').upper()
            nulls = nulls.upper() if nulls else None
            if reverse:
                direction = 'ASC' if direction == 'DESC' else 'DESC'
                nulls = {'FIRST': 'LAST', 'LAST': 'FIRST'}.get(nulls)
            nulls = 'NULLS ' + (nulls or ('LAST' if direction == 'ASC' else 'FIRST'))
            term = self._order_field_to_sql(alias, fname, SQL(direction), SQL(nulls), query)
            if term:
                terms.append(term)
        return SQL(', ').join(terms)

    def _order_field_to_sql(self, alias, field_name, direction, nulls, query):
        """The ORDER BY term of one field, an SQL object; None (with a
        warning, as Odoo) for a field without a column."""
        field = self._fields.get(field_name)
        if field is None:
            raise ValueError("Invalid field %r on model %r" % (field_name, self._name))
        if not (field.store and field.column_type):
            _logger.warning("Model %r cannot be sorted on field %r (not a column)", self._name, field_name)
            return None
        sql_field = self._field_to_sql(alias, field_name, query)
        if field.type == 'boolean':
            sql_field = SQL("COALESCE(%s, FALSE)", sql_field)
        return SQL("%s %s %s", sql_field, direction, nulls)

    def _field_to_sql(self, alias, fname, query=None):
        """The SQL of a stored field's column in the table ``alias``."""
        return SQL.identifier(alias, fname)

    # ------------------------------------------------------------------------
    # names
    # ------------------------------------------------------------------------

    @api.depends(lambda self: (self._rec_name,) if self._rec_name else ())
    def _compute_display_name(self):
        if self._rec_name:
            convert = self._fields[self._rec_name].convert_to_display_name
            for record in self:
                record.display_name = convert(record[self._rec_name], record)
        else:
            for record in self:
                record.display_name = f"{record._name},{record.id}"

    @api.model
    def _search_display_name(self, operator, value):
        search_fnames = self._rec_names_search or ([self._rec_name] if self._rec_name else [])
        if not search_fnames:
            return expression.TRUE_DOMAIN
        if operator.endswith('like') and not value and '=' not in operator:
            return (expression.FALSE_DOMAIN if operator in expression.NEGATIVE_TERM_OPERATORS
                    else expression.TRUE_DOMAIN)
        aggregator = expression.AND if operator in expression.NEGATIVE_TERM_OPERATORS else expression.OR
        return aggregator([[(fname, operator, value)] for fname in search_fnames])

    @api.model
    def name_search(self, name='', args=None, operator='ilike', limit=100, *, domain=None):
        """Pairs (id, display name) of the records whose ``_rec_names_search``
        fields (or ``_rec_name`` when that is empty) match ``name``.
        (Odoo 17 calls the domain ``args``; ``domain=`` is accepted too.)"""
        ids = self._name_search(name, args if args is not None else domain, operator, limit=limit,
                                order=self._order)
        records = self.browse(ids)
        return [(record.id, record.display_name) for record in records.sudo()]

    @api.model
    def _name_search(self, name, domain=None, operator='ilike', limit=None, order=None):
        domain = list(domain or ())
        search_fnames = self._rec_names_search or ([self._rec_name] if self._rec_name else [])
        if not search_fnames:
            _logger.warning("Cannot execute name_search, no _rec_name or _rec_names_search defined on %s",
                            self._name)
        elif not (name == '' and operator in ('like', 'ilike')):
            aggregator = expression.AND if operator in expression.NEGATIVE_TERM_OPERATORS else expression.OR
            domain += aggregator([[(fname, operator, name)] for fname in search_fnames])
        return self._search(domain, limit=limit, order=order)

    @api.model
    def _rec_name_fallback(self):
        return self._rec_name or 'id'

    # ------------------------------------------------------------------------
    # read
    # ------------------------------------------------------------------------

    def read(self, fields=None, load='_classic_read'):
        self.check_access_rights('read')
        fnames = fields or [name for name, field in self._fields.items()]
        for fname in fnames:
            if fname not in self._fields:
                raise ValueError("Invalid field %r on model %r" % (fname, self._name))
        result = []
        for record in self:
            values = {'id': record.id}
            for fname in fnames:
                field = self._fields[fname]
                values[fname] = field.convert_to_read(record[fname], record)
            result.append(values)
        return result

    @api.model
    def fields_get(self, allfields=None, attributes=None):
        result = {}
        for fname, field in self._fields.items():
            if allfields and fname not in allfields:
                continue
            desc = field.get_description(self.env)
            desc['name'] = fname
            if attributes:
                desc = {key: val for key, val in desc.items() if key in attributes}
            result[fname] = desc
        return result

    @api.model
    def default_get(self, fields_list):
        defaults = {}
        for fname in fields_list:
            key = 'default_' + fname
            if key in self._context:
                defaults[fname] = self._context[key]
                continue
            field = self._fields.get(fname)
            if field is not None and field.default is not None:
                defaults[fname] = field.default(self) if callable(field.default) else field.default
        return defaults

    def _add_missing_default_values(self, values):
        missing = [fname for fname, field in self._fields.items()
                   if fname not in values and not field.compute and not field.related
                   and fname not in MAGIC_COLUMNS]
        defaults = self.default_get(missing)
        for fname, value in defaults.items():
            field = self._fields[fname]
            if field.type == 'many2many' and value and isinstance(value, (list, tuple)) \
                    and all(isinstance(v, int) for v in value):
                defaults[fname] = [fields.Command.set(value)]
        return dict(defaults, **values)

    # ------------------------------------------------------------------------
    # create, write, unlink
    # ------------------------------------------------------------------------

    def _check_field_names(self, vals):
        for fname in vals:
            if fname not in self._fields:
                raise ValueError("Invalid field %r on model %r" % (fname, self._name))

    @api.model_create_multi
    def create(self, vals_list):
        """Create records from a list of value mappings; returns them."""
        if not vals_list:
            return self.browse()
        self = self.browse()
        self.check_access_rights('create')
        if not self._auto:
            raise UserError("Model %s has no table: records cannot be created." % self._name)
        vals_list = [self._add_missing_default_values(vals) for vals in vals_list]
        for vals in vals_list:
            self._check_field_names(vals)

        cr = self._cr
        with self._sql_errors(), cr.savepoint():
            ids = []
            for vals in vals_list:
                columns, params = [], []
                for fname, value in vals.items():
                    field = self._fields[fname]
                    if field.store and field.column_type and fname != 'id':
                        columns.append('"%s"' % fname)
                        params.append(field.convert_to_column(field.convert_to_cache(value, self)))
                if columns:
                    cr.execute('INSERT INTO "%s" (%s) VALUES (%s) RETURNING id' % (
                        self._table, ', '.join(columns), ', '.join(['%s'] * len(columns))), params)
                else:
                    cr.execute('INSERT INTO "%s" DEFAULT VALUES RETURNING id' % self._table)
                ids.append(cr.fetchone()[0])
            records = self.browse(ids)

            for record, vals in zip(records, vals_list):
                for fname, value in vals.items():
                    field = self._fields[fname]
                    if field.type in ('one2many', 'many2many') and field.store \
                            and not field.compute and not field.related:
                        field.write_commands(record, value)
                record._apply_inverses(vals)

            records._compute_on_create(vals_list)
            written = set().union(*vals_list)
            records._recompute_dependents(written, skip_direct=True)
            records._validate_fields(written | {f.name for f in self._fields.values() if f.compute})
        return records

    def write(self, vals):
        """Write ``vals`` on every record of ``self``."""
        if not self:
            return True
        self.check_access_rights('write')
        self._check_field_names(vals)
        cr = self._cr
        columns, params, relational, changed = [], [], [], []
        for fname, value in vals.items():
            field = self._fields[fname]
            if fname == 'id':
                continue
            if field.store and field.column_type:
                columns.append('"%s" = %%s' % fname)
                params.append(field.convert_to_column(field.convert_to_cache(value, self)))
                changed.append(fname)
            elif field.type in ('one2many', 'many2many') and field.store and not field.compute:
                relational.append((field, value))
                changed.append(fname)

        with self._sql_errors(), cr.savepoint():
            if columns:
                ids = tuple(unique(self._ids))
                cr.execute('UPDATE "%s" SET %s WHERE id IN %%s' % (self._table, ', '.join(columns)),
                           params + [ids])
                if cr.rowcount != len(ids):
                    raise MissingError("Record does not exist or has been deleted.\n(Records: %s, User: %s)"
                                       % (self - self.exists(), self._uid))
            for field, value in relational:
                field.write_commands(self, value)
            self._apply_inverses(vals)
            self._recompute_dependents(changed)
            self._validate_fields(set(vals))
        return True

    def unlink(self):
        """Delete the records, after running the ``api.ondelete`` methods."""
        if not self:
            return True
        self.check_access_rights('unlink')
        from odoo.addons.base.models.ir_model import MODULE_UNINSTALL_FLAG
        for func in self._ondelete_methods():
            if func._ondelete or not self._context.get(MODULE_UNINSTALL_FLAG):
                func(self)

        # records of other models whose stored computed fields follow these ones
        todo = self._dependents(list(self._fields), skip_direct=True)
        ids = tuple(unique(self._ids))
        set_null = _delete_rows(self.pool, self._cr, self._name, ids)
        if self._name != 'ir.model.data' and 'ir.model.data' in self.pool:
            data = self.env['ir.model.data'].sudo().with_context({}).search(
                [('model', '=', self._name), ('res_id', 'in', list(ids))])
            if data:
                data.unlink()
        for model_name, fname, ref_ids in set_null:
            self.env[model_name].sudo().browse(ref_ids)._recompute_dependents([fname])
        self._recompute(todo)
        return True

    def _ondelete_methods(self):
        return self._marked_methods('_ondelete')

    def _constraint_methods(self):
        return self._marked_methods('_constrains')

    def _marked_methods(self, marker):
        """The model's methods that carry ``marker``, looked up once per set-up
        of the registry class (every write and deletion asks for them)."""
        cls = type(self)
        found = cls.__dict__.get('_methods_by_marker')
        if found is None:
            found = cls._methods_by_marker = {}
        if marker not in found:
            found[marker] = [method for _name, method in
                             getmembers(cls, lambda f: callable(f) and hasattr(f, marker))]
        return found[marker]

    def _validate_fields(self, field_names):
        for check in self._constraint_methods():
            names = check._constrains(self) if callable(check._constrains) else check._constrains
            if field_names.intersection(names):
                check(self)

    @contextmanager
    def _sql_errors(self):
        """Report violated database constraints as Odoo's RPC layer does."""
        try:
            yield
        except sqlite3.IntegrityError as exc:
            raise ValidationError(self._integrity_message(exc)) from exc

    def _integrity_message(self, exc):
        text = str(exc)
        match = re.match(r'UNIQUE constraint failed: (.*)$', text)
        if match:
            cols = [item.strip().split('.') for item in match.group(1).split(',')]
            table, columns = cols[0][0], {c[-1] for c in cols}
            for model in self.pool.models.values():
                if model._table != table:
                    continue
                for _key, definition, message in model._sql_constraints:
                    m = re.match(r'^\s*unique\s*\((.*)\)\s*$', definition, re.I | re.S)
                    if m and {c.strip().strip('"') for c in m.group(1).split(',')} == columns:
                        return "The operation cannot be completed: %s" % message
        match = re.match(r'CHECK constraint failed: (.*)$', text)
        if match:
            for model in self.pool.models.values():
                for key, _definition, message in model._sql_constraints:
                    if '%s_%s' % (model._table, key) == match.group(1).strip():
                        return "The operation cannot be completed: %s" % message
        match = re.match(r'NOT NULL constraint failed: (\w+)\.(\w+)$', text)
        if match:
            table, column = match.groups()
            model = next((m for m in self.pool.models.values() if m._table == table), None)
            description, name = (model._description, model._name) if model is not None else (table, table)
            field = model._fields.get(column) if model is not None else None
            return ("The operation cannot be completed:\n"
                    "- Create/update: a mandatory field is not set.\n"
                    "- Delete: another model requires the record being deleted. If possible, archive it instead.\n\n"
                    "Model: %s (%s)\nField: %s (%s)\n" % (description, name, field.string if field else column, column))
        return "The operation cannot be completed: %s" % text

    # ------------------------------------------------------------------------
    # computed fields
    # ------------------------------------------------------------------------

    def _compute_field_value(self, field):
        """Run the computation of ``field`` on ``self`` (assignments are the
        ORM's, the caller protects the fields)."""
        if field.related:
            path = field.related.split('.')
            for record in self:
                value = record
                for name in path[:-1]:
                    value = value[name][:1]
                record[field.name] = value[path[-1]] if value else field.null(record)
        elif callable(field.compute):
            field.compute(self)
        else:
            getattr(self, field.compute)()

    def _recompute_stored(self, group, skip=(), skip_direct=False):
        """Compute the stored fields of ``group`` (fields sharing one compute
        method) on ``self`` and store the values, without calling ``write``."""
        field = group[0]
        records = self.sudo() if field.compute_sudo else self
        records = records.with_context(active_test=False)
        with records.env.protecting(group, records):
            records._compute_field_value(field)
            changed = self._store_computed(group, skip)
        if changed:
            self._recompute_dependents(changed, skip_direct=skip_direct, exclude=set(group))

    def _store_computed(self, group, skip=()):
        """Write to the database the values of the fields of ``group`` that
        were assigned on ``self`` while protected, as Odoo flushes what its
        cache holds; pairs (field name, id) in ``skip`` are dropped.  Returns
        the names of the fields written."""
        transaction = self.env.transaction
        cr = self._cr
        changed = OrderedSet()
        for id_ in self._ids:
            columns, params = [], []
            for f in group:
                key = (f, id_)
                if key not in transaction.computed:
                    continue
                value = transaction.computed.pop(key)
                if (f.name, id_) in skip:
                    continue
                changed.add(f.name)
                if f.column_type:
                    columns.append('"%s" = %%s' % f.name)
                    params.append(f.convert_to_column(value))
                elif f.type == 'many2many':
                    f.write_commands(self.browse(id_), [fields.Command.set(list(value))])
            if columns:
                cr.execute('UPDATE "%s" SET %s WHERE id = %%s' % (self._table, ', '.join(columns)),
                           params + [id_])
        return changed

    def _compute_on_create(self, vals_list):
        """Compute the stored computed fields that the values did not give."""
        groups = list(unique(tuple(self.pool.field_computed.get(f, [f]))
                             for f in self._fields.values() if f.store and (f.compute or f.related)))
        for group in self._compute_order(groups):
            names = {f.name for f in group}
            todo = [rec.id for rec, vals in zip(self, vals_list) if not names <= set(vals)]
            if todo:
                skip = {(fname, rec.id) for rec, vals in zip(self, vals_list) for fname in names & set(vals)}
                self.browse(todo)._recompute_stored(list(group), skip=skip, skip_direct=True)

    def _compute_order(self, groups):
        """Order groups of computed fields so that a group comes after the
        groups of the same model that it depends on."""
        depends = self.pool.field_depends
        remaining = list(groups)
        ordered = []
        while remaining:
            for group in remaining:
                needs = {path.split('.')[0] for f in group for path in depends.get(f, ())}
                if not any(needs & {f.name for f in other} for other in remaining if other is not group):
                    break
            else:
                group = remaining[0]
            remaining.remove(group)
            ordered.append(group)
        return ordered

    def _dependents(self, fnames, skip_direct=False, exclude=()):
        """The stored computed fields (grouped by compute method) and records
        to recompute when ``fnames`` change on ``self``."""
        todo = {}
        if not self._ids:
            return todo
        triggers = self.pool.field_triggers
        for fname in fnames:
            for field, path in triggers.get((self._name, fname), ()):
                # an excluded field is still recomputed on other records (a
                # recursive one, such as a path of its parents' names)
                if field in exclude and not path:
                    continue
                if not path:
                    if skip_direct:
                        continue
                    ids = list(self._ids)
                else:
                    model = self.pool[field.model_name](self.env, (), ()).sudo().with_context(active_test=False)
                    ids = model._search([('.'.join(path), 'in', list(self._ids))])
                if ids:
                    group = tuple(self.pool.field_computed.get(field, [field]))
                    todo.setdefault(group, OrderedSet()).update(ids)
        return todo

    def _recompute(self, todo):
        for group, ids in todo.items():
            model = self.pool[group[0].model_name](self.env, (), ())
            records = model.browse(list(ids)).exists()
            if records:
                records._recompute_stored(list(group))

    def _recompute_dependents(self, fnames, skip_direct=False, exclude=()):
        self._recompute(self._dependents(fnames, skip_direct=skip_direct, exclude=exclude))

    def modified(self, fnames, create=False, before=False):
        """Recompute the stored fields that depend on ``fnames`` of ``self``."""
        if not before:
            self._recompute_dependents(fnames, skip_direct=create)

    def _apply_inverses(self, vals):
        """Run the inverse methods of the non-stored fields written in ``vals``."""
        transaction = self.env.transaction
        for fname, value in vals.items():
            field = self._fields[fname]
            if not field.inverse or field.store:
                continue
            with self.env.protecting([field], self):
                for record in self:
                    transaction.computed[(field, record.id)] = field.convert_to_cache(value, record)
                try:
                    getattr(self, field.inverse)()
                finally:
                    for record in self:
                        transaction.computed.pop((field, record.id), None)

    # ------------------------------------------------------------------------
    # data files
    # ------------------------------------------------------------------------

    def _load_records(self, data_list, update=False):
        """Create or update records from data files and give them their XML
        ids; ``data_list`` holds mappings with ``xml_id``, ``values`` and
        ``noupdate``."""
        imd = self.env['ir.model.data'].sudo()
        existing = {'%s.%s' % (row[1], row[2]): row
                    for row in imd._lookup_xmlids([d['xml_id'] for d in data_list if d.get('xml_id')], self)}
        to_create, imd_data_list = [], []
        for data in data_list:
            xml_id = data.get('xml_id')
            row = existing.get(xml_id) if xml_id else None
            if row is None:
                to_create.append(data)
                continue
            d_id, _module, _name, d_model, d_res_id, d_noupdate, r_id = row
            if self._name != d_model:
                raise ValidationError("For external id %s when trying to create/update a record of model %s "
                                      "found record of different model %s (%s)" % (xml_id, self._name, d_model, d_id))
            if r_id:
                data['record'] = self.browse(d_res_id)
                imd_data_list.append(data)
                if not (update and d_noupdate):
                    data['record'].write(data['values'])
            else:
                imd.browse(d_id).unlink()
                to_create.append(data)
        if to_create:
            records = self.create([data['values'] for data in to_create])
            for data, record in zip(to_create, records):
                data['record'] = record
                if data.get('xml_id'):
                    imd_data_list.append(data)
        imd._update_xmlids(imd_data_list, update)
        return self.browse([data['record'].id for data in data_list])


def _delete_rows(registry, cr, model_name, ids):
    """Delete rows of a model's table and do what the foreign keys of the
    model's many2one fields would do: cascade, set null or restrict.
    Returns the (model, field, ids) that were set to null."""
    table = registry[model_name]._table
    references = []
    for model in registry.models.values():
        if not model._auto:
            continue
        for field in model._fields.values():
            if field.type == 'many2one' and field.store and field.column_type \
                    and field.comodel_name == model_name:
                references.append((model, field))
    live = {}

    def usable(model, field):
        key = (model._table, field.name)
        if key not in live:
            live[key] = bool(sql.column_exists(cr, model._table, field.name))
        return live[key]

    for model, field in references:
        if field.ondelete == 'restrict' and usable(model, field):
            cr.execute('SELECT id FROM "%s" WHERE "%s" IN %%s' % (model._table, field.name), (ids,))
            blocking = [row[0] for row in cr.fetchall() if not (model._table == table and row[0] in ids)]
            if blocking:
                raise ValidationError(
                    "The operation cannot be completed: another model requires the record being deleted. "
                    "If possible, archive it instead.\n\nModel: %s (%s)\nConstraint: %s_%s_fkey\n"
                    % (model._description, model._name, model._table, field.name))

    cr.execute('DELETE FROM "%s" WHERE id IN %%s' % table, (ids,))

    relations = set()
    for model in registry.models.values():
        for field in model._fields.values():
            if field.type == 'many2many' and field.store and field.relation and not field.compute:
                if field.model_name == model_name:
                    relations.add((field.relation, field.column1))
                if field.comodel_name == model_name:
                    relations.add((field.relation, field.column2))
    for relation, column in relations:
        if sql.table_exists(cr, relation):
            cr.execute('DELETE FROM "%s" WHERE "%s" IN %%s' % (relation, column), (ids,))

    set_null = []
    for model, field in references:
        if not usable(model, field):
            continue
        cr.execute('SELECT id FROM "%s" WHERE "%s" IN %%s' % (model._table, field.name), (ids,))
        ref_ids = tuple(row[0] for row in cr.fetchall())
        if not ref_ids:
            continue
        if field.ondelete == 'cascade':
            set_null += _delete_rows(registry, cr, model._name, ref_ids)
        else:
            cr.execute('UPDATE "%s" SET "%s" = NULL WHERE id IN %%s' % (model._table, field.name), (ref_ids,))
            set_null.append((model._name, field.name, ref_ids))
    return set_null


class AbstractModel(BaseModel):
    """A model without table, to be inherited by other models."""
    _auto = False
    _register = False
    _abstract = True
    _transient = False


class Model(AbstractModel):
    """A model whose records are stored in a table."""
    _auto = True
    _register = False
    _abstract = False
    _transient = False


class TransientModel(Model):
    """A model for temporary records."""
    _auto = True
    _register = False
    _abstract = False
    _transient = True
    _log_access = True
