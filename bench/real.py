"""Benchmarks of lumq_spell on a real Odoo 17 server with PostgreSQL, in the
table format of the stand-in's benchmarks.  Run through env/odoo17:

    env/odoo17 bench/run [--quick]

Each measurement runs in a fresh interpreter (``$LUMQ_PYTHON bench/real.py
MEASUREMENT ARGS...``) on a fresh copy of a database that holds lumq_spell
and a number of contacts with Chinese names, made once per size and kept
(lumq_bench_<size>).  Times are elapsed (wall-clock) times: PostgreSQL does
its part of the work in processes of its own.
"""
import gc
import hashlib
import json
import os
import subprocess
import sys
import time
from contextlib import closing
from pathlib import Path

from common import (
    by_turns, chinese_names, enable, progress, rate_row, ratio_row, sample_row, side_by_side, table,
)

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, os.environ["LUMQ_ODOO_SRC"])
LOGS = Path(os.environ.get("LUMQ_LOG_DIR") or ROOT / "build-real" / "logs")
timer = time.perf_counter

SPELLS = ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell")


def psql(db, query):
    return subprocess.run(["psql", "-d", db, "-Atc", query], check=True, text=True,
                          stdout=subprocess.PIPE).stdout.strip()


def database_exists(db):
    return psql("postgres", f"SELECT count(*) FROM pg_database WHERE datname = '{db}'") == "1"


def copy_database(source, target):
    subprocess.run(["dropdb", "--if-exists", target], check=True)
    subprocess.run(["createdb", "-T", source, target], check=True)


def odoo_env(db):
    """A superuser environment on the database, with its own cursor."""
    import odoo
    from odoo import SUPERUSER_ID, api
    from odoo.tools import config

    if not config.get("db_host"):
        LOGS.mkdir(parents=True, exist_ok=True)
        config.parse_config(["-c", os.environ["LUMQ_ODOO_CONF"], "--no-http",
                             "--log-level=warn", f"--logfile={LOGS / 'bench.log'}"])
    registry = odoo.modules.registry.Registry(db)
    return api.Environment(registry.cursor(), SUPERUSER_ID, {})


def close_database(env):
    """Close the cursor and every connection of this process to the
    database, so that it can be renamed or dropped."""
    import odoo

    db = env.cr.dbname
    env.cr.close()
    odoo.modules.registry.Registry.delete(db)
    odoo.sql_db.close_db(db)


# -- the databases --------------------------------------------------------------------

def addon_version():
    """A digest of the addon and its model sources: a database made with
    another version of them is made anew."""
    digest = hashlib.sha256()
    for folder in ("model_sources", "addon/lumq_spell"):
        for path in sorted((ROOT / folder).rglob("*")):
            if path.is_file() and "tests" not in path.relative_to(ROOT / folder).parts:
                digest.update(path.read_bytes())
    return digest.hexdigest()[:8]


def databases(prefix):
    return psql("postgres", f"SELECT datname FROM pg_database WHERE datname LIKE '{prefix}%'").split()


def bench_db(size):
    """The name of a database with this version of lumq_spell and ``size``
    contacts, made once (databases of other versions are dropped)."""
    db = f"lumq_bench_{size}_{addon_version()}"
    if database_exists(db):
        return db
    for old in databases(f"lumq_bench_{size}_"):
        subprocess.run(["dropdb", old], check=True)
    progress(f"   making {db} (once)")
    template = subprocess.run([str(ROOT / "env" / "odoo" / "template")], check=True, text=True,
                              stdout=subprocess.PIPE).stdout.strip()
    part = db + "_part"
    copy_database(template, part)
    LOGS.mkdir(parents=True, exist_ok=True)
    with open(LOGS / "bench-install.log", "w") as log:
        subprocess.run([sys.executable, os.environ["LUMQ_ODOO_BIN"], "-c", os.environ["LUMQ_ODOO_CONF"],
                        "-d", part, "-i", "lumq_spell", "--stop-after-init", "--log-level=warn"],
                       check=True, stdout=log, stderr=subprocess.STDOUT)
    # Contacts are inserted by SQL: as the ORM would store them, much faster.
    env = odoo_env(part)
    names = chinese_names(size)
    for start in range(0, size, 50_000):
        env.cr.execute("""
            INSERT INTO res_partner (name, complete_name, active, type, is_company, lang,
                                     create_uid, write_uid, create_date, write_date)
            SELECT name, name, true, 'contact', false, 'en_US', 1, 1, now(), now()
              FROM unnest(%s) AS name""", [names[start:start + 50_000]])
    env.cr.commit()
    close_database(env)
    psql("postgres", f'ALTER DATABASE "{part}" RENAME TO "{db}"')
    return db


# -- measurements, each in a fresh process ------------------------------------------------

def resident_bytes(key="VmRSS"):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1]) * 1024
    raise KeyError(key)


