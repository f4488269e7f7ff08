"""What several processes sharing one database must get right around enabling
and disabling, on a real Odoo 17 server: each transaction below is another
process's (a worker, a cron job, a shell script), committed as such.  What
must hold is checked; the run ends with one line "N passed, N failed".

A process whose registry predates the enabling writes a model's records as
Odoo's ORM without the spells does; its statements are written out here as
SQL, since one Python process holds one registry per database.

    "$LUMQ_PYTHON" tests/real/processes.py DBNAME   (inside env/odoo17)
"""
import contextlib
import logging
import os
import sys
import threading
import time

sys.path.insert(0, os.environ["LUMQ_ODOO_SRC"])

import odoo  # noqa: E402,F401
from odoo import SUPERUSER_ID, api, sql_db  # noqa: E402
from odoo.modules.registry import Registry  # noqa: E402
from odoo.tools import config, sql  # noqa: E402

SPELLS = ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell")
results = []


def check(condition, what):
    results.append(bool(condition))
    print(f"   {'ok' if condition else 'FAILED'}: {what}", flush=True)


class Errors(logging.Handler):
    """Counts the ERROR lines that Odoo logs meanwhile."""

    def __init__(self):
        super().__init__(logging.ERROR)
        self.records = []

    def emit(self, record):
        self.records.append(record)


def spells_of(cr, ids):
    cr.execute(f"SELECT {', '.join(SPELLS)} FROM spell_test_record WHERE id IN %s ORDER BY id",
               [tuple(ids)])
    return cr.fetchall()


def process(registry):
    """A cursor and environment of another process."""
    cr = registry.cursor()
    return cr, api.Environment(cr, SUPERUSER_ID, {})


def insert(cr, name):
    """A record created by a process without the spells."""
    cr.execute("INSERT INTO spell_test_record (name, create_date, write_date) "
               "VALUES (%s, now(), now()) RETURNING id", [name])
    return cr.fetchone()[0]


def spell_index_states(registry, names=None):
    """What the catalog says of the spell indexes of spell_test_record (that
    of the records still to compute, those of the records with capitals),
    or of the indexes ``names``: None for one that is missing, else whether
    it is valid."""
    from odoo.addons.lumq_spell.models import spell_sql
    with registry.cursor() as cr:
        if names is None:
            names = [index.name
                     for index in spell_sql.spell_table_indexes(cr, "spell_test_record")]
        return [spell_sql.index_state(cr, name) for name in names]


def wait_for_spell_indexes(registry):
    """The states of the spell indexes once they are all valid, or after 30 s."""
    for _attempt in range(60):
        states = spell_index_states(registry)
        if states == [True, True, True]:
            break
        time.sleep(0.5)
    return states


