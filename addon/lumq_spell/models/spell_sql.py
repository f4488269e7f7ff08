"""The database side of keeping the spells right when several processes share
a database: what only PostgreSQL can do is done here, and on any other
database (the stand-in's SQLite, with one connection and one process) these
helpers do nothing.

A process that still has a registry from before a model was enabled (a
request in flight, a cron job, a shell script that never reloads) writes the
model's records without knowing their spells.  A trigger on the model's table
therefore marks the spells of a row to be computed again (NULL) whenever its
source column changes in a transaction that did not say it keeps the spells
itself; the processes that have the spells say so (``declare_spell_writer``)
before they change a source.  Rows whose spells are NULL are computed again
by the next pass over the missing spells (after enabling, at a registry load,
and by the periodic job).
"""
import collections
import contextlib
import hashlib
import time

from odoo.tools import SQL

# the transaction-local setting by which a writer says it keeps the spells
WRITER_SETTING = "lumq_spell.writer"
TRIGGER_FUNCTION = "lumq_spell_mark_stale"
SPELL_COLUMNS = ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell", "lumq_spell_variants")


def on_postgresql(cr):
    return hasattr(cr._cnx, "server_version")


def _quote(name):
    return '"%s"' % name.replace('"', '""')


def trigger_name(table):
    return f"{table}_lumq_spell_stale"[:63]


def missing_index_name(table):
    return f"{table}_lumq_spell_missing"[:63]


def order_index_name(table):
    return _index_name(table, "lumq_spell_sort")


# An index of the addon's on a table: ``CREATE INDEX name definition``; how
# long building it in a transaction may wait for the table, in seconds (None:
# as long as the transaction's own lock timeout lets it).
SpellIndex = collections.namedtuple("SpellIndex", "name definition lock_timeout",
                                    defaults=[None])


# The key of the pinyin order: the start of the full spell in lower case.
# The index of the order is on this very expression, so that the order reads
# the index.  An entry of a B-tree index holds at most a third of a page
# (2,704 bytes of 8 kB): on the whole spell, which may take several
# thousand bytes for a long text, the index would refuse the record.  Spells
# alike in their first ORDER_KEY_LENGTH characters keep the model's order.
ORDER_KEY_LENGTH = 200
ORDER_KEY = f"lower(substr(%s, 1, {ORDER_KEY_LENGTH}))"


def order_key(column):
    """The sort key of the pinyin order for the SQL of a full spell column."""
    return SQL(ORDER_KEY, column)


def order_index(table):
    """The index of the pinyin order, on the very expression the order sorts
    by, so that the order reads the index."""
    return SpellIndex(order_index_name(table),
                      f"ON {_quote(table)} ({ORDER_KEY % 'lumq_full_spell'})")


def first_index_name(table):
    return _index_name(table, "lumq_spell_first")


def first_index(table):
    """The index of the first spells, which tells at once whether any record
    of a search has a given first letter."""
    return SpellIndex(first_index_name(table), f"ON {_quote(table)} (lumq_first_spell)")


# how long dropping an index waits for its table's users, in seconds: the
# next pass tries again
DROP_INDEX_LOCK_TIMEOUT = 0.5


def drop_index(cr, name):
    """Drop the index ``name`` where it is there, waiting for the table's
    users DROP_INDEX_LOCK_TIMEOUT at most; True once it is gone."""
    if not on_postgresql(cr):
        cr.execute(f"DROP INDEX IF EXISTS {_quote(name)}")
        return True
    if index_state(cr, name) is None:
        return True
    return execute_waiting_at_most(cr, f"DROP INDEX IF EXISTS {_quote(name)}",
                                   DROP_INDEX_LOCK_TIMEOUT)


