"""Schema helpers on SQLite, under the names Odoo gives them."""
import re



IDENT_RE = re.compile(r'^[a-z0-9_][a-z0-9_$\-]*$', re.I)


class SQL:
    """SQL code with its parameters, composed as Odoo 17's ``SQL``:
    ``SQL(code, *args)`` where each ``%s`` of ``code`` takes an argument,
    either an SQL object (its code inlined) or a value (a parameter).
    ``code`` and ``params`` give the whole; ``sep.join(items)`` and
    ``SQL.identifier(name, subname)`` compose as Odoo's do."""

    __slots__ = ('_code', '_args')

    def __new__(cls, code='', /, *args):
        if isinstance(code, SQL):
            return code
        code % tuple('' for _arg in args)  # the placeholders match the arguments
        self = object.__new__(cls)
        self._code = code
        self._args = args
        return self

    @property
    def code(self):
        return self._code % tuple(arg.code if isinstance(arg, SQL) else '%s' for arg in self._args)

    @property
    def params(self):
        params = []
        for arg in self._args:
            params.extend(arg.params if isinstance(arg, SQL) else [arg])
        return params

    def __repr__(self):
        return f"SQL({', '.join(map(repr, [self.code, *self.params]))})"

    def __bool__(self):
        return bool(self._code)

    def __eq__(self, other):
        return isinstance(other, SQL) and self.code == other.code and self.params == other.params

    def __iter__(self):
        yield self.code
        yield self.params

    def join(self, args):
        args = list(args)
        if not args:
            return SQL()
        if len(args) == 1:
            return SQL('%s', args[0]) if not isinstance(args[0], SQL) else args[0]
        items = [self] * (len(args) * 2 - 1)
        for index, arg in enumerate(args):
            items[index * 2] = arg
        return SQL('%s' * len(items), *items)

    @classmethod
    def identifier(cls, name, subname=None):
        assert IDENT_RE.match(name), f"{name!r} invalid for SQL.identifier()"
        if subname is None:
            return cls(f'"{name}"')
        assert IDENT_RE.match(subname), f"{subname!r} invalid for SQL.identifier()"
        return cls(f'"{name}"."{subname}"')


def quote(name):
    return '"%s"' % name.replace('"', '""')


def table_exists(cr, tablename):
    cr.execute("SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = %s",
               (tablename,))
    return cr.rowcount


def table_kind(cr, tablename):
    """'r' for a table, 'v' for a view, None when missing."""
    cr.execute("SELECT type FROM sqlite_master WHERE name = %s AND type IN ('table', 'view')",
               (tablename,))
    row = cr.fetchone()
    return None if row is None else {'table': 'r', 'view': 'v'}[row[0]]


def table_columns(cr, tablename):
    """Mapping of column name to its declared type."""
    cr.execute('SELECT name, type FROM pragma_table_info(%s)', (tablename,))
    return dict(cr.fetchall())


def column_exists(cr, tablename, columnname):
    cr.execute('SELECT 1 FROM pragma_table_info(%s) WHERE name = %s', (tablename, columnname))
    return cr.rowcount


def create_model_table(cr, tablename, columns=()):
    """Create a model's table; ``columns`` are (name, sql type) pairs."""
    defs = ['"id" INTEGER PRIMARY KEY AUTOINCREMENT']
    defs += ['%s %s' % (quote(name), sqltype) for name, sqltype in columns]
    cr.execute('CREATE TABLE %s (%s)' % (quote(tablename), ', '.join(defs)))


def create_column(cr, tablename, columnname, columntype, comment=None):
    # SQLite keeps no comments on columns
    cr.execute('ALTER TABLE %s ADD COLUMN %s %s' % (quote(tablename), quote(columnname), columntype))


def drop_column(cr, tablename, columnname):
    # SQLite refuses to drop an indexed column: drop its indexes first
    cr.execute("SELECT DISTINCT il.name FROM pragma_index_list(%s) il, pragma_index_info(il.name) ii "
               "WHERE ii.name = %s AND il.origin = 'c'", (tablename, columnname))
    indexes = {index for (index,) in cr.fetchall()}
    # and those whose condition names it, which PostgreSQL drops with it
    cr.execute("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = %s "
               "AND sql IS NOT NULL", (tablename,))
    named = re.compile(r'\bWHERE\b.*(\b|")%s(\b|")' % re.escape(columnname), re.I | re.S)
    indexes.update(index for index, text in cr.fetchall() if named.search(text))
    for index in sorted(indexes):
        cr.execute('DROP INDEX %s' % quote(index))
    cr.execute('ALTER TABLE %s DROP COLUMN %s' % (quote(tablename), quote(columnname)))


def drop_table(cr, tablename):
    cr.execute('DROP TABLE IF EXISTS %s' % quote(tablename))


def create_m2m_table(cr, tablename, column1, column2):
    cr.execute('CREATE TABLE IF NOT EXISTS %s (%s INTEGER NOT NULL, %s INTEGER NOT NULL, PRIMARY KEY (%s, %s))'
               % (quote(tablename), quote(column1), quote(column2), quote(column1), quote(column2)))
    cr.execute('CREATE INDEX IF NOT EXISTS %s ON %s (%s)'
               % (quote(tablename + '_' + column2 + '_idx'), quote(tablename), quote(column2)))


def index_exists(cr, indexname):
    cr.execute("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = %s", (indexname,))
    return cr.rowcount


def create_index(cr, indexname, tablename, expressions, unique=False):
    cr.execute('CREATE %sINDEX IF NOT EXISTS %s ON %s (%s)' % (
        'UNIQUE ' if unique else '', quote(indexname), quote(tablename), ', '.join(expressions)))
