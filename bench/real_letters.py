"""What the letter bar's counts cost on a real Odoo 17 server, beside the
count that the list itself asks for the same search, on contacts as people
keep them (Chinese names, e-mails, phones, companies).

The web client's list counts no further than its pager's limit (10,000
records, then "10000+"): search_count(domain, limit=10001).  Once the list
has loaded, the bar asks lumq_spell_letter_counts(domain, 10000, beyond):
where the pager counted no further than the limit, one count grouped by the
first spell of at most 10,001 records; where it counted past it (beyond),
only a look through the index of the first spells at the first rows of
each letter.  Hovering over a letter
of a larger search asks for that letter's own count, capped alike.  The
whole counts (what the list and the bar asked before they were capped) are
measured too, for reference.

Each size runs on a fresh copy of the benchmarks' database of enabled
contacts, with the option on (and so its index).  From the repository:

    env/odoo17 sh -c '"$LUMQ_PYTHON" bench/real_letters.py [SIZE...]'

Prints the table (sizes default to 100,000 and 1,000,000).
"""
import subprocess
import sys
import time

from common import progress, ratio_row, sample_row, side_by_side, table
from real import close_database, copy_database, enabled_records_db, odoo_env, psql

REPEATS = 9
RUN_DB = "lumq_bench_letters_run"
FIELD = "lumq_first_spell"
TARGET = "<= 1.2"
# the web client's count limit of lists and kanban views
PAGER_LIMIT = 10000
# the letter hovered over
HOVERED = "Z"


def searches(env):
    """The searches of the contacts list that are measured: every contact,
    and the name filter for typed texts (the letter's own filter left out,
    as the bar leaves it out)."""
    from odoo.addons.lumq_spell.tests.common import search_domain

    out = {"all contacts": []}
    for text in ("zhang", "zs"):
        out[f"name search {text!r}"] = search_domain(env, "res.partner", "name", text)
    return out


def check_counts(Partner, domain, counts, total):
    """The bar's counts agree with a whole count grouped by the first spell."""
    whole = {}
    for group in Partner.read_group(domain, ["__count"], [FIELD], lazy=False):
        key = group[FIELD] if group[FIELD] in counts else "#"
        whole[key] = whole.get(key, 0) + group["__count"]
    for key, count in counts.items():
        if total <= PAGER_LIMIT:
            assert count == whole.get(key, 0), (key, count, whole)
        elif key in whole:
            assert count is None, (key, count, whole)
        else:
            # none, or not told at this cost
            assert count in (0, None), (key, count, whole)


def measure(env, size):
    # as the administrator in the web client: with the record rules
    Partner = env["res.partner"].with_user(env.ref("base.user_admin"))
    rows = []
    section = f"letter counts, {size:,} contacts"
    for name, domain in searches(env).items():
        hovered = domain + [(FIELD, "=", HOVERED)]
        total = Partner.search_count(domain)
        beyond = total > PAGER_LIMIT
        check_counts(Partner, domain,
                     Partner.lumq_spell_letter_counts(domain, PAGER_LIMIT, beyond), total)
        runs = {
            # what the list asks for its pager
            "count": lambda domain=domain: Partner.search_count(domain, limit=PAGER_LIMIT + 1),
            # what the bar asks, knowing what the pager counted
            "bar": lambda domain=domain, beyond=beyond: Partner.lumq_spell_letter_counts(
                domain, PAGER_LIMIT, beyond),
            # what hovering over a letter asks, past the limit
            "hover": lambda: Partner.search_count(hovered, limit=PAGER_LIMIT + 1),
            # the whole counts, for reference
            "whole count": lambda domain=domain: Partner.search_count(domain),
            "whole grouped": lambda domain=domain: Partner.read_group(
                domain, ["__count"], [FIELD], lazy=False),
        }
        for run in runs.values():
            run()       # untimed: the table's pages are read into memory first
        times = side_by_side(runs, REPEATS, timer=time.perf_counter)
        figure = f"{name} ({total:,} found)"
        for label, run in (("list's count", "count"), ("letter counts", "bar"),
                           (f"hover over {HOVERED}", "hover"), ("whole count", "whole count"),
                           ("whole grouped count", "whole grouped")):
            rows.append(sample_row(section, f"{figure}: {label}", "ms",
                                   [1000 * t for t in times[run]]))
        rows.append(ratio_row(section, f"{figure}: letter counts / list's count", times["bar"],
                              times["count"], TARGET))
        rows.append(ratio_row(section, f"{figure}: hover / list's count", times["hover"],
                              times["count"]))
    return rows


def measure_size(size):
    copy_database(enabled_records_db("contacts", size), RUN_DB)
    env = odoo_env(RUN_DB)
    config = env["lumq_spell.config"].search([("model_name", "=", "res.partner")])
    config.show_letter_counts = True
    env.cr.commit()
    # a large table's index of first spells is built concurrently after the commit
    from odoo.addons.lumq_spell.models import spell_sql
    index = spell_sql.first_index_name("res_partner")
    start = time.perf_counter()
    while not spell_sql.index_state(env.cr, index):
        env.cr.rollback()
        time.sleep(0.5)
    progress(f"   index of first spells ready after {time.perf_counter() - start:.1f} s")
    env.cr.execute("SELECT pg_relation_size(%s::regclass)", [index])
    index_mb = env.cr.fetchone()[0] / 2 ** 20
    env.cr.rollback()
    close_database(env)
    psql(RUN_DB, "VACUUM ANALYZE res_partner")
    env = odoo_env(RUN_DB)
    rows = [sample_row(f"letter counts, {size:,} contacts", "index of first spells", "MB",
                       [index_mb])]
    rows += measure(env, size)
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