def declare_spell_writer(cr):
    """Say that this transaction computes the spells of what it writes, so
    that the trigger leaves them alone.

    Said once: the cursor's pre-commit data, where that is noted, is cleared
    when the transaction ends and around each savepoint (whose rollback
    would take the setting back), so it is said again where it may have
    been taken back."""
    if on_postgresql(cr) and not cr.precommit.data.get(WRITER_SETTING):
        cr.execute("SELECT set_config(%s, 'on', true)", [WRITER_SETTING])
        cr.precommit.data[WRITER_SETTING] = True


def stale_trigger_column(cr, table):
    """The source column that the table's trigger watches, or None (also
    for a model without a table of its own)."""
    cr.execute(
        "SELECT a.attname FROM pg_trigger t JOIN pg_attribute a "
        "ON a.attrelid = t.tgrelid AND a.attnum = t.tgattr[0] "
        "WHERE t.tgrelid = to_regclass(%s) AND t.tgname = %s",
        [_quote(table), trigger_name(table)],
    )
    row = cr.fetchone()
    return row[0] if row else None


def install_stale_trigger(cr, table, column):
    """Make a change of ``column`` on a row of ``table`` by a transaction that
    does not keep the spells mark the row's spells to be computed again."""
    if not on_postgresql(cr) or stale_trigger_column(cr, table) == column:
        return
    assignments = " ".join(f"NEW.{column} := NULL;" for column in SPELL_COLUMNS)
    cr.execute(f"""
        CREATE OR REPLACE FUNCTION {TRIGGER_FUNCTION}() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF current_setting('{WRITER_SETTING}', true) IS DISTINCT FROM 'on' THEN
                {assignments}
            END IF;
            RETURN NEW;
        END
        $$
    """)
    name, column = _quote(trigger_name(table)), _quote(column)
    cr.execute(f"DROP TRIGGER IF EXISTS {name} ON {_quote(table)}")
    cr.execute(
        f"CREATE TRIGGER {name} BEFORE UPDATE OF {column} ON {_quote(table)} FOR EACH ROW "
        f"WHEN (OLD.{column} IS DISTINCT FROM NEW.{column}) EXECUTE FUNCTION {TRIGGER_FUNCTION}()"
    )


def drop_stale_trigger(cr, table):
    if on_postgresql(cr) and stale_trigger_column(cr, table) is not None:
        cr.execute(f"DROP TRIGGER IF EXISTS {_quote(trigger_name(table))} ON {_quote(table)}")


def drop_trigger_function(cr):
    """Drop the trigger function once no table uses it (the addon is gone)."""
    if on_postgresql(cr):
        cr.execute(f"DROP FUNCTION IF EXISTS {TRIGGER_FUNCTION}() CASCADE")


def missing_index(table):
    """A partial index of the rows whose spells are still to be computed: the
    passes that look for them read it instead of the whole table, and it
    holds nothing once every row is computed."""
    return SpellIndex(missing_index_name(table),
                      f"ON {_quote(table)} (id) WHERE lumq_full_spell IS NULL")


def spell_table_indexes(cr, table):
    """The indexes that a table holding spells keeps: that of the rows still
    to compute and, on PostgreSQL, those of the rows with capitals in their
    spells (only a search by LIKE there needs them)."""
    indexes = [missing_index(table)]
    if on_postgresql(cr):
        indexes += cased_indexes(table)
    return indexes


def retired_index_names(table):
    """The indexes that earlier versions kept on a table holding spells and
    that none reads any more: the rows with capitals by id alone, whose
    spells a search read from the table; the pinyin order on the whole full
    spell, which refused records of spells too long for an index entry."""
    return [f"{table}_lumq_spell_cased"[:63], f"{table}_lumq_spell_order"[:63]]


def drop_retired_indexes(cr, table):
    """Drop the retired indexes still on the table, each waiting for the
    table's users a moment at most: one left behind costs the writers a
    little and is dropped by a later pass."""
    for name in retired_index_names(table):
        drop_index(cr, name)