def measure_enable(size):
    """Enabling contacts, from creating the configuration to a search on the
    spells; then deleting the configuration; and the transliteration's own
    time on the same names (pypinyin, as the addon calls it)."""
    db = "lumq_bench_run"
    copy_database(bench_db(size), db)
    env = odoo_env(db)
    env.cr.execute("SELECT name FROM res_partner WHERE name IS NOT NULL")
    names = [row[0] for row in env.cr.fetchall()]
    spells_of = env["lumq_spell.spell_mixin"]._get_spells
    wanted = spells_of(names[-1])[0]

    gc.collect()
    with open("/proc/self/clear_refs", "w") as clear_refs:
        clear_refs.write("5")       # the peak of resident memory starts afresh
    resident = resident_bytes()
    start = timer()
    config = enable(env)
    found = env["res.partner"].search([("lumq_full_spell", "=", wanted)], limit=1)
    env.cr.commit()
    enabling = timer() - start
    peak = resident_bytes("VmHWM") - resident
    assert found, "the spells cannot be searched"

    start = timer()
    config.unlink()
    env.cr.commit()
    deleting = timer() - start

    start = time.process_time()
    for name in names:
        spells_of(name)
    transliterating = time.process_time() - start
    close_database(env)
    subprocess.run(["dropdb", db], check=True)
    return {"records": len(names), "enabling": enabling, "peak_growth": peak,
            "deleting": deleting, "transliteration": transliterating}


def measure_saving(size, count, repeats):
    """``count`` single creates, then ``count`` single writes of the name,
    on contacts enabled and not, side by side in one process."""
    envs = {}
    for label in ("enabled", "plain"):
        db = f"lumq_bench_save_{label}"
        copy_database(bench_db(size), db)
        envs[label] = env = odoo_env(db)
        if label == "enabled":
            enable(env)
            env.cr.commit()
    names = chinese_names(count, seed=11)

    def creating(env):
        def run():
            Partner = env["res.partner"].with_context(tracking_disable=True)
            for name in names:
                Partner.create({"name": name})
                env.flush_all()
        return run

    def writing(env):
        def run():
            partners = env["res.partner"].with_context(tracking_disable=True).search(
                [], limit=count, order="id")
            for partner, name in zip(partners, names):
                partner.write({"name": name + "X"})
                env.flush_all()
        return run

    def rollback():
        for env in envs.values():
            env.cr.rollback()
            env.invalidate_all()

    out = {}
    for what, make in (("create", creating), ("write", writing)):
        out[what] = side_by_side({label: make(env) for label, env in envs.items()}, repeats,
                                 cleanup=rollback, timer=timer)
    for label, env in envs.items():
        close_database(env)
        subprocess.run(["dropdb", f"lumq_bench_save_{label}"], check=True)
    return out


SEARCHED = ("zs", "zhang")     # initials, and a syllable of three letters and more


def measure_search(size, repeats):
    """The web client's search for ``text`` in the contacts' name field: the
    extended filter against the name filter alone, without and with trigram
    indexes on the spells."""
    from lxml import etree
    from odoo.tools.safe_eval import safe_eval

    db = f"lumq_bench_search_{size}_{addon_version()}"
    if not database_exists(db):
        for old in databases(f"lumq_bench_search_{size}_"):
            subprocess.run(["dropdb", old], check=True)
        progress(f"   enabling contacts in {db} (once)")
        copy_database(bench_db(size), db + "_part")
        env = odoo_env(db + "_part")
        enable(env)
        env.cr.commit()
        close_database(env)
        # the table as it stands once autovacuum has passed after enabling
        psql(db + "_part", "VACUUM ANALYZE res_partner")
        psql("postgres", f'ALTER DATABASE "{db}_part" RENAME TO "{db}"')
    run_db = "lumq_bench_search_run"
    copy_database(db, run_db)
    env = odoo_env(run_db)
    Partner = env["res.partner"]

    def name_domains(arch):
        field = etree.fromstring(arch).find(".//field[@name='name']")
        return {text: safe_eval(field.get("filter_domain"), {"self": text}) for text in SEARCHED}

    extended = name_domains(Partner.get_view(view_type="search")["arch"])
    # the name filter alone: the combined arch without the extension view
    env["lumq_spell.config"].search([]).extended_search_view_ids.write({"active": False})
    env.registry.clear_all_caches()
    alone = name_domains(Partner.get_view(view_type="search")["arch"])
    env.cr.rollback()
    env.registry.clear_all_caches()
    env.invalidate_all()
    assert extended != alone, "the contacts' name filter is not extended"

    def searching(domain):
        def run():
            # what the list view asks: the first page and the count
            Partner.search(domain, limit=80)
            Partner.search_count(domain)
        return run

    def measure():
        out = {}
        for text in SEARCHED:
            runs = {"extended": searching(extended[text]), "alone": searching(alone[text])}
            for run in runs.values():
                run()       # untimed: the table's pages are read into memory first
            out[text] = side_by_side(runs, repeats, timer=timer)
        return out

    out = {"plain": measure()}
    # the same with trigram indexes on the two spells, as index='trigram' makes
    for column in ("lumq_full_spell", "lumq_simple_spell"):
        env.cr.execute(f'CREATE INDEX "res_partner__{column}_trgm" ON res_partner '
                       f'USING gin ("{column}" gin_trgm_ops)')
    env.cr.execute("ANALYZE res_partner")
    out["indexed"] = measure()
    env.cr.rollback()
    close_database(env)
    subprocess.run(["dropdb", run_db], check=True)
    return out


