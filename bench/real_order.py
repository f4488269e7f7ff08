"""What pinyin order costs on a real Odoo 17 server: the first page of the
contacts' list (80 records in the model's order) and its count, in the
model's own order and in pinyin order without and with the index of the
order; making that index; and single writes of a contact's name with and
without it.  For each SIZE (default 100,000 and 1,000,000 contacts with
Chinese names and some Latin ones), on a copy of a database with contacts
enabled, made once per size and version of the addon.  Prints one JSON line
per size.  From the repository:

    env/odoo17 sh -c '"$LUMQ_PYTHON" bench/real_order.py [SIZE...]'
"""
import json
import statistics
import subprocess
import sys
import time

from common import chinese_names, progress, side_by_side
from real import bench_db, close_database, copy_database, enable, made_once, odoo_env, psql

timer = time.perf_counter
REPEATS = 7
WRITES = 500


def enabled_db(size):
    """A database with ``size`` contacts enabled (pinyin order off) and
    vacuumed, made once per version of the addon."""
    def make(part):
        progress(f"   enabling contacts in {part} (once)")
        copy_database(bench_db(size), part)
        env = odoo_env(part)
        # some Latin names among the Chinese ones, in both cases
        latin = ["Bob", "alice", "Zoe", "mike", "Émile"] * (size // 500)
        env.cr.execute("UPDATE res_partner SET name = v.name, complete_name = v.name "
                       "FROM (SELECT unnest(%s) AS name, generate_series(1, %s) AS n) v "
                       "WHERE res_partner.id = v.n * 100", [latin, len(latin)])
        env.cr.commit()
        enable(env)
        env.cr.commit()
        close_database(env)
        psql(part, "VACUUM ANALYZE res_partner")

    return made_once(f"lumq_bench_order_{size}_", make)


def stats(times):
    return {"min_ms": round(1000 * min(times), 2),
            "median_ms": round(1000 * statistics.median(times), 2)}


def measure(size):
    db = "lumq_bench_order_run"
    copy_database(enabled_db(size), db)
    env = odoo_env(db)
    cr = env.cr
    admin = env.ref("base.user_admin")
    Partner = env["res.partner"].with_user(admin)
    config = env["lumq_spell.config"].search([("model_name", "=", "res.partner")])
    result = {"size": size, "records": Partner.search_count([])}

    def page():
        # what a list view asks: the first page in the model's order, and the count
        Partner.search_fetch([], ["display_name"], limit=80)
        Partner.search_count([])

    def page_alone():
        Partner.search_fetch([], ["display_name"], limit=80)

    def lists(label):
        env.invalidate_all()
        page()      # untimed: the table's pages are read into memory first
        times = side_by_side({"page": page, "first 80": page_alone}, REPEATS, timer=timer,
                             cleanup=env.invalidate_all)
        result[label] = {name: stats(values) for name, values in times.items()}
        query = Partner._search([], limit=80, order=Partner._order)
        code, params = query.select()
        cr.execute("EXPLAIN " + code, params)
        result[label]["plan"] = [row[0] for row in cr.fetchall()][:6]
        result[label]["first"] = Partner.search([], limit=8).mapped("name")

    lists("own order")

    # the option on: in this transaction the index is not made yet (a large
    # table's is made concurrently once the change is committed)
    config.pinyin_order = True
    env.flush_all()
    lists("pinyin, no index")
    index = "res_partner_lumq_spell_order"
    start = timer()
    cr.commit()     # the index is made after the commit, concurrently
    result["index_concurrently_s"] = round(timer() - start, 2)
    cr.execute("SELECT pg_relation_size(%s::regclass)", [index])
    result["index_mb"] = round(cr.fetchone()[0] / 2 ** 20, 1)
    cr.execute("ANALYZE res_partner")
    cr.commit()
    lists("pinyin, index")

    # the same index made plainly, in a transaction: how long writers would wait
    cr.execute(f'DROP INDEX "{index}"')
    start = timer()
    cr.execute(f'CREATE INDEX "{index}" ON res_partner (lower(lumq_full_spell))')
    result["index_plain_s"] = round(timer() - start, 2)
    cr.commit()

    # single writes of a contact's name, each flushed, with and without the index
    names = chinese_names(WRITES, seed=13)
    ids = Partner.search([], limit=WRITES, order="id").ids

    def writing():
        for id_, name in zip(ids, names):
            Partner.browse(id_).with_context(tracking_disable=True).write({"name": name})
            env.flush_all()

    def rollback():
        cr.rollback()
        env.invalidate_all()

    times = {"index": [], "no index": []}
    for repeat in range(3):
        for label in (("index", "no index") if repeat % 2 == 0 else ("no index", "index")):
            if label == "no index":
                cr.execute(f'DROP INDEX "{index}"')
            start = timer()
            writing()
            times[label].append((timer() - start) / WRITES)
            rollback()
    result["write"] = {label: {"min_ms": round(1000 * min(values), 3),
                               "median_ms": round(1000 * statistics.median(values), 3)}
                       for label, values in times.items()}
    close_database(env)
    subprocess.run(["dropdb", db], check=True)
    print("RESULT " + json.dumps(result, ensure_ascii=False))


if __name__ == "__main__":
    if sys.argv[1:2] == ["--one"]:
        measure(int(sys.argv[2]))
        sys.exit()
    for size in [int(arg) for arg in sys.argv[1:]] or [100_000, 1_000_000]:
        out = subprocess.run([sys.executable, __file__, "--one", str(size)], text=True,
                             stdout=subprocess.PIPE, check=True).stdout
        print([line for line in out.splitlines() if line.startswith("RESULT ")][0], flush=True)