def index_state(cr, name):
    """The one look at the catalog for the index ``name``: None when there is
    none, else whether it is valid.  A concurrent build leaves an invalid
    one while it runs, and behind when it is cut short; PostgreSQL neither
    keeps it up to date nor reads it, so it counts as missing.  (SQLite's
    indexes are always valid.)"""
    if not on_postgresql(cr):
        cr.execute("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = %s", [name])
        return True if cr.fetchone() else None
    cr.execute("SELECT indisvalid FROM pg_index WHERE indexrelid = to_regclass(%s)",
               [_quote(name)])
    row = cr.fetchone()
    return None if row is None else row[0]


def indexes_valid(cr, names):
    """Whether every index of ``names`` is there and valid (PostgreSQL): one
    look at the catalog for them all."""
    cr.execute("SELECT count(*) FROM pg_index WHERE indisvalid AND indexrelid IN "
               "(SELECT to_regclass(quote_ident(name)) FROM unnest(%s::text[]) AS name)",
               [list(names)])
    return cr.fetchone()[0] == len(names)


def _builder_lock(name):
    """The lock held by whoever builds the index ``name``."""
    return "lumq_spell.index." + name


def ensure_index(cr, name, definition, lock_timeout=None):
    """Make the index ``name`` (``CREATE INDEX name definition``) in this
    transaction unless a valid one is there: an invalid one, left by a
    concurrent build cut short, is dropped and made anew.  The table's
    writers wait while it is built (see build_index_concurrently for a large
    table).  With ``lock_timeout``, the build waits at most that many seconds
    for the table and, when another transaction holds it longer, leaves the
    index missing for a later call.  Returns whether the index is there:
    False also while another session builds it concurrently, which is left
    to finish.

    The catalog is read first: creating an index, even one that exists,
    locks the table against every writer."""
    state = index_state(cr, name)
    if state:
        return True
    if not try_lock(cr, _builder_lock(name)):
        return False
    statement = f"CREATE INDEX {_quote(name)} {definition}"
    if state is False:
        statement = f"DROP INDEX {_quote(name)}; {statement}"
    if lock_timeout is None or not on_postgresql(cr):
        cr.execute(statement)
        return True
    return execute_waiting_at_most(cr, statement, lock_timeout)


def build_index_concurrently(cr, name, definition):
    """Build the index ``name`` (``CREATE INDEX name definition``) without
    keeping its table's writers waiting.  ``cr`` is a connection of its own
    outside any transaction (autocommit): the build waits for every
    transaction older than it.  One builder of an index at a time (a lock
    held by its session); an invalid index that a build cut short left
    behind is built anew.  Returns whether the index is there (False when
    another builder is at work on it)."""
    key = _lock_key(_builder_lock(name))
    cr.execute("SELECT pg_try_advisory_lock(%s)", [key])
    if not cr.fetchone()[0]:
        return False
    try:
        state = index_state(cr, name)
        if state:
            # even IF NOT EXISTS would first wait for the table
            return True
        if state is False:
            cr.execute(f"DROP INDEX CONCURRENTLY IF EXISTS {_quote(name)}")
        cr.execute(f"CREATE INDEX CONCURRENTLY IF NOT EXISTS {_quote(name)} {definition}")
        return True
    finally:
        cr.execute("SELECT pg_advisory_unlock(%s)", [key])


def execute_waiting_at_most(cr, statement, timeout):
    """Run ``statement``, waiting at most ``timeout`` seconds for the locks it
    takes; True when it ran, False (and nothing done) when they stayed held.
    The transaction's own lock timeout applies again afterwards."""
    cr.execute("SHOW lock_timeout")
    previous = cr.fetchone()[0]
    try:
        with cr.savepoint(flush=False):
            cr.execute("SELECT set_config('lock_timeout', %s, true)", ["%dms" % (timeout * 1000)])
            cr.execute(statement, log_exceptions=False)
    except Exception as error:
        if getattr(error, "pgcode", None) != "55P03":  # lock_not_available
            raise
        return False
    cr.execute("SELECT set_config('lock_timeout', %s, true)", [previous])
    return True


