"""What the letter bar's counts cost on a real Odoo 17 server: the one
grouped count on the first spell that the bar asks for each search, beside
the count that the list itself asks for the same search (search_count), for
contacts with Chinese names, without and with B-tree indexes on the first
spell.  Each size runs on a fresh copy of the real-server benchmarks'
database with lumq_spell and SIZE contacts, enabled and vacuumed.  From the
repository:

    env/odoo17 sh -c '"$LUMQ_PYTHON" bench/real_letters.py [SIZE...]'

Prints the table (sizes default to 100,000 and 1,000,000).
"""
import subprocess
import sys
import time

from common import progress, ratio_row, sample_row, side_by_side, table
from real import bench_db, close_database, copy_database, enable, odoo_env, psql

REPEATS = 9
RUN_DB = "lumq_bench_letters_run"
FIELD = "lumq_first_spell"
TARGET = "<= 1.2"
BENCH_INDEX = f"res_partner__{FIELD}_bench"
# (label, the indexed columns or None): the first spell alone, and with the
# column of the list's own filter (active), which lets the grouped count of
# every contact read the index alone
INDEXES = [
    ("no index", None),
    (f"B-tree index on {FIELD}", f'"{FIELD}"'),
    (f"B-tree index on ({FIELD}, active)", f'"{FIELD}", active'),
]


def searches(env):
    """The searches of the contacts list that are measured: every contact,
    and the name filter for typed texts (the letter's own filter left out,
    as the bar leaves it out)."""
    from odoo.addons.lumq_spell.tests.common import search_domain

    out = {"all contacts": []}
    for text in ("zhang", "zs"):
        out[f"name search {text!r}"] = search_domain(env, "res.partner", "name", text)
    return out


def measure(env, label, size):
    # as the administrator in the web client: with the record rules
    Partner = env["res.partner"].with_user(env.ref("base.user_admin"))
    rows = []
    for name, domain in searches(env).items():
        def grouped(domain=domain):
            # what the bar asks: read_group(domain, ["__count"], [FIELD], lazy=False)
            groups = Partner.read_group(domain, ["__count"], [FIELD], lazy=False)
            assert groups is not None

        def counted(domain=domain):
            # what the list asks for its pager
            Partner.search_count(domain)

        def listed(domain=domain):
            # what the list asks in all: its first page, in its order, and the count
            Partner.search(domain, limit=80)
            Partner.search_count(domain)

        total = Partner.search_count(domain)
        grouped_total = sum(g["__count"] for g in Partner.read_group(domain, ["__count"], [FIELD],
                                                                     lazy=False))
        assert grouped_total == total, (name, grouped_total, total)
        runs = {"grouped": grouped, "count": counted, "list": listed}
        for run in runs.values():
            run()       # untimed: the table's pages are read into memory first
        times = side_by_side(runs, REPEATS, timer=time.perf_counter)
        section = f"letter counts, {size:,} contacts, {label}"
        figure = f"{name} ({total:,} found)"
        rows.append(sample_row(section, f"{figure}: list's count", "ms",
                               [1000 * t for t in times["count"]]))
        rows.append(sample_row(section, f"{figure}: grouped count", "ms",
                               [1000 * t for t in times["grouped"]]))
        rows.append(ratio_row(section, f"{figure}: grouped / list's count", times["grouped"],
                              times["count"], TARGET))
        rows.append(ratio_row(section, f"{figure}: grouped / list's page and count",
                              times["grouped"], times["list"]))
    return rows


def measure_size(size):
    copy_database(bench_db(size), RUN_DB)
    progress(f"   enabling {size:,} contacts")
    env = odoo_env(RUN_DB)
    enable(env)
    env.cr.commit()
    close_database(env)
    # the table as it stands once autovacuum has passed after enabling
    psql(RUN_DB, "VACUUM ANALYZE res_partner")
    rows = []
    for label, columns in INDEXES:
        if columns:
            psql(RUN_DB, f'DROP INDEX IF EXISTS "{BENCH_INDEX}"; '
                         f'CREATE INDEX "{BENCH_INDEX}" ON res_partner ({columns}); '
                         f'ANALYZE res_partner')
        env = odoo_env(RUN_DB)
        rows += measure(env, label, size)
        close_database(env)
    subprocess.run(["dropdb", RUN_DB], check=True)
    return rows


def main(argv):
    sizes = [int(arg) for arg in argv] or [100_000, 1_000_000]
    rows = []
    for size in sizes:
        progress(f"letter counts at {size:,} contacts")
        rows += measure_size(size)
        print(table(rows), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
