"""Field types of the ORM.

Fields are descriptors: reading ``record.field`` reads the database (or runs the
compute method of a non-stored field); assigning ``record.field = value`` is a
``write``, except on records whose field the ORM is computing, where the value
is kept for the ORM to store.
"""
import datetime
import enum

from .exceptions import MissingError

Default = object()              # marks an argument that was not given


class NewId:
    """The id of a new record (made by ``new``), which has no row: it is
    false, as in Odoo, and its values live in the environment's cache of new
    records."""

    __slots__ = ()

    def __bool__(self):
        return False

    def __repr__(self):
        return '<NewId 0x%x>' % id(self)


def is_new(record):
    """Whether the singleton ``record`` is a new record."""
    return isinstance(record._ids[0], NewId)


def _records_class():
    from .models import BaseModel
    return BaseModel


class Field:
    """Base class of fields.  ``string`` may be given as first positional argument."""

    type = None                 # the field's type, as in ir.model.fields.ttype
    # the type of its column as Odoo's fields give it, (the name the database
    # reports, the type to declare), or None when it has none
    column_type = None
    relational = False

    # attributes of every field, overridden by the arguments given
    string = None
    help = None
    default = None
    required = False
    readonly = False
    index = False
    store = True
    copy = True
    compute = None
    compute_sudo = None
    precompute = False          # computed for the INSERT of a new record
    inverse = None
    search = None
    related = None
    inherited = False           # whether it is a field of an _inherits parent
    groups = None
    translate = False
    domain = []
    context = {}
    comodel_name = None
    ondelete = None
    selection = None
    size = None
    digits = None
    automatic = False
    manual = False
    group_operator = None

    name = None
    model_name = None
    _module = None
    _modules = ()

    def __init__(self, string=Default, **kwargs):
        if string is not Default:
            kwargs['string'] = string
        self.args = {key: val for key, val in kwargs.items() if val is not Default}
        self._setup_attrs()

    def _setup_attrs(self):
        for key, val in self.args.items():
            setattr(self, key, val)
        if 'compute' in self.args and callable(self.compute):
            self.compute = self.compute.__name__
        if (self.compute or self.related) and 'store' not in self.args:
            self.store = False
        if (self.compute or self.related) and 'readonly' not in self.args:
            self.readonly = not self.inverse
        if self.compute_sudo is None:
            self.compute_sudo = bool(self.store) if not self.related else True

    def __set_name__(self, owner, name):
        """Called for fields defined in a model class body."""
        self.name = name
        self.model_name = owner._name
        if getattr(owner, 'pool', None) is None:        # a class that defines fields
            self._module = owner._module
            owner._field_definitions.append(self)
        if not self.string:
            base = name[:-4] if name.endswith('_ids') else name[:-3] if name.endswith('_id') else name
            self.string = base.replace('_', ' ').title()

    def __repr__(self):
        return '%s.%s' % (self.model_name, self.name)

    # -- creation of the registry's fields ----------------------------------
    @classmethod
    def from_definitions(cls, definitions):
        """A new field for one registry model, merging the arguments of its
        definitions (the oldest first)."""
        args = {}
        for field in definitions:
            args.update(field.args)
        field = cls.__new__(cls)
        field.args = args
        field._setup_attrs()
        field._modules = tuple(dict.fromkeys(d._module for d in definitions if d._module))
        last = definitions[-1]
        field.string = args.get('string') or last.string
        return field

    def setup(self, model):
        """Complete the field once every field of the registry exists."""
        if self.related:
            self._setup_related(model)

    def _setup_related(self, model):
        target_model, target = model, None
        for name in self.related.split('.'):
            target = target_model._fields.get(name)
            if target is None:
                raise KeyError('Field %s referenced in related field definition %s does not exist.' % (name, self))
            if target.relational:
                target_model = model.env[target.comodel_name]
        self.related_field = target
        for attr in ('comodel_name', 'selection', 'digits'):
            if getattr(self, attr) is None and getattr(target, attr, None) is not None:
                setattr(self, attr, getattr(target, attr))
        if 'string' not in self.args:
            self.string = target.string
        if 'help' not in self.args:
            self.help = target.help

    def get_depends(self, model):
        """The dependencies of a computed or related field, as dotted paths."""
        if self.related:
            return (self.related,)
        if not self.compute:
            return ()
        method = getattr(type(model), self.compute, None)
        depends = getattr(method, '_depends', ())
        if callable(depends):
            depends = depends(model)
        return tuple(depends)

    # -- conversions ----------------------------------------------------------
    # "cache" values are plain Python values: False for nothing, ids for records
    def convert_to_cache(self, value, record):
        return value

    def convert_to_column(self, value):
        """A cache value as a SQL parameter."""
        return None if value is False else value

    def convert_from_column(self, value):
        return False if value is None else value

    def convert_to_record(self, value, record):
        return value

    def convert_to_read(self, value, record):
        return value

    def convert_to_domain(self, value):
        return self.convert_to_column(self.convert_to_cache(value, None))

    def convert_to_display_name(self, value, record):
        return False if value is False else str(value)

    def null(self, record):
        return False

    # -- descriptor -----------------------------------------------------------
    def __get__(self, record, owner=None):
        if record is None:
            return self
        if not record._ids:
            return self.null(record)
        if len(record._ids) > 1:
            raise ValueError("Expected singleton: %s" % record)
        env = record.env
        key = (self, record._ids[0])
        computed = env.transaction.computed
        if key in computed:
            return self.convert_to_record(computed[key], record)
        if is_new(record):
            return self._get_new(record)
        if not env.su and self.name != 'id':
            record.check_access_rights('read')
        if self.store:
            return self.convert_to_record(self._read(record), record)
        if env.is_protected(self, record):
            return self.null(record)        # read while being computed, not assigned yet
        return self.convert_to_record(self.compute_value(record), record)

    def _read(self, record):
        """The cache value of a stored field, read from the database."""
        cr = record.env.cr
        cr.execute('SELECT "%s" FROM "%s" WHERE id = %%s' % (self.name, record._table), (record._ids[0],))
        row = cr.fetchone()
        if row is None:
            raise MissingError("Record does not exist or has been deleted.\n(Record: %s, User: %s)"
                               % (record, record.env.uid))
        return self.convert_from_column(row[0])

    def compute_value(self, record):
        """Compute a non-stored field on one record and return its cache value."""
        records = record.sudo() if self.compute_sudo else record
        fields = records.pool.field_computed.get(self, [self])
        computed = record.env.transaction.computed
        with records.env.protecting(fields, records):
            records._compute_field_value(self)
        try:
            return computed[(self, record._ids[0])]
        except KeyError:
            raise ValueError("Compute method failed to assign %s.%s" % (record, self.name)) from None
        finally:
            for field in fields:
                computed.pop((field, record._ids[0]), None)

    def _get_new(self, record):
        """The value of the field on a new record: the one assigned or given
        to ``new``, else computed (related fields too), else empty."""
        key = (self, record._ids[0])
        new_values = record.env.transaction.new_values
        if key in new_values:
            return self.convert_to_record(new_values[key], record)
        if (self.compute or self.related) and not record.env.is_protected(self, record):
            return self.convert_to_record(self.compute_value(record), record)
        return self.null(record)

    def __set__(self, records, value):
        env = records.env
        protected = env.transaction.protected.get(self, ())
        protected_ids = [id_ for id_ in records._ids if id_ in protected]
        new_ids = [id_ for id_ in records._ids if isinstance(id_, NewId) and id_ not in protected]
        other_ids = [id_ for id_ in records._ids
                     if id_ not in protected and not isinstance(id_, NewId)]
        if protected_ids:
            # the ORM is computing this field: keep the value, write nothing
            for id_ in protected_ids:
                rec = records.browse(id_)
                env.transaction.computed[(self, id_)] = self.convert_to_cache(value, rec)
        for id_ in new_ids:
            # a new record has no row: its values stay in the cache
            env.transaction.new_values[(self, id_)] = self.convert_to_cache(value, records.browse((id_,)))
        if other_ids:
            others = records.browse(other_ids)
            others.write({self.name: self.convert_to_write(value, others)})

    def convert_to_write(self, value, record):
        return value

    # -- description ----------------------------------------------------------
    def get_description(self, env):
        desc = {
            'type': self.type, 'string': self.string, 'help': self.help,
            'required': bool(self.required), 'readonly': bool(self.readonly),
            'store': bool(self.store), 'searchable': bool(self.store or self.search or self.related),
            'sortable': bool(self.store and self.column_type),
        }
        if self.relational:
            desc['relation'] = self.comodel_name
            desc['domain'] = self.domain
        if self.related:
            desc['related'] = self.related
        if self.selection is not None:
            desc['selection'] = self.selection
        return desc


