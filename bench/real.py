"""Benchmarks of lumq_spell on a real Odoo 17 server with PostgreSQL, in the
table format of the stand-in's benchmarks.  Run through env/odoo17:

    env/odoo17 bench/run [--quick] [R1 R2 R3 R4]

(the sections named, or all; R4 only for the kinds of records and the sizes
named in LUMQ_R4_KINDS and LUMQ_R4_SIZES, comma-separated, where they are
set, e.g. LUMQ_R4_KINDS=leads LUMQ_R4_SIZES=1000000).  Each measurement runs
in a fresh interpreter (``$LUMQ_PYTHON bench/real.py MEASUREMENT ARGS...``)
on a fresh copy of a database that holds lumq_spell and a number of contacts
with Chinese names and nothing else, made once per size and kept
(lumq_bench_<size>); the search of records as people keep them (R4) on
databases of contacts and of crm leads with e-mail addresses, phones and
companies, made once per size (lumq_bench_<kind>_<size>_s<shape>) and enabled
once per version of the addon.  Times are elapsed (wall-clock) times: PostgreSQL does its part of the
work in processes of its own.
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
    GIVEN, SURNAMES, by_turns, chinese_names, enable, progress, rate_row, ratio_row,
    sample_row, side_by_side, table,
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
    # _ matches any character in LIKE: lumq_bench_1000_ must not find lumq_bench_10000_...
    pattern = prefix.replace("_", "\\_") + "%"
    return psql("postgres", f"SELECT datname FROM pg_database WHERE datname LIKE '{pattern}'").split()


def made_once(prefix, make):
    """The database ``prefix`` + this version of the addon, made once:
    ``make(part)`` fills a database named ``part``, renamed once complete;
    the databases of other versions are dropped."""
    db = prefix + addon_version()
    if database_exists(db):
        return db
    for old in databases(prefix):
        subprocess.run(["dropdb", old], check=True)
    part = db + "_part"
    make(part)
    psql("postgres", f'ALTER DATABASE "{part}" RENAME TO "{db}"')
    return db


def runs_on_copies(script, base, options):
    """Run ``script --one DB OPTION`` for each of ``options``, each in a fresh
    process on a fresh copy DB of the database ``base``; print the RESULT
    line of each run."""
    db = "lumq_bench_copy_run"
    for option in options:
        copy_database(base, db)
        out = subprocess.run([sys.executable, script, "--one", db, option], text=True,
                             stdout=subprocess.PIPE, check=True).stdout
        print([line for line in out.splitlines() if line.startswith("RESULT ")][0], flush=True)
        subprocess.run(["dropdb", db], check=True)


def option_off_and_on(script, measure, base_of, default_size):
    """The command line of a benchmark of an option, off against on:
    ``script --one DB on|off`` runs ``measure(DB, on)`` in this process;
    ``script [SIZE]`` runs it off, on, off, on, each in a process of its own
    on a fresh copy of ``base_of(SIZE)``."""
    if sys.argv[1:2] == ["--one"]:
        measure(sys.argv[2], sys.argv[3] == "on")
        return
    size = int(sys.argv[1]) if len(sys.argv) > 1 else default_size
    runs_on_copies(script, base_of(size), ("off", "on", "off", "on"))


def template_copy(db):
    """A copy of the real-server template (base, web, contacts) named after
    ``db``, to be made into it and renamed ``db`` once complete; returns its
    name."""
    progress(f"   making {db} (once)")
    template = subprocess.run([str(ROOT / "env" / "odoo" / "template")], check=True, text=True,
                              stdout=subprocess.PIPE).stdout.strip()
    part = db + "_part"
    copy_database(template, part)
    return part


def bench_db(size):
    """The name of a database with this version of lumq_spell and ``size``
    contacts, made once (databases of other versions are dropped)."""
    db = f"lumq_bench_{size}_{addon_version()}"
    if database_exists(db):
        return db
    for old in databases(f"lumq_bench_{size}_"):
        subprocess.run(["dropdb", old], check=True)
    part = template_copy(db)
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


# -- records as people keep them ------------------------------------------------------

# Contacts: people with Chinese names (a common surname, one or two given
# characters), most with a pinyin e-mail address (zhangwei123@qq.com), all
# with a mobile number, half of them at a company (whose name leads their
# complete name, as Odoo stores it), some others with a company name typed
# in.  Leads: opportunities with a title, a contact name, most with a company
# name, an e-mail address and a phone, four in ten linked to a contact.  Made
# by SQL from generate_series with a fixed seed: the same for the same size.
CITIES = "北京 上海 广州 深圳 杭州 成都 武汉 南京 西安 重庆 苏州 天津".split()
FIRMS = "华信 恒达 金鹏 宏远 鑫源 天成 博雅 中科 东方 联创 安泰 新世纪".split()
TRADES = "科技有限公司 贸易有限公司 电子有限公司 网络科技有限公司 实业有限公司".split()
PRODUCTS = "ERP系统 办公家具 服务器 打印机 网络设备 软件许可 培训服务 云存储".split()
MAIL_DOMAINS = "qq.com 163.com 126.com sina.com gmail.com foxmail.com".split()
# the version of the records' shape: databases of another one are made anew
RECORDS_SHAPE = "1"
WORDS = {"cities": CITIES, "ncities": len(CITIES), "firms": FIRMS, "nfirms": len(FIRMS),
         "trades": TRADES, "ntrades": len(TRADES), "products": PRODUCTS,
         "nproducts": len(PRODUCTS), "domains": MAIL_DOMAINS, "ndomains": len(MAIL_DOMAINS)}
COMPANY_NAME = """(%(cities)s::text[])[1 + floor(random() * %(ncities)s)::int]
                  || (%(firms)s::text[])[1 + floor(random() * %(nfirms)s)::int]
                  || (%(trades)s::text[])[1 + floor(random() * %(ntrades)s)::int]"""


def people_table(cr, table, count, seed):
    """A temporary ``table`` of ``count`` people: n, name, e-mail (NULL for
    some), phone and three random numbers r1 to r3."""
    from pypinyin import lazy_pinyin

    for name, chars in (("lumq_surname", SURNAMES), ("lumq_given", GIVEN)):
        cr.execute(f"DROP TABLE IF EXISTS {name}")
        cr.execute(f"CREATE TEMP TABLE {name} AS SELECT (i - 1)::int AS i, ch, py "
                   f"FROM unnest(%s::text[], %s::text[]) WITH ORDINALITY AS t(ch, py, i)",
                   [list(chars), [lazy_pinyin(char)[0] for char in chars]])
    cr.execute("SELECT setseed(%s)", [seed])
    cr.execute(f"""
        CREATE TEMP TABLE {table} AS
        SELECT n, name,
               CASE WHEN r1 < 0.85 THEN py || CASE WHEN n %% 10 < 7 THEN (n %% 997)::text ELSE '' END
                    || '@' || (%(domains)s::text[])[1 + n %% %(ndomains)s] END AS email,
               '+86 1' || (30 + n %% 60) || ' ' || lpad(((n * 7919) %% 10000)::text, 4, '0')
               || ' ' || lpad(((n * 104729) %% 10000)::text, 4, '0') AS phone,
               r1, r2, r3
          FROM (SELECT x.n, s.ch || g1.ch || coalesce(g2.ch, '') AS name,
                       s.py || g1.py || coalesce(g2.py, '') AS py, x.r1, x.r2, x.r3
                  FROM (SELECT n, floor(%(nsurnames)s * random() ^ 2)::int AS a,
                               floor(%(ngiven)s * random())::int AS b,
                               CASE WHEN random() < 0.6
                                    THEN floor(%(ngiven)s * random())::int END AS c,
                               random() AS r1, random() AS r2, random() AS r3
                          FROM generate_series(1::bigint, %(count)s) AS n) AS x
                  JOIN lumq_surname s ON s.i = x.a
                  JOIN lumq_given g1 ON g1.i = x.b
                  LEFT JOIN lumq_given g2 ON g2.i = x.c) AS p""",
        dict(WORDS, count=count, nsurnames=len(SURNAMES), ngiven=len(GIVEN)))


def insert_contacts(cr, count):
    """``count`` contacts in res_partner, one in twenty a company, by SQL."""
    companies = max(1, count // 20)
    people_table(cr, "lumq_person", count - companies, 0.21)
    cr.execute(f"""
        CREATE TEMP TABLE lumq_company AS
        SELECT k, nextval('res_partner_id_seq')::int AS id, {COMPANY_NAME} AS name
          FROM generate_series(0, %(companies)s - 1) AS k""",
        dict(WORDS, companies=companies))
    cr.execute("""
        INSERT INTO res_partner (id, name, complete_name, is_company, commercial_partner_id,
                                 email, email_normalized, phone, active, type, lang,
                                 create_uid, write_uid, create_date, write_date)
        SELECT id, name, name, true, id, 'sales' || k || '@company' || k || '.cn',
               'sales' || k || '@company' || k || '.cn',
               '+86 10 ' || lpad(((k * 7919) % 100000000)::text, 8, '0'),
               true, 'contact', 'zh_CN', 1, 1, now(), now()
          FROM lumq_company""")
    cr.execute("""
        INSERT INTO res_partner (id, name, complete_name, is_company, parent_id,
                                 commercial_partner_id, company_name, email, email_normalized,
                                 phone, active, type, lang,
                                 create_uid, write_uid, create_date, write_date)
        SELECT p.id, p.name, coalesce(c.name || ', ', '') || p.name, false, c.id,
               coalesce(c.id, p.id),
               CASE WHEN c.id IS NULL AND p.r3 < 0.3
                    THEN (%(cities)s::text[])[1 + p.n %% %(ncities)s]
                         || (%(firms)s::text[])[1 + p.n %% %(nfirms)s] || '公司' END,
               p.email, lower(p.email), p.phone, true, 'contact', 'zh_CN', 1, 1, now(), now()
          FROM (SELECT *, nextval('res_partner_id_seq')::int AS id,
                       CASE WHEN r2 < 0.5 THEN floor(r3 * %(companies)s)::int END AS company
                  FROM lumq_person) AS p
          LEFT JOIN lumq_company c ON c.k = p.company""",
        dict(WORDS, companies=companies))


def insert_leads(cr, count):
    """``count`` opportunities in crm_lead by SQL, and a tenth as many
    contacts, to which four leads in ten are linked."""
    insert_contacts(cr, max(20, count // 10))
    cr.execute("CREATE TEMP TABLE lumq_linked AS SELECT (row_number() OVER (ORDER BY id) - 1)::int "
               "AS k, id FROM res_partner WHERE NOT is_company")
    cr.execute("SELECT count(*) FROM lumq_linked")
    linked = cr.fetchone()[0]
    people_table(cr, "lumq_lead_person", count, 0.42)
    cr.execute(f"""
        INSERT INTO crm_lead (name, type, active, priority, contact_name, partner_name,
                              email_from, email_normalized, phone, partner_id, user_id,
                              company_id, probability, expected_revenue,
                              create_uid, write_uid, create_date, write_date)
        SELECT CASE WHEN p.r2 < 0.4 THEN coalesce(p.company, p.name) || '的' || p.product || '需求'
                    WHEN p.r2 < 0.7 THEN p.product || '询价'
                    ELSE p.product || ' - ' || coalesce(p.company, p.name) END,
               'opportunity', true, floor(p.r3 * 4)::int::text, p.name, p.company,
               p.email, lower(p.email), p.phone, l.id, 2, 1, 10, 1000 * floor(p.r3 * 100),
               1, 1, now(), now()
          FROM (SELECT *, (%(products)s::text[])[1 + n %% %(nproducts)s] AS product,
                       CASE WHEN r3 < 0.7 THEN {COMPANY_NAME} END AS company,
                       CASE WHEN r1 < 0.4 THEN floor(r2 * %(linked)s)::int END AS linked
                  FROM lumq_lead_person) AS p
          LEFT JOIN lumq_linked l ON l.k = p.linked""",
        dict(WORDS, linked=linked))


# what each kind of records is: its model, the module it needs, how it is
# filled, and the search view whose name filter the list view uses
RECORDS = {
    "contacts": {"model": "res.partner", "module": None, "insert": insert_contacts,
                 "view": None},
    "leads": {"model": "crm.lead", "module": "crm", "insert": insert_leads,
              "view": "crm.view_crm_case_opportunities_filter"},
}


def records_db(kind, size):
    """A database of ``size`` records of ``kind`` without lumq_spell, made once."""
    db = f"lumq_bench_{kind}_{size}_s{RECORDS_SHAPE}"
    if database_exists(db):
        return db
    part = template_copy(db)
    module = RECORDS[kind]["module"]
    if module:
        install(part, module)
    env = odoo_env(part)
    RECORDS[kind]["insert"](env.cr, size)
    env.cr.commit()
    close_database(env)
    psql("postgres", f'ALTER DATABASE "{part}" RENAME TO "{db}"')
    return db


def install(db, module):
    LOGS.mkdir(parents=True, exist_ok=True)
    with open(LOGS / "bench-install.log", "a") as log:
        subprocess.run([sys.executable, os.environ["LUMQ_ODOO_BIN"], "-c", os.environ["LUMQ_ODOO_CONF"],
                        "-d", db, "-i", module, "--stop-after-init", "--log-level=warn"],
                       check=True, stdout=log, stderr=subprocess.STDOUT)


def enabled_records_db(kind, size):
    """A copy of records_db with this version of lumq_spell installed and the
    model enabled, vacuumed and analysed after enabling as autovacuum would."""
    def make(part):
        progress(f"   enabling {kind} in {part} (once)")
        copy_database(records_db(kind, size), part)
        install(part, "lumq_spell")
        env = odoo_env(part)
        model = RECORDS[kind]["model"]
        enable(env, model)
        close_database(env)
        psql(part, f"VACUUM ANALYZE {model.replace('.', '_')}")

    return made_once(f"lumq_bench_{kind}_{size}_s{RECORDS_SHAPE}_", make)


RECORD_QUERIES = ("zs", "zhang", "wangwei", "wxm", "王伟")


def measure_records_search(kind, size, repeats):
    """The list view's search of each of RECORD_QUERIES in the name field of
    the model's search view (a page of 80 in the default order, and the
    count): the extended filter, the same without the rewrite of its spell
    leaves into LIKE (as it was searched before), and the filter alone."""
    from lxml import etree
    from odoo.tools.safe_eval import safe_eval

    db = enabled_records_db(kind, size)
    env = odoo_env(db)
    spec = RECORDS[kind]
    Model = env[spec["model"]]
    view_id = env.ref(spec["view"]).id if spec["view"] else None

    def name_domains():
        arch = Model.get_view(view_id, view_type="search")["arch"]
        field = etree.fromstring(arch).find(".//field[@name='name']")
        return {text: safe_eval(field.get("filter_domain"), {"self": text})
                for text in RECORD_QUERIES}

    extended = name_domains()
    env["lumq_spell.config"].search([]).extended_search_view_ids.write({"active": False})
    env.registry.clear_all_caches()
    alone = name_domains()
    env.cr.rollback()
    env.registry.clear_all_caches()
    env.invalidate_all()
    assert extended != alone, f"the {kind}' name filter is not extended"
    assert Model._spell_domain_for_sql(extended["zs"]) != extended["zs"], \
        "the spells are searched by ILIKE"

    cls = type(Model)

    def unrewritten(func):
        """``func`` run with the spell leaves searched by ILIKE, as they were
        before they were rewritten into LIKE."""
        def run():
            cls._spell_domain_for_sql = lambda self, domain: domain
            try:
                return func()
            finally:
                del cls._spell_domain_for_sql
        return run

    def searching(domain):
        def run():
            # what the list view asks: the first page and the count
            Model.search(domain, limit=80)
            Model.search_count(domain)
        return run

    out = {}
    for text in RECORD_QUERIES:
        found = Model.search(extended[text]).ids
        assert found == unrewritten(lambda: Model.search(extended[text]).ids)(), \
            f"{text!r} finds other {kind} once rewritten"
        runs = {"extended": searching(extended[text]),
                "unrewritten": unrewritten(searching(extended[text])),
                "alone": searching(alone[text])}
        for run in runs.values():
            run()       # untimed: the table's pages are read into memory first
        out[text] = side_by_side(runs, repeats, timer=timer)
        out[text]["found"] = [len(found), Model.search_count(alone[text])]
    env.cr.rollback()
    close_database(env)
    return out


MEASUREMENTS = {"enable": measure_enable, "save": measure_saving, "search": measure_search,
                "records": measure_records_search}


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
        progress(f"   searching among {size:,} name-only contacts ({repeats} repeats)")
        measured = run_measurement("search", size, repeats)
        for kind, label in (("plain", "no index on the spells"),
                            ("indexed", "trigram indexes on the spells")):
            for text, times in measured[kind].items():
                what = f"{size:,} name-only contacts, '{text}', {label}"
                out += [
                    rate_row(section, f"{what}: extended filter", "searches/s", 1,
                             times["extended"]),
                    rate_row(section, f"{what}: name filter alone", "searches/s", 1,
                             times["alone"]),
                    ratio_row(section, f"{what}: extended / name alone", times["extended"],
                              times["alone"], "<= 1.5"),
                ]
    return out


def chosen(variable, values):
    """The ``values`` named in the environment variable (comma-separated),
    or all of them where it is not set."""
    named = os.environ.get(variable)
    if not named:
        return list(values)
    names = [name.strip() for name in named.split(",")]
    unknown = set(names) - set(map(str, values))
    if unknown:
        sys.exit(f"{variable}: {', '.join(sorted(unknown))} not among "
                 f"{', '.join(map(str, values))}")
    return [value for value in values if str(value) in names]


def records_rows(sizes, repeats):
    section = "R4 searching records as people keep them"
    out = []
    for kind in chosen("LUMQ_R4_KINDS", RECORDS):
        for size in chosen("LUMQ_R4_SIZES", sizes):
            progress(f"   searching {len(RECORD_QUERIES)} texts among {size:,} {kind} "
                     f"({repeats} repeats)")
            measured = run_measurement("records", kind, size, repeats)
            for text, times in measured.items():
                what = f"{size:,} {kind}, '{text}'"
                out += [
                    rate_row(section, f"{what}: extended filter", "searches/s", 1,
                             times["extended"]),
                    rate_row(section, f"{what}: filter alone", "searches/s", 1, times["alone"]),
                    ratio_row(section, f"{what}: extended / alone", times["extended"],
                              times["alone"], "<= 1.5"),
                    ratio_row(section, f"{what}: extended, spells by ILIKE / alone",
                              times["unrewritten"], times["alone"]),
                    sample_row(section, f"{what}: records found, extended", "records",
                               [times["found"][0]]),
                    sample_row(section, f"{what}: records found, alone", "records",
                               [times["found"][1]]),
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


SECTIONS = ("R1", "R2", "R3", "R4")


def main(argv):
    quick = "--quick" in argv
    sections = [arg for arg in argv if arg != "--quick"] or list(SECTIONS)
    if not set(sections) <= set(SECTIONS):
        sys.exit("usage: env/odoo17 bench/run [--quick] [R1 R2 R3 R4]")
    started = timer()
    rows = []
    if "R1" in sections:
        progress("R1 enabling and deleting")
        rows += enable_rows({1_000: 1, 10_000: 1} if quick
                            else {10_000: 3, 100_000: 2, 1_000_000: 1})
    if "R2" in sections:
        progress("R2 saving records")
        rows += saving_rows(1_000, 100, 2) if quick else saving_rows(10_000, 1_000, 5)
    if "R3" in sections:
        progress("R3 searching by pinyin, name-only records")
        rows += search_rows([10_000] if quick else [100_000, 1_000_000], 3 if quick else 7)
    if "R4" in sections:
        progress("R4 searching records as people keep them")
        rows += records_rows([10_000] if quick else [100_000, 1_000_000], 3 if quick else 7)
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
        result = MEASUREMENTS[sys.argv[1]](*(int(arg) if arg.isdigit() else arg
                                            for arg in sys.argv[2:]))
        json.dump(result, sys.stdout)
        sys.stdout.write("\n")
    else:
        main(sys.argv[1:])