def main(db_name):
    config.parse_config(["-c", os.environ["LUMQ_ODOO_CONF"], "-d", db_name, "--no-http"])
    errors = Errors()
    logging.getLogger("odoo").addHandler(errors)
    registry = Registry.new(db_name)
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        env["ir.module.module"].update_list()
        env["ir.module.module"].search([("name", "in", ["lumq_spell", "spell_test_models"])]) \
            .button_immediate_install()
    registry = Registry(db_name)
    model_id = None

    print("== records committed while a model is enabled")
    enabler, env_a = process(registry)
    env_a["spell.test.record"].search_count([])     # the enabling transaction's snapshot
    other, env_b = process(registry)
    late = env_b["spell.test.record"].create({"name": "张三"}).id
    other.commit()
    other.close()
    model_id = env_a["ir.model"]._get_id("spell.test.record")
    env_a["lumq_spell.config"].create({"model_id": model_id})
    enabler.commit()
    enabler.close()
    with registry.cursor() as cr:
        check(spells_of(cr, [late]) == [("zhangsan", "zs", "Z")],
              "a record committed after the enabling's snapshot gets its spells once it commits")

    print("== a process whose registry predates the enabling")
    with registry.cursor() as cr:
        created = insert(cr, "李四")
        renamed = late
        cr.execute("UPDATE spell_test_record SET name = '王五', write_date = now() WHERE id = %s",
                   [renamed])
    with registry.cursor() as cr:
        check(spells_of(cr, [renamed]) == [(None, None, None)],
              "a rename by such a process marks the record's spells to compute")
        api.Environment(cr, SUPERUSER_ID, {})["ir.model"]._spell_cron()
    with registry.cursor() as cr:
        check(spells_of(cr, [renamed, created]) == [("wangwu", "ww", "W"), ("lisi", "ls", "L")],
              "the upkeep computes the spells of what it renamed and created")

    print("== two processes compute the missing spells at once")
    with registry.cursor() as cr:
        cr.execute(f"UPDATE spell_test_record SET {', '.join(f'{s} = NULL' for s in SPELLS)}")
    first, env_1 = process(registry)
    second, env_2 = process(registry)
    env_2["spell.test.record"].search_count([])     # its snapshot predates the first's work
    env_1["ir.model"]._register_hook()
    try:
        env_2["ir.model"]._register_hook()
        check(True, "a second pass while the first holds the records passes them by")
    except Exception as error:  # the outcome is what is checked
        check(False, f"a second pass while the first holds the records passes them by ({error!r})")
    first.commit()
    first.close()
    try:
        env_2["ir.model"]._register_hook()
        second.commit()
        check(True, "a pass whose snapshot predates another's committed work does not fail")
    except Exception as error:  # the outcome is what is checked
        check(False, f"a pass whose snapshot predates another's committed work does not fail "
                     f"({error!r})")
    second.close()
    with registry.cursor() as cr:
        cr.execute("SELECT count(*) FROM spell_test_record WHERE lumq_full_spell IS NULL")
        check(cr.fetchone()[0] == 0, "every record has its spells")

    print("== disabling while other processes still have the spells")
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        env["lumq_spell.config"].search([("model_id", "=", model_id)]).unlink()
    with registry.cursor() as cr:
        # a create by a worker that has not built its registry anew
        cr.execute(f"INSERT INTO spell_test_record (name, {', '.join(SPELLS)}) "
                   "VALUES ('赵六', 'zhaoliu', 'zl', 'Z')")
        check(True, "a process that still has the spells saves a record after the disabling")
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        IrModel = env["ir.model"]
        IrModel._spell_cron()
        check(sql.column_exists(cr, "spell_test_record", "lumq_full_spell"),
              "the upkeep keeps the columns while processes may still have the spells")
        cr.execute("UPDATE ir_model SET spell_columns_drop_at = now() - interval '1 second' "
                   "WHERE model = 'spell.test.record'")
        IrModel.invalidate_model()
        IrModel._spell_cron()
        check(not sql.column_exists(cr, "spell_test_record", "lumq_full_spell"),
              "the upkeep drops the columns once every process has left them")

    print("== enabling a large model: its spells computed in the background")
    from odoo.addons.lumq_spell.models import spell_sql
    # a few records stand for many: the limits of this process's classes
    registry["ir.model"]._spell_request_limit = 2
    registry["lumq_spell.config"]._spell_sweep_batch = 2
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        env["lumq_spell.config"].create({"model_id": model_id})
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        spell_config = env["lumq_spell.config"].search([("model_id", "=", model_id)])
        check(spell_config.spell_state == "computing", "a large model is computed in the background")
        env["ir.model"]._spell_cron()
    with registry.cursor() as cr:
        cr.execute("SELECT count(*) FROM spell_test_record WHERE lumq_full_spell IS NULL")
        check(cr.fetchone()[0] == 0, "the upkeep computes every record, a batch at a time")
    # the index of the records still to compute is built concurrently, in a
    # thread of the upkeep's process; a transaction left open holds it up,
    # not the writers
    idle, env_idle = process(registry)
    env_idle["spell.test.record"].search_count([])
    with registry.cursor() as cr:
        cr.execute("SET LOCAL lock_timeout = '2s'")
        cr.execute("UPDATE spell_test_record SET code = 'saved' WHERE id = %s", [created])
        check(True, "a record is saved while the index is being built")
    idle.close()
    check(wait_for_spell_indexes(registry) == [True, True, True],
          "the indexes of the records still to compute and of those with capitals are built "
          "and valid")
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        env["ir.model"]._spell_cron()
        spell_config = env["lumq_spell.config"].search([("model_id", "=", model_id)])
        check(spell_config.spell_state == "ready" and spell_config.spell_background,
              "the configuration says all is ready once the indexes are there")

    print("== an index that a concurrent build cut short left invalid")
    cased = spell_sql.cased_index("spell_test_record")
    with registry.cursor() as cr:
        cr.execute(f'DROP INDEX "{cased.name}"')
    # a transaction left open: the build waits for its snapshot, and is killed
    holder, env_holder = process(registry)
    env_holder["spell.test.record"].search_count([])
    with contextlib.closing(sql_db.db_connect(db_name).cursor()) as builder:
        builder._cnx.autocommit = True
        builder.execute("SELECT pg_backend_pid()")
        pid = builder.fetchone()[0]

        def build():
            try:
                builder._cnx.cursor().execute(f'CREATE INDEX CONCURRENTLY "{cased.name}" '
                                              f'{cased.definition}')
            except Exception:  # noqa: S110 (cancelled, as meant)
                pass

        thread = threading.Thread(target=build)
        thread.start()
        for _attempt in range(60):
            if spell_index_states(registry)[1] is False:
                break
            time.sleep(0.5)
        with registry.cursor() as cr:
            cr.execute("SELECT pg_cancel_backend(%s)", [pid])
        thread.join(30)
    holder.close()
    check(spell_index_states(registry) == [True, False, True],
          "a concurrent build cut short leaves the index invalid")
    # another computation in the background: a change of the source, to
    # codes with capitals, which the invalid index is to hold
    with registry.cursor() as cr:
        cr.execute("UPDATE spell_test_record SET code = 'Code' || id")
        env = api.Environment(cr, SUPERUSER_ID, {})
        spell_config = env["lumq_spell.config"].search([("model_id", "=", model_id)])
        spell_config.spell_field_id = env["ir.model.fields"]._get("spell.test.record", "code")
        check(spell_config.spell_state == "computing",
              "a change of source is computed in the background")
    with registry.cursor() as cr:
        api.Environment(cr, SUPERUSER_ID, {})["ir.model"]._spell_cron()
    check(wait_for_spell_indexes(registry) == [True, True, True],
          "the end of the computation builds the invalid index anew, concurrently")
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        env["ir.model"]._spell_cron()
        spell_config = env["lumq_spell.config"].search([("model_id", "=", model_id)])
        check(spell_config.spell_state == "ready", "then the configuration is ready")
        cr.execute("SELECT count(*) FROM spell_test_record WHERE lumq_full_spell IS DISTINCT "
                   "FROM code")
        check(cr.fetchone()[0] == 0, "every record has the spells of its new source")
        cr.execute(f'SELECT count(*) FROM spell_test_record WHERE {spell_sql.CASED_SPELLS}')
        check(cr.fetchone()[0] > 0, "the new spells keep the codes' capitals")

    print("== an index of an earlier version, on a table in use")
    retired = spell_sql.retired_index_names("spell_test_record")[0]
    with registry.cursor() as cr:
        # the rows with capitals by id alone, as an earlier version kept them
        cr.execute(f'CREATE INDEX "{retired}" ON spell_test_record (id) '
                   f'WHERE {spell_sql.CASED_SPELLS}')
    holder, env_holder = process(registry)
    env_holder["spell.test.record"].search_count([])
    with registry.cursor() as cr:
        started = time.monotonic()
        api.Environment(cr, SUPERUSER_ID, {})["spell.test.record"]._prepare_spell_table()
        waited = time.monotonic() - started
        check(spell_sql.index_state(cr, retired) is True and waited < 2,
              f"a registry load leaves it to a later one while another transaction holds "
              f"the table, waiting {waited:.2f} s")
    holder.close()
    with registry.cursor() as cr:
        api.Environment(cr, SUPERUSER_ID, {})["spell.test.record"]._prepare_spell_table()
    check(spell_index_states(registry) == [True, True, True]
          and spell_index_states(registry, [retired]) == [None],
          "the next one drops it, the indexes of this version stay")

    check(not errors.records,
          "nothing was logged as an error" + "".join(f"\n      {r.getMessage()}" for r in errors.records))
    failed = results.count(False)
    print(f"processes: {len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