class Id(Field):
    type = 'integer'
    column_type = ('integer', 'INTEGER')
    string = 'ID'
    readonly = True

    def __get__(self, record, owner=None):
        if record is None:
            return self
        if not record._ids:
            return False
        if len(record._ids) > 1:
            raise ValueError("Expected singleton: %s" % record)
        return record._ids[0]

    def __set__(self, record, value):
        raise TypeError("field 'id' cannot be assigned")


class _String(Field):
    def convert_to_cache(self, value, record):
        if value is None or value is False:
            return False
        if isinstance(value, bytes):
            return value.decode('utf-8')
        return str(value)


class Char(_String):
    type = 'char'
    column_type = ('varchar', 'VARCHAR')


class Text(_String):
    type = 'text'
    column_type = ('text', 'TEXT')


class Html(_String):
    type = 'html'
    column_type = ('text', 'TEXT')


class Selection(_String):
    type = 'selection'
    column_type = ('varchar', 'VARCHAR')

    def __init__(self, selection=Default, string=Default, **kwargs):
        if selection is not Default:
            kwargs['selection'] = selection
        super().__init__(string=string, **kwargs)


class Reference(Selection):
    """A reference to a record of any model of its selection, stored as the
    text ``'model,id'``; reading it gives the record (or False)."""
    type = 'reference'

    def convert_to_cache(self, value, record):
        if isinstance(value, _records_class()):
            if len(value) > 1:
                raise ValueError("Wrong value for %s: %r" % (self, value))
            return '%s,%s' % (value._name, value.id) if value else False
        if isinstance(value, str) and value:
            model_name, _sep, res_id = value.partition(',')
            if not (model_name and res_id.strip().isdigit()):
                raise ValueError("Wrong value for %s: %r" % (self, value))
            return '%s,%d' % (model_name, int(res_id))
        return False

    def convert_to_record(self, value, record):
        if not value:
            return False
        model_name, res_id = value.split(',')
        if model_name not in record.env:
            return False
        return record.env[model_name].browse(int(res_id)).exists() or False

    def convert_to_write(self, value, record):
        return self.convert_to_cache(value, record)

    def convert_to_read(self, value, record):
        return '%s,%s' % (value._name, value.id) if value else False

    def convert_to_display_name(self, value, record):
        return value.display_name if value else False


