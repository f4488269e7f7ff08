"""What fuzzy pinyin costs on a real Odoo 17 server, the option off against
on, for contacts as people keep them (Chinese names, pinyin e-mails, phones,
companies): storage per record, enabling rate, and the time of the list
view's search (a page of 80 and the count, through the contacts' search view)
and of name search (a drop-down's 8), exact and fuzzy queries.  Each run
(off, on, off, on) is a fresh process on a fresh copy of a database with SIZE
contacts and lumq_spell installed, made once per size and version of the
addon (default 100,000).  Prints one JSON line per run.  From the repository:

    env/odoo17 sh -c '"$LUMQ_PYTHON" bench/real_fuzzy.py [SIZE]'
"""
import json
import time

from common import enable, progress
from real import (
    close_database, copy_database, install, made_once, odoo_env, option_off_and_on, psql, records_db,
)

timer = time.perf_counter
REPEATS = 5
# exact queries, then fuzzy spellings of names the contacts have
QUERIES = ("zs", "zhangwei", "wangwei", "wxm", "zanwei", "nixiaonong", "huanmin")


def installed_db(size):
    """A copy of the contacts' database with lumq_spell installed, no model
    enabled, made once per version of the addon."""
    def make(part):
        progress(f"   installing lumq_spell in {part} (once)")
        copy_database(records_db("contacts", size), part)
        install(part, "lumq_spell")

    return made_once(f"lumq_bench_fuzzy_{size}_", make)


def best_ms(func, cleanup):
    times = []
    for _ in range(REPEATS):
        cleanup()
        start = timer()
        func()
        times.append(timer() - start)
    return round(1000 * min(times), 1)


def measure(db, option):
    env = odoo_env(db)
    # importable once the server knows its addons
    from odoo.addons.lumq_spell.tests.common import search_domain

    cr = env.cr
    count = env["res.partner"].with_context(active_test=False).search_count([])
    start = timer()
    enable(env, "res.partner", fuzzy_pinyin=option)
    enabling = timer() - start
    result = {"option": option, "records": count, "enable_s": round(enabling, 1),
              "enable_rate": round(count / enabling)}
    cr.execute("""SELECT avg(coalesce(pg_column_size(lumq_full_spell), 0)
                             + coalesce(pg_column_size(lumq_simple_spell), 0)
                             + coalesce(pg_column_size(lumq_first_spell), 0)),
                         avg(coalesce(pg_column_size(lumq_spell_folded), 0))
                    FROM res_partner""")
    three, folded = cr.fetchone()
    result.update(bytes_three=round(float(three), 1), bytes_folded=round(float(folded), 1))
    close_database(env)
    psql(db, "VACUUM ANALYZE res_partner")
    env = odoo_env(db)
    cr = env.cr
    cr.execute("SELECT pg_total_relation_size('res_partner')")
    result["table_mb"] = round(cr.fetchone()[0] / 2 ** 20, 1)
    Partner = env["res.partner"].with_user(env.ref("base.user_admin"))
    searches = {}
    for text in QUERIES:
        domain = search_domain(env, "res.partner", "name", text)

        def listing():
            Partner.search_fetch(domain, ["display_name"], limit=80)
            Partner.search_count(domain)

        listing()   # untimed: the table's pages are read into memory first
        searches[text] = {
            "list_ms": best_ms(listing, env.invalidate_all),
            "name_search_ms": best_ms(lambda: Partner.name_search(text, limit=8),
                                      env.invalidate_all),
            "found": Partner.search_count(domain),
        }
    result["searches"] = searches
    close_database(env)
    print("RESULT " + json.dumps(result))


if __name__ == "__main__":
    option_off_and_on(__file__, measure, installed_db, 100_000)