# The rows whose spells hold a letter that lower() changes: only a piece left
# as it was (a Latin name keeps its case) gives one, since pinyin is lower
# case.  A search by ILIKE on the spells matches every other row exactly as
# LIKE with the lower-cased pattern does, which PostgreSQL does without
# lower-casing each row (see spell_search).
CASED_SPELLS = ("(lumq_full_spell <> lower(lumq_full_spell) "
                "OR lumq_simple_spell <> lower(lumq_simple_spell))")
# The rows whose two spells together take at most this many bytes: the index
# of the rows with capitals carries their spells, and an entry of a B-tree
# index holds at most a third of a page (2,704 bytes of 8 kB).  Spells that
# take more (a long description with a Latin word in it) are left to an index
# of their own, of ids alone.
CARRIED_SPELL_BYTES = 2000
SPELL_BYTES = "octet_length(coalesce(lumq_full_spell, '') || coalesce(lumq_simple_spell, ''))"
SHORT_SPELLS = f"{SPELL_BYTES} <= {CARRIED_SPELL_BYTES}"
LONG_SPELLS = f"{SPELL_BYTES} > {CARRIED_SPELL_BYTES}"
# how long building those indexes in a transaction may wait for the table, in
# seconds
CASED_INDEX_LOCK_TIMEOUT = 1.0


def _index_name(table, suffix):
    """The name of an index of the table, within PostgreSQL's 63 characters:
    a longer one is cut and ends with a digest of the whole, so that two
    names cut alike stay apart."""
    name = f"{table}_{suffix}"
    if len(name) <= 63:
        return name
    return f"{name[:54]}_{hashlib.sha256(name.encode()).hexdigest()[:8]}"


def cased_index_name(table):
    return _index_name(table, "lumq_spell_capitals")


def long_cased_index_name(table):
    return _index_name(table, "lumq_spell_long_capitals")


def cased_index(table):
    """A partial index of the rows whose spells are not all lower case and
    take at most CARRIED_SPELL_BYTES, carrying both spells, on PostgreSQL:
    a search of them by ILIKE reads this index alone, not the table.

    It holds only the rows of untransliterated pieces with capitals, so it is
    small, and a row of pinyin alone costs a write nothing but the check of
    its condition.  Building it in a transaction reads the table once (half
    a second for a million rows) while writers wait; a table that another
    transaction holds longer than CASED_INDEX_LOCK_TIMEOUT is left without
    it, for the next registry load to try again.  After a computation in the
    background it is built concurrently instead."""
    return SpellIndex(cased_index_name(table),
                      f"ON {_quote(table)} (id) INCLUDE (lumq_full_spell, lumq_simple_spell) "
                      f"WHERE {CASED_SPELLS} AND {SHORT_SPELLS}",
                      CASED_INDEX_LOCK_TIMEOUT)


def long_cased_index(table):
    """A partial index of the rows whose spells are not all lower case and
    too long for cased_index to carry, by id; almost always empty.  Built
    as cased_index is."""
    return SpellIndex(long_cased_index_name(table),
                      f"ON {_quote(table)} (id) WHERE {LONG_SPELLS} AND {CASED_SPELLS}",
                      CASED_INDEX_LOCK_TIMEOUT)


def cased_indexes(table):
    """The indexes that a search of the rows with capitals in their spells
    reads, on PostgreSQL: it is done only where they are all valid."""
    return [cased_index(table), long_cased_index(table)]


def cased_indexes_valid(cr, table):
    return indexes_valid(cr, [index.name for index in cased_indexes(table)])