class Boolean(Field):
    type = 'boolean'
    column_type = ('boolean', 'BOOLEAN')

    def convert_to_cache(self, value, record):
        return bool(value)

    def convert_to_column(self, value):
        return 1 if value else 0

    def convert_from_column(self, value):
        return bool(value)


class Integer(Field):
    type = 'integer'
    column_type = ('integer', 'INTEGER')

    def convert_to_cache(self, value, record):
        if isinstance(value, dict):
            value = value.get('res_id', False)
        return int(value or 0)

    def convert_to_column(self, value):
        return int(value or 0)

    def convert_from_column(self, value):
        return value or 0

    def null(self, record):
        return 0

    def convert_to_display_name(self, value, record):
        return str(value)


class Many2oneReference(Integer):
    type = 'many2one_reference'

    def __init__(self, string=Default, model_field=Default, **kwargs):
        super().__init__(string=string, model_field=model_field, **kwargs)


class Float(Field):
    type = 'float'
    column_type = ('numeric', 'NUMERIC')

    def convert_to_cache(self, value, record):
        return float(value or 0.0)

    def convert_to_column(self, value):
        return float(value or 0.0)

    def convert_from_column(self, value):
        return float(value or 0.0)

    def null(self, record):
        return 0.0


class Date(Field):
    type = 'date'
    column_type = ('date', 'DATE')
    _parse = staticmethod(datetime.date.fromisoformat)

    def convert_to_cache(self, value, record):
        if not value:
            return False
        if isinstance(value, str):
            return self._parse(value)
        return value

    def convert_to_column(self, value):
        return value.isoformat() if value else None

    def convert_from_column(self, value):
        return self._parse(value) if value else False

    @staticmethod
    def today(*args):
        return datetime.date.today()


class Datetime(Date):
    type = 'datetime'
    column_type = ('timestamp', 'TIMESTAMP')

    @staticmethod
    def _parse(value):
        return datetime.datetime.fromisoformat(value)

    def convert_to_column(self, value):
        return value.isoformat(sep=' ') if value else None

    @staticmethod
    def now(*args):
        return datetime.datetime.now().replace(microsecond=0)


class _Relational(Field):
    relational = True

    def setup(self, model):
        super().setup(model)
        if self.comodel_name not in model.pool:
            raise KeyError("Field %s with unknown comodel_name %r" % (self, self.comodel_name))

    def null(self, record):
        return record.env[self.comodel_name].browse(())

    def convert_to_record(self, value, record):
        return record.env[self.comodel_name].browse(value or ())


