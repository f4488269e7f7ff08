"""Environments and method decorators, as in Odoo 17."""
from collections.abc import Mapping
from contextlib import contextmanager
from functools import wraps

from .tools import frozendict

SUPERUSER_ID = 1


# ---------------------------------------------------------------------------
# decorators
# ---------------------------------------------------------------------------

def model(method):
    """The method works on the model, its records are not relevant."""
    method._api = 'model'
    return method


def model_create_multi(method):
    """``create`` takes a list of value mappings (a single mapping is accepted)."""
    @wraps(method)
    def create(self, vals_list):
        if isinstance(vals_list, Mapping):
            vals_list = [vals_list]
        return method(self, vals_list)
    create._api = 'model_create_multi'
    return create


def depends(*args):
    """The fields a compute method depends on (names, dotted paths, or one callable)."""
    if args and callable(args[0]):
        args = args[0]

    def decorator(method):
        method._depends = args
        return method
    return decorator


def depends_context(*args):
    def decorator(method):
        method._depends_context = args
        return method
    return decorator


def constrains(*args):
    """The fields whose change triggers this check."""
    def decorator(method):
        method._constrains = args
        return method
    return decorator


def ondelete(*, at_uninstall):
    """A check run before records are deleted; ``at_uninstall=False`` skips it
    while a module is uninstalled."""
    def decorator(method):
        method._ondelete = at_uninstall
        return method
    return decorator


def onchange(*args):
    def decorator(method):
        method._onchange = args
        return method
    return decorator


def returns(model, downgrade=None, upgrade=None):
    def decorator(method):
        return method
    return decorator


# ---------------------------------------------------------------------------
# environments
# ---------------------------------------------------------------------------

class Transaction:
    """What the environments of one cursor share: the values that compute
    methods assign while the ORM computes fields."""

    def __init__(self):
        self.protected = {}             # field -> set of record ids being computed
        self.tocompute = {}             # field -> set of record ids to compute
        self.computed = {}              # (field, id) -> value assigned during computation
        self.new_values = {}            # (field, NewId) -> value of a new record

    def flush(self):
        pass

    def clear(self):
        """Forget the records marked to compute, as Odoo's cache clearing
        does after a rollback to a savepoint."""
        self.tocompute.clear()
        self.computed.clear()


class Environment(Mapping):
    """``Environment(cr, uid, context, su=False)``: cursor, user, context and
    superuser mode; ``env[model_name]`` gives an empty recordset of the model."""

    def __init__(self, cr, uid, context, su=False):
        if uid == SUPERUSER_ID:
            su = True
        if hasattr(uid, 'id'):
            uid = uid.id
        self.cr = cr
        self.uid = uid
        self.context = frozendict(context or {})
        self.su = su
        if cr.transaction is None:
            cr.transaction = Transaction()
        self.transaction = cr.transaction

    def __repr__(self):
        return f'<Environment {self.cr.dbname!r} uid={self.uid} su={self.su}>'

    def __eq__(self, other):
        return (isinstance(other, Environment) and self.cr is other.cr and self.uid == other.uid
                and self.su == other.su and self.context == other.context)

    def __hash__(self):
        return hash((id(self.cr), self.uid, self.su))

    # -- mapping of model names to models --
    @property
    def registry(self):
        """The current registry of the cursor's database (a module action
        replaces it; environments made before see the new one)."""
        from .modules.registry import Registry
        return Registry(self.cr.dbname)

    def __getitem__(self, model_name):
        return self.registry[model_name](self, (), ())

    def __contains__(self, model_name):
        return model_name in self.registry

    def __iter__(self):
        return iter(self.registry)

    def __len__(self):
        return len(self.registry)

    def __call__(self, cr=None, user=None, context=None, su=None):
        cr = self.cr if cr is None else cr
        uid = self.uid if user is None else (user.id if hasattr(user, 'id') else user)
        context = self.context if context is None else context
        su = (user is None and self.su) if su is None else su
        return Environment(cr, uid, context, su)

    # -- shortcuts --
    @property
    def user(self):
        return self(su=True)['res.users'].browse(self.uid)

    @property
    def lang(self):
        return self.context.get('lang')

    def ref(self, xml_id, raise_if_not_found=True):
        res_model, res_id = self['ir.model.data']._xmlid_to_res_model_res_id(
            xml_id, raise_if_not_found=raise_if_not_found)
        if res_model and res_id:
            record = self[res_model].browse(res_id)
            if record.exists():
                return record
            if raise_if_not_found:
                raise ValueError('No record found for unique ID %s. It may have been deleted.' % xml_id)
        return None

    def is_superuser(self):
        return self.su

    def is_admin(self):
        return self.su or self.user._is_admin()

    def is_system(self):
        return self.su or self.user._is_system()

    # -- cache management: records are read from and written to the database
    #    directly, so there is nothing pending and nothing to drop --
    def flush_all(self):
        self.transaction.flush()

    def invalidate_all(self, flush=True):
        pass

    def clear(self):
        pass

    def reset(self):
        pass

    @contextmanager
    def protecting(self, fields, records):
        """Assignments of ``fields`` on ``records`` inside this block are the
        ORM's own computation: they are kept for the ORM, not written."""
        protected = self.transaction.protected
        saved = {field: protected.get(field) for field in fields}
        try:
            for field in fields:
                protected[field] = set(protected.get(field, ())) | set(records._ids)
            yield
        finally:
            for field, ids in saved.items():
                if ids is None:
                    protected.pop(field, None)
                else:
                    protected[field] = ids
        # Values assigned under a protection that no ORM computation took
        # (a model computing fields itself) are stored now, as Odoo flushes
        # the values its cache holds.  Nested protections leave that to the
        # outermost one.  A new record has no row: its values stay cached.
        stored_ids = [id_ for id_ in records._ids if isinstance(id_, int)]
        if stored_ids and all(ids is None for ids in saved.values()):
            by_model = {}
            for field in fields:
                if field.store:
                    by_model.setdefault(field.model_name, []).append(field)
            for model_name, group in by_model.items():
                self[model_name].browse(stored_ids)._store_computed(group)

    def add_to_compute(self, field, records):
        """Mark ``field`` to be computed on ``records``.  The stand-in marks
        only the records of a new computed column, which it computes once its
        models are initialised; other stored fields are computed as records
        are created and written."""
        self.transaction.tocompute.setdefault(field, set()).update(records._ids)

    def records_to_compute(self, field):
        return self[field.model_name].browse(sorted(self.transaction.tocompute.get(field, ())))

    def remove_to_compute(self, field, records):
        """Mark ``field`` as computed on ``records``."""
        ids = self.transaction.tocompute.get(field)
        if ids is not None:
            ids.difference_update(records._ids)
            if not ids:
                del self.transaction.tocompute[field]

    def is_protected(self, field, record):
        return record.id in self.transaction.protected.get(field, ())