MEASUREMENTS = {"enable": measure_enable, "save": measure_saving, "search": measure_search}


# -- the orchestra ----------------------------------------------------------------------------

def run_measurement(*args):
    done = subprocess.run([sys.executable, __file__, *map(str, args)], check=True,
                          stdout=subprocess.PIPE, text=True, cwd=ROOT)
    return json.loads(done.stdout)


def enable_rows(plan):
    section = "R1 enabling and deleting"
    runs = by_turns(plan, lambda size: run_measurement("enable", size), "enabling and deleting")
    out = []
    for size, measured in runs.items():
        enabling = [run["enabling"] for run in measured]
        out += [
            rate_row(section, f"enable, {size:,} contacts", "records/s", size, enabling,
                     ">= 5,000" if size >= 100_000 else ""),
            sample_row(section, f"enable, {size:,} contacts: peak memory growth per record",
                "bytes/record", [run["peak_growth"] / size for run in measured],
                "<= 1024" if size >= 100_000 else ""),
            ratio_row(section, f"enable, {size:,} contacts: transliteration's own time / enabling",
                      [run["transliteration"] for run in measured], enabling),
            sample_row(section, f"delete the configuration, {size:,} contacts", "seconds",
                [run["deleting"] for run in measured], "<= 2" if size >= 100_000 else ""),
        ]
    sizes = sorted(runs)
    for small, large in zip(sizes, sizes[1:]):
        per = {size: [run["enabling"] / size for run in runs[size]] for size in (small, large)}
        out.append(ratio_row(section, f"time per record, {large:,} / {small:,} contacts",
                             per[large], per[small], "~ 1 (linear)"))
    return out


def saving_rows(size, count, repeats):
    section = "R2 saving records"
    progress(f"   {count:,} single creates and writes, enabled and not ({repeats} repeats)")
    measured = run_measurement("save", size, count, repeats)
    out = []
    for what, times in measured.items():
        out += [
            rate_row(section, f"single {what}s of a contact, enabled", f"{what}s/s", count,
                     times["enabled"]),
            rate_row(section, f"single {what}s of a contact, not enabled", f"{what}s/s", count,
                     times["plain"]),
            ratio_row(section, f"single {what}s: enabled / not enabled", times["enabled"],
                      times["plain"], "<= 1.15"),
        ]
    return out


def search_rows(sizes, repeats):
    section = "R3 searching by pinyin"
    out = []
    for size in sizes:
        progress(f"   searching 'zs' among {size:,} contacts ({repeats} repeats)")
        measured = run_measurement("search", size, repeats)
        for kind, label in (("plain", "no index on the spells"),
                            ("indexed", "trigram indexes on the spells")):
            for text, times in measured[kind].items():
                what = f"{size:,} contacts, '{text}', {label}"
                out += [
                    rate_row(section, f"{what}: extended filter", "searches/s", 1,
                             times["extended"]),
                    rate_row(section, f"{what}: name filter alone", "searches/s", 1,
                             times["alone"]),
                    ratio_row(section, f"{what}: extended / name alone", times["extended"],
                              times["alone"], "<= 1.5"),
                ]
    return out


def versions():
    import platform

    import pypinyin

    import odoo

    server = psql("postgres", "SHOW server_version").split()[0]
    system = platform.freedesktop_os_release().get("PRETTY_NAME", platform.system())
    return [f"Host: a real Odoo {odoo.release.version} server on {system}, PostgreSQL {server}, "
            f"Python {platform.python_version()}, {os.cpu_count()} CPUs, "
            f"pypinyin {pypinyin.__version__}"]


def main(argv):
    quick = argv == ["--quick"]
    if argv and not quick:
        sys.exit("usage: env/odoo17 bench/run [--quick]")
    started = timer()
    rows = []
    progress("R1 enabling and deleting")
    rows += enable_rows({1_000: 1, 10_000: 1} if quick else {10_000: 3, 100_000: 2, 1_000_000: 1})
    progress("R2 saving records")
    rows += saving_rows(1_000, 100, 2) if quick else saving_rows(10_000, 1_000, 5)
    progress("R3 searching by pinyin")
    rows += search_rows([10_000] if quick else [100_000, 1_000_000], 3 if quick else 7)
    print(f"lumq_spell benchmarks on a real Odoo 17 server, "
          f"{time.strftime('%Y-%m-%d %H:%M %Z')} ({(timer() - started) / 60:.1f} minutes)"
          + (", QUICK SMOKE RUN: not a result" if quick else ""))
    for line in versions():
        print(line)
    print("Times are elapsed times; min and median over the n repeats (a rate from the fastest "
          "or the median repeat,\na ratio of the two minimums or medians); a target is judged "
          "on the min column.\n")
    print(table(rows))


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] in MEASUREMENTS:
        result = MEASUREMENTS[sys.argv[1]](*map(int, sys.argv[2:]))
        json.dump(result, sys.stdout)
        sys.stdout.write("\n")
    else:
        main(sys.argv[1:])
