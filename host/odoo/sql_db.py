"""Database connections and cursors on SQLite, with psycopg2's calling style.

A database name ending in ``.sqlite`` or ``.db``, or holding a ``/``, is a file;
any other name is an in-memory database kept for the life of the process.  All
cursors of one database share its connection, hence its transaction.
"""
import datetime
import re
import sqlite3
import threading
from contextlib import contextmanager

from .tools.sql import SQL

_lock = threading.RLock()
_connections = {}               # database name -> sqlite3.Connection


def is_file_database(db_name):
    return db_name.endswith(('.sqlite', '.db')) or '/' in db_name


def _like(pattern, value, casefold):
    """SQL LIKE with backslash as escape character."""
    if value is None or pattern is None:
        return None
    regex = []
    chars = iter(pattern)
    for char in chars:
        if char == '\\':
            regex.append(re.escape(next(chars, '\\')))
        elif char == '%':
            regex.append('.*')
        elif char == '_':
            regex.append('.')
        else:
            regex.append(re.escape(char))
    flags = re.DOTALL | (re.IGNORECASE if casefold else 0)
    return 1 if re.fullmatch(''.join(regex), str(value), flags) else 0


def _connect(db_name):
    target = db_name if is_file_database(db_name) else ':memory:'
    conn = sqlite3.connect(target, isolation_level=None, check_same_thread=False)
    conn.create_function('odoo_like', 2, lambda p, v: _like(p, v, False), deterministic=True)
    conn.create_function('odoo_ilike', 2, lambda p, v: _like(p, v, True), deterministic=True)
    return conn


def db_connect(db_name):
    """The shared connection of a database, opened (or created) on first use."""
    with _lock:
        conn = _connections.get(db_name)
        if conn is None:
            conn = _connections[db_name] = _connect(db_name)
        return conn


def close_db(db_name):
    """Close a database's connection; an in-memory database is gone afterwards."""
    with _lock:
        conn = _connections.pop(db_name, None)
    if conn is not None:
        conn.close()


def _adapt(value):
    if isinstance(value, bool):
        return int(value)
    if isinstance(value, (datetime.datetime, datetime.date)):
        return value.isoformat(sep=' ') if isinstance(value, datetime.datetime) else value.isoformat()
    return value


_PLACEHOLDER = re.compile(r'%(?:\((\w+)\))?s|%%')


def convert_query(query, params):
    """Turn a psycopg2-style query into SQLite's: ``%s`` and ``%(name)s`` become
    ``?``, a tuple or list parameter becomes ``(?, ?, ...)``, ``%%`` becomes ``%``."""
    if params is None:
        return query, []
    args = []
    positional = iter(params) if not isinstance(params, dict) else None

    def replace(match):
        if match.group(0) == '%%':
            return '%'
        if match.group(1):
            value = params[match.group(1)]
        else:
            try:
                value = next(positional)
            except StopIteration:
                raise TypeError('not enough arguments for the query') from None
        if isinstance(value, (tuple, list)):
            args.extend(_adapt(v) for v in value)
            return '(%s)' % ', '.join('?' * len(value))
        args.append(_adapt(value))
        return '?'

    sql = _PLACEHOLDER.sub(replace, query)
    if positional is not None and next(positional, _PLACEHOLDER) is not _PLACEHOLDER:
        raise TypeError('not all arguments converted during the query formatting')
    return sql, args


class Callbacks:
    """Functions to call once, in the order they were added (Odoo's
    ``cr.postcommit`` and the like)."""

    def __init__(self):
        self._funcs = []

    def add(self, func):
        self._funcs.append(func)

    def run(self):
        funcs, self._funcs = self._funcs, []
        for func in funcs:
            func()

    def clear(self):
        self._funcs = []


# Row locks: SQLite has none, and one connection serves a database, so
# "FOR UPDATE [NOWAIT | SKIP LOCKED]" always gets its rows at once.
_ROW_LOCK = re.compile(
    r'\s+FOR\s+(?:NO\s+KEY\s+UPDATE|UPDATE|SHARE|KEY\s+SHARE)(?:\s+NOWAIT|\s+SKIP\s+LOCKED)?\s*$', re.I)


