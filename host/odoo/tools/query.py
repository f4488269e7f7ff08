"""The result of a search, as Odoo 17's ``Query``: the SQL that selects the
records of a domain, run once when its ids are first wanted.  A caller may
also compose the SQL into a query of its own (``select``, ``subselect``)."""
from .sql import SQL


class Query:
    """The records of ``table`` that meet ``where_clause`` (an SQL object), in
    the order ``order`` (an SQL object, or empty), ``limit`` and ``offset``
    applied; iterating gives their ids."""

    def __init__(self, cr, table, where_clause, order=None, limit=None, offset=None):
        self._cr = cr
        self.table = table
        self.where_clause = where_clause
        self.order = order or SQL()
        self.limit = limit
        self.offset = offset
        self._ids = None

    @property
    def from_clause(self):
        return SQL.identifier(self.table)

    def select(self, *args):
        """The SELECT query of ``args`` (the id by default), an SQL object."""
        columns = [SQL(arg) for arg in args] or [SQL.identifier(self.table, 'id')]
        tail = []
        if self.order:
            tail.append(SQL(" ORDER BY %s", self.order))
        if self.limit:
            tail.append(SQL(" LIMIT %s", int(self.limit)))
        if self.offset:
            # SQLite takes an offset only after a limit
            tail.append(SQL("%s OFFSET %s", SQL("" if self.limit else " LIMIT -1"), int(self.offset)))
        return SQL("SELECT %s FROM %s WHERE %s%s", SQL(", ").join(columns), self.from_clause,
                   self.where_clause, SQL("").join(tail))

    def subselect(self, *args):
        """``select`` between parentheses, for a sub-query."""
        return SQL("(%s)", self.select(*args))

    def get_result_ids(self):
        if self._ids is None:
            self._cr.execute(self.select())
            self._ids = tuple(row[0] for row in self._cr.fetchall())
        return self._ids

    def __iter__(self):
        return iter(self.get_result_ids())

    def __len__(self):
        if self._ids is None:
            # counted without fetching the ids
            self._cr.execute(SQL("SELECT COUNT(*) FROM (%s)", self.select("1")))
            return self._cr.fetchone()[0]
        return len(self._ids)

    def __bool__(self):
        return bool(self.get_result_ids())