class Many2one(_Relational):
    type = 'many2one'
    column_type = ('integer', 'INTEGER')

    def __init__(self, comodel_name=Default, string=Default, **kwargs):
        if comodel_name is not Default:
            kwargs['comodel_name'] = comodel_name
        super().__init__(string=string, **kwargs)

    def setup(self, model):
        super().setup(model)
        if not self.ondelete:
            comodel = model.env[self.comodel_name]
            if model._transient and not comodel._transient:
                self.ondelete = 'cascade' if self.required else 'set null'
            else:
                self.ondelete = 'restrict' if self.required else 'set null'
        if self.ondelete == 'set null' and self.required:
            raise ValueError("The m2o field %s of model %s is required but declares its ondelete "
                             "policy as being 'set null'." % (self.name, model._name))

    def convert_to_cache(self, value, record):
        if isinstance(value, tuple) and value:
            value = value[0]
        if isinstance(value, _records_class()):
            if len(value) > 1:
                raise ValueError("Wrong value for %s: %r" % (self, value))
            return value.id
        return value or False

    def convert_to_column(self, value):
        return value or None

    def convert_from_column(self, value):
        return value or False

    def convert_to_write(self, value, record):
        return self.convert_to_cache(value, record)

    def convert_to_read(self, value, record):
        return (value.id, value.sudo().display_name) if value else False

    def convert_to_display_name(self, value, record):
        return value.display_name if value else False


class Command(enum.IntEnum):
    """The write commands of x2many fields."""
    CREATE = 0
    UPDATE = 1
    DELETE = 2
    UNLINK = 3
    LINK = 4
    CLEAR = 5
    SET = 6

    @classmethod
    def create(cls, values):
        return (cls.CREATE, 0, values)

    @classmethod
    def update(cls, id, values):
        return (cls.UPDATE, id, values)

    @classmethod
    def delete(cls, id):
        return (cls.DELETE, id, 0)

    @classmethod
    def unlink(cls, id):
        return (cls.UNLINK, id, 0)

    @classmethod
    def link(cls, id):
        return (cls.LINK, id, 0)

    @classmethod
    def clear(cls):
        return (cls.CLEAR, 0, 0)

    @classmethod
    def set(cls, ids):
        return (cls.SET, 0, ids)


class _RelationalMulti(_Relational):
    """Common part of one2many and many2many fields."""

    def convert_to_cache(self, value, record):
        if isinstance(value, _records_class()):
            return value._ids
        if not value:
            return ()
        if isinstance(value, (list, tuple)) and all(isinstance(v, int) for v in value):
            return tuple(value)
        raise ValueError("Wrong value for %s: %r" % (self, value))

    def convert_to_write(self, value, record):
        if isinstance(value, _records_class()):
            return [Command.set(value.ids)]
        if not value:
            return [Command.clear()]
        return value

    def convert_to_read(self, value, record):
        return value.ids

    def convert_to_display_name(self, value, record):
        raise NotImplementedError()

    def __get__(self, record, owner=None):
        if record is None:
            return self
        if not record._ids:
            return self.null(record)
        if len(record._ids) > 1:
            raise ValueError("Expected singleton: %s" % record)
        key = (self, record._ids[0])
        computed = record.env.transaction.computed
        if key in computed:
            return self.convert_to_record(computed[key], record)
        if is_new(record):
            return self._get_new(record)
        if self.compute or self.related:
            if record.env.is_protected(self, record):
                return self.null(record)
            return self.convert_to_record(self.compute_value(record), record)
        if not record.env.su:
            record.check_access_rights('read')
        return self.convert_to_record(self._read_ids(record), record)

    @staticmethod
    def normalize_commands(value):
        """Write values as a list of commands (a list of ids means SET)."""
        if isinstance(value, _records_class()):
            return [Command.set(value.ids)]
        if not value:
            return [Command.clear()]
        if all(isinstance(v, int) for v in value):
            return [Command.set(list(value))]
        return [tuple(command) for command in value]