class Cursor:
    """A cursor with psycopg2's interface on the database's shared connection."""

    def __init__(self, db_name):
        self.dbname = db_name
        self._cnx = db_connect(db_name)
        self._rows = []
        self._pos = 0
        self.rowcount = -1
        self.description = None
        self.closed = False
        self.transaction = None
        self._savepoint_seq = 0
        self.postcommit = Callbacks()

    def __repr__(self):
        return f'<Cursor {self.dbname!r}>'

    def _begin(self):
        if not self._cnx.in_transaction:
            self._cnx.execute('BEGIN')

    def execute(self, query, params=None, log_exceptions=True):
        if self.closed:
            raise sqlite3.InterfaceError('Cursor already closed')
        if isinstance(query, SQL):
            assert params is None, "SQL objects carry their own parameters"
            query, params = query.code, query.params
        sql, args = convert_query(_ROW_LOCK.sub('', str(query)), params)
        self._begin()
        cur = self._cnx.execute(sql, args)
        self.description = cur.description
        if cur.description is not None:
            self._rows = cur.fetchall()
            self.rowcount = len(self._rows)
        else:
            self._rows = []
            self.rowcount = cur.rowcount
        self._pos = 0

    def fetchone(self):
        if self._pos >= len(self._rows):
            return None
        self._pos += 1
        return self._rows[self._pos - 1]

    def fetchmany(self, size=1):
        rows = self._rows[self._pos:self._pos + size]
        self._pos += len(rows)
        return rows

    def fetchall(self):
        rows = self._rows[self._pos:]
        self._pos = len(self._rows)
        return rows

    def dictfetchone(self):
        row = self.fetchone()
        return row and dict(zip((d[0] for d in self.description), row))

    def dictfetchmany(self, size):
        return [dict(zip((d[0] for d in self.description), row)) for row in self.fetchmany(size)]

    def dictfetchall(self):
        names = [d[0] for d in self.description or ()]
        return [dict(zip(names, row)) for row in self.fetchall()]

    def split_for_in_conditions(self, ids, size=None):
        ids = list(ids)
        size = size or 1000
        return [tuple(ids[i:i + size]) for i in range(0, len(ids), size)]

    @contextmanager
    def savepoint(self, flush=True):
        """Roll back to this point when the block raises."""
        self._savepoint_seq += 1
        name = 'sp_%d_%d' % (id(self), self._savepoint_seq)
        if flush:
            self.flush()
        self._begin()
        self._cnx.execute('SAVEPOINT "%s"' % name)
        try:
            yield
            if flush:
                self.flush()
        except BaseException:
            if flush:
                # as Odoo's: the cache holds nothing of what is rolled back
                self.clear()
            self._cnx.execute('ROLLBACK TO SAVEPOINT "%s"' % name)
            self._cnx.execute('RELEASE SAVEPOINT "%s"' % name)
            raise
        else:
            self._cnx.execute('RELEASE SAVEPOINT "%s"' % name)

    def flush(self):
        if self.transaction is not None:
            self.transaction.flush()

    def clear(self):
        """Drop what the transaction's cache holds (the stand-in keeps no
        record values, only what the ORM computes)."""
        if self.transaction is not None:
            self.transaction.clear()

    def commit(self):
        self.flush()
        if self._cnx.in_transaction:
            self._cnx.execute('COMMIT')
        self.postcommit.run()

    def rollback(self):
        if self._cnx.in_transaction:
            self._cnx.execute('ROLLBACK')
        self.postcommit.clear()

    def reset(self):
        pass

    def close(self):
        # the connection is shared by the database's cursors: it stays open
        self.closed = True

    def __enter__(self):
        return self

    def __exit__(self, exc_type, exc_value, traceback):
        try:
            if exc_type is None:
                self.commit()
        finally:
            self.close()