def cased_ids(cr, table, columns, pattern, limit):
    """Column -> the ids of the rows with capitals in their spells whose
    column matches ``pattern`` by ILIKE, for each of ``columns``, read
    through the cased indexes in one pass; None for a column where they are
    more than ``limit``, and for every column when the rows matching any of
    them are more than ``limit`` times the number of columns (the pass stops
    there)."""
    # One pass for all the columns, and on the rows of short spells through
    # cased_index alone, which carries them: read from the table, the rows
    # with capitals (a title of leads that names a product in capitals)
    # were most of the cost of a search.  Each part of the query states the
    # condition of its index as it is written there, so that the planner
    # knows the index holds every row it asks for.
    tests = [f"{_quote(column)}::text ILIKE %(pattern)s" for column in columns]
    select = f"SELECT id, {', '.join(tests)} FROM {_quote(table)}"
    matching = f"({' OR '.join(tests)})"
    most = limit * len(columns)
    # The planner cannot tell how few rows the indexes hold: it takes their
    # conditions for true of almost every row, and for a rare text it may
    # read the whole table instead, lower-casing every row twice, or start
    # parallel workers.  This query is meant to read the indexes only.
    with planner_settings(cr, enable_seqscan="off", max_parallel_workers_per_gather="0"):
        cr.execute(f"{select} WHERE {CASED_SPELLS} AND {SHORT_SPELLS} AND {matching} "
                   f"UNION ALL "
                   f"{select} WHERE {LONG_SPELLS} AND {CASED_SPELLS} AND {matching} "
                   f"LIMIT %(most)s",
                   {"pattern": pattern, "most": most + 1})
        rows = cr.fetchall()
    found = {column: [row[0] for row in rows if row[1 + index]]
             for index, column in enumerate(columns)}
    return {column: ids if len(rows) <= most and len(ids) <= limit else None
            for column, ids in found.items()}


@contextlib.contextmanager
def planner_settings(cr, **settings):
    """Planner settings for the queries of the block, in this transaction;
    the settings in force before are given back after it.  (Nothing off
    PostgreSQL.)"""
    if not on_postgresql(cr):
        yield
        return
    names = list(settings)
    cr.execute("SELECT %s" % ", ".join(["current_setting(%s)"] * len(names))
               + "".join(", set_config(%s, %s, true)" for _name in names),
               names + [item for name in names for item in (name, settings[name])])
    previous = cr.fetchone()[:len(names)]
    try:
        yield
    finally:
        cr.execute("SELECT " + ", ".join(["set_config(%s, %s, true)"] * len(names)),
                   [item for pair in zip(names, previous) for item in pair])


def count_up_to(cr, table, limit):
    """The number of rows of ``table``, counted no further than ``limit`` + 1:
    enough to tell whether it has more than ``limit``, at a bounded cost."""
    cr.execute(f"SELECT count(*) FROM (SELECT 1 FROM {_quote(table)} LIMIT %s) s", [limit + 1])
    return cr.fetchone()[0]


def try_lock(cr, name):
    """Take a lock on ``name`` until the transaction ends, if no other
    transaction holds it; True when taken (always, off PostgreSQL)."""
    if not on_postgresql(cr):
        return True
    cr.execute("SELECT pg_try_advisory_xact_lock(%s)", [_lock_key(name)])
    return cr.fetchone()[0]


def _lock_key(name):
    """The key of PostgreSQL's advisory locks that stands for ``name``."""
    return int.from_bytes(hashlib.sha256(name.encode()).digest()[:8], "big", signed=True)


def lock_tables(cr, tables, timeout, attempts, pause):
    """Lock ``tables`` for a change of their columns, waiting at most
    ``timeout`` seconds at a time, ``attempts`` times, ``pause`` seconds
    apart; True once locked (always, off PostgreSQL).

    PostgreSQL queues every later query on a table behind a lock that waits
    for it: a wait without a limit, behind a transaction left open, would
    make every user of the table wait as long.  Between attempts nothing is
    held or waited for."""
    if not on_postgresql(cr) or not tables:
        return True
    statement = "LOCK TABLE %s IN ACCESS EXCLUSIVE MODE" % ", ".join(map(_quote, tables))
    for attempt in range(attempts):
        if attempt:
            time.sleep(pause)
        if execute_waiting_at_most(cr, statement, timeout):
            return True
    return False
