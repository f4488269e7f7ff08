"""What "Search as people type" costs on a real Odoo 17 server, the option
off against on, for contacts with Chinese names: storage per record,
enabling rate, switching the option, search and name search time.  Prints
one JSON line per run (off, on, off, on), each in a fresh process on a fresh
copy of the real-server benchmarks' database with lumq_spell and SIZE
contacts (default 20,000).  From the repository:

    env/odoo17 sh -c '"$LUMQ_PYTHON" bench/real_typed.py [SIZE]'
"""
import json
import time

from common import compute_spells, enable
from real import bench_db, close_database, odoo_env, option_off_and_on

timer = time.perf_counter


def measure(db, option):
    env = odoo_env(db)
    cr = env.cr
    count = env["res.partner"].with_context(active_test=False).search_count([])
    start = timer()
    config_rec = enable(env, "res.partner", search_as_typed=option)
    enabling = timer() - start
    result = {"option": option, "records": count, "enable_s": enabling,
              "enable_rate": count / enabling}
    cr.execute("""SELECT avg(coalesce(pg_column_size(lumq_full_spell), 0)
                             + coalesce(pg_column_size(lumq_simple_spell), 0)
                             + coalesce(pg_column_size(lumq_first_spell), 0)),
                         avg(coalesce(pg_column_size(lumq_spell_variants), 0)),
                         avg(coalesce(length(lumq_spell_variants), 0)),
                         max(coalesce(length(lumq_spell_variants), 0))
                    FROM res_partner""")
    three, variants, chars, longest = cr.fetchone()
    result.update(bytes_three=float(three), bytes_variants=float(variants),
                  chars_variants=float(chars), longest_variants=longest)
    from odoo.addons.lumq_spell.tests.common import search_domain
    Partner = env["res.partner"]
    searches = {}
    for text in ("zs", "zhangsan", "Zhang San", "张s", "zgf", "li xiao long"):
        domain = search_domain(env, "res.partner", "name", text)
        times, found = [], 0
        for _ in range(5):
            env.invalidate_all()
            start = timer()
            found = len(Partner.search(domain, limit=80))
            times.append(timer() - start)
        ntimes = []
        for _ in range(5):
            env.invalidate_all()
            start = timer()
            Partner.name_search(text, limit=8)
            ntimes.append(timer() - start)
        searches[text] = {"web_ms": 1000 * min(times), "name_search_ms": 1000 * min(ntimes),
                          "found": found}
    result["searches"] = searches
    # switching the option on this model: every record computed again
    start = timer()
    config_rec.search_as_typed = not option
    compute_spells(env, config_rec)
    result["switch_s"] = timer() - start
    cr.rollback()
    close_database(env)
    print("RESULT " + json.dumps(result))


if __name__ == "__main__":
    option_off_and_on(__file__, measure, bench_db, 20000)