class One2many(_RelationalMulti):
    type = 'one2many'
    copy = False

    def __init__(self, comodel_name=Default, inverse_name=Default, string=Default, **kwargs):
        if comodel_name is not Default:
            kwargs['comodel_name'] = comodel_name
        if inverse_name is not Default:
            kwargs['inverse_name'] = inverse_name
        super().__init__(string=string, **kwargs)

    inverse_name = None

    def _read_ids(self, record):
        comodel = record.env[self.comodel_name].with_context(**self.context)
        return comodel.search(list(self.domain if isinstance(self.domain, list) else [])
                              + [(self.inverse_name, '=', record._ids[0])])._ids

    def write_commands(self, records, value):
        comodel = records.env[self.comodel_name].with_context(**self.context)
        inverse = self.inverse_name
        for command in self.normalize_commands(value):
            code = command[0]
            if code == Command.CREATE:
                for record in records:
                    comodel.create(dict(command[2], **{inverse: record.id}))
            elif code == Command.UPDATE:
                comodel.browse(command[1]).write(command[2])
            elif code == Command.DELETE:
                comodel.browse(command[1]).unlink()
            elif code == Command.UNLINK:
                comodel.browse(command[1]).write({inverse: False})
            elif code == Command.LINK:
                comodel.browse(command[1]).write({inverse: records[-1].id})
            elif code in (Command.CLEAR, Command.SET):
                for record in records:
                    current = comodel.search([(inverse, '=', record.id)])
                    keep = comodel.browse(command[2]) if code == Command.SET else comodel.browse()
                    (current - keep).write({inverse: False})
                    (keep - current).write({inverse: record.id})
            else:
                raise ValueError("Invalid command %r for %s" % (command, self))


class Many2many(_RelationalMulti):
    type = 'many2many'
    relation = None
    column1 = None
    column2 = None

    def __init__(self, comodel_name=Default, relation=Default, column1=Default, column2=Default,
                 string=Default, **kwargs):
        for key, val in (('comodel_name', comodel_name), ('relation', relation),
                         ('column1', column1), ('column2', column2)):
            if val is not Default:
                kwargs[key] = val
        super().__init__(string=string, **kwargs)

    def setup(self, model):
        super().setup(model)
        if self.store and not self.related and not self.compute:
            comodel = model.env[self.comodel_name]
            if not self.relation:
                tables = sorted([model._table, comodel._table])
                assert tables[0] != tables[1], \
                    "%s: Implicit/canonical naming of many2many relationship table is not possible " \
                    "when source and destination models are the same" % self
                self.relation = '%s_%s_rel' % tuple(tables)
            if not self.column1:
                self.column1 = '%s_id' % model._table
            if not self.column2:
                self.column2 = '%s_id' % comodel._table

    def _read_ids(self, record):
        comodel = record.env[self.comodel_name]
        cr = record.env.cr
        cr.execute('SELECT "%s" FROM "%s" WHERE "%s" = %%s' % (self.column2, self.relation, self.column1),
                   (record._ids[0],))
        ids = [row[0] for row in cr.fetchall()]
        if not ids:
            return ()
        # in the comodel's order, inactive records included, as Odoo reads them
        return tuple(comodel.sudo().with_context(active_test=False)._search([('id', 'in', ids)]))

    def write_commands(self, records, value):
        cr = records.env.cr
        comodel = records.env[self.comodel_name]
        rel, col1, col2 = self.relation, self.column1, self.column2

        def link(ids):
            for record_id in records._ids:
                for id_ in ids:
                    cr.execute('INSERT INTO "%s" ("%s", "%s") VALUES (%%s, %%s) ON CONFLICT DO NOTHING'
                               % (rel, col1, col2), (record_id, id_))

        def unlink(ids=None):
            if ids is None:
                cr.execute('DELETE FROM "%s" WHERE "%s" IN %%s' % (rel, col1), (records._ids,))
            elif ids:
                cr.execute('DELETE FROM "%s" WHERE "%s" IN %%s AND "%s" IN %%s' % (rel, col1, col2),
                           (records._ids, tuple(ids)))

        to_delete = []
        for command in self.normalize_commands(value):
            code = command[0]
            if code == Command.CREATE:
                link(comodel.create(command[2])._ids)
            elif code == Command.UPDATE:
                comodel.browse(command[1]).write(command[2])
            elif code == Command.DELETE:
                unlink([command[1]])
                to_delete.append(command[1])
            elif code == Command.UNLINK:
                unlink([command[1]])
            elif code == Command.LINK:
                link([command[1]])
            elif code == Command.CLEAR:
                unlink()
            elif code == Command.SET:
                unlink()
                link(list(command[2] or ()))
            else:
                raise ValueError("Invalid command %r for %s" % (command, self))
        if to_delete:
            comodel.browse(to_delete).exists().unlink()


# kept for code that names them as Odoo does
Monetary = Float
Json = Text
Binary = Text
