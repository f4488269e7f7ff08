"""Enabling contacts online, on a real Odoo 17 server as it runs in production:
prefork (HTTP and cron workers) with Odoo's default time and memory limits.
Run through env/odoo17:

    env/odoo17 sh -c '"$LUMQ_PYTHON" bench/real_online.py [--quick]'

The contacts are kept as people keep them (a Chinese name, a pinyin e-mail
address, a phone number, a company name); their database is made once per
size (lumq_online_<size>) and copied for the run, which installs the addon.  An
administrator creates the configuration by JSON-RPC, as the form does, and
the run waits until the configuration says the spells are ready.  Meanwhile
a loop reads single contacts and saves single contacts by JSON-RPC, and
notes how long each request takes; the server's processes are watched for
their peak memory.
"""
import http.cookiejar
import json
import os
import random
import signal
import subprocess
import sys
import threading
import time
import urllib.request
from pathlib import Path

from pypinyin import lazy_pinyin

from common import chinese_names, progress
from real import LOGS, copy_database, database_exists, psql, template_copy

timer = time.monotonic
# Odoo's defaults but for the workers, which a prefork server needs
SERVER_OPTIONS = ["--workers=2", "--max-cron-threads=2"]


def online_db(size):
    """A database with ``size`` contacts as people keep them, made once; the
    addon is installed into each copy, so that every version of it runs on
    the same contacts."""
    db = f"lumq_online_{size}"
    if database_exists(db):
        return db
    part = template_copy(db)
    rnd = random.Random(5)
    companies = [name + suffix for name in chinese_names(500, seed=3)
                 for suffix in ("科技有限公司", "贸易有限公司")]
    spelled = {}
    rows = []
    stamp = time.strftime("%Y-%m-%d %H:%M:%S")
    for name in chinese_names(size, seed=7):
        if name not in spelled:
            spelled[name] = "".join(lazy_pinyin(name))
        email = f"{spelled[name]}{rnd.randint(1, 999)}@{rnd.choice(('qq.com', '163.com', '126.com'))}"
        phone = f"1{rnd.choice('3589')}{rnd.randint(0, 999999999):09d}"
        rows.append(f"{name}\t{name}\t{email}\t{phone}\t{rnd.choice(companies)}\t"
                    f"t\tcontact\tf\ten_US\t1\t1\t{stamp}\t{stamp}\n")
    # as the ORM would store them, much faster
    copy = ("COPY res_partner (name, complete_name, email, phone, company_name, active, type, "
            "is_company, lang, create_uid, write_uid, create_date, write_date) FROM STDIN")
    subprocess.run(["psql", "-q", "-d", part, "-c", copy], input="".join(rows), text=True,
                   check=True)
    psql(part, "VACUUM ANALYZE res_partner")
    psql("postgres", f'ALTER DATABASE "{part}" RENAME TO "{db}"')
    return db


class Client:
    """A JSON-RPC session of the administrator, as the web client has one."""

    def __init__(self, url, db):
        self.url = url
        self.opener = urllib.request.build_opener(
            urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
        self.post("/web/session/authenticate", {"db": db, "login": "admin", "password": "admin"})

    def post(self, path, params):
        request = urllib.request.Request(
            self.url + path, data=json.dumps({"jsonrpc": "2.0", "method": "call",
                                              "params": params}).encode(),
            headers={"Content-Type": "application/json"})
        with self.opener.open(request, timeout=600) as response:
            answer = json.load(response)
        if "error" in answer:
            raise RuntimeError(answer["error"].get("data", {}).get("message") or answer["error"])
        return answer["result"]

    def call(self, model, method, *args, **kwargs):
        return self.post("/web/dataset/call_kw", {"model": model, "method": method,
                                                  "args": list(args), "kwargs": kwargs})


def wait_for(url, seconds=120):
    deadline = timer() + seconds
    while timer() < deadline:
        try:
            with urllib.request.urlopen(url + "/web/login", timeout=5):
                return
        except OSError:
            time.sleep(0.5)
    raise RuntimeError(f"the server at {url} did not answer")


def server_processes(pid):
    """The server's process and its workers."""
    found = [pid]
    for child in Path("/proc").iterdir():
        if child.name.isdigit():
            try:
                stat = (child / "stat").read_text()
            except OSError:
                continue
            if int(stat.rsplit(")", 1)[1].split()[1]) == pid:
                found.append(int(child.name))
    return found


def peak_memory(pids, log):
    """The largest peak resident memory of the server's processes, in bytes,
    by kind (as the server's log names its workers)."""
    kinds = {}
    for line in log.read_text(errors="replace").splitlines():
        if "Worker Worker" in line and " alive" in line:
            kind, pid = line.split("Worker Worker", 1)[1].split()[:2]
            kinds[int(pid.strip("()"))] = kind
    peaks = {}
    for pid in pids:
        try:
            for line in Path(f"/proc/{pid}/status").read_text().splitlines():
                if line.startswith("VmHWM:"):
                    kind = kinds.get(pid, "main")
                    peaks[kind] = max(peaks.get(kind, 0), int(line.split()[1]) * 1024)
        except OSError:
            pass
    return peaks


def measure(size):
    db = "lumq_online_run"
    copy_database(online_db(size), db)
    LOGS.mkdir(parents=True, exist_ok=True)
    with open(LOGS / "online-install.log", "w") as log:
        subprocess.run([sys.executable, os.environ["LUMQ_ODOO_BIN"], "-c", os.environ["LUMQ_ODOO_CONF"],
                        "-d", db, "-i", "lumq_spell", "--stop-after-init", "--log-level=warn"],
                       check=True, stdout=log, stderr=subprocess.STDOUT)
    # beside the ports of the server that env/odoo17 configures
    conf = Path(os.environ["LUMQ_ODOO_CONF"]).read_text()
    port = int(next(line.split("=")[1] for line in conf.splitlines()
                    if line.replace(" ", "").startswith("http_port="))) + 11
    url = f"http://127.0.0.1:{port}"
    LOGS.mkdir(parents=True, exist_ok=True)
    log = LOGS / "online-server.log"
    server = subprocess.Popen(
        [sys.executable, os.environ["LUMQ_ODOO_BIN"], "-c", os.environ["LUMQ_ODOO_CONF"],
         "-d", db, f"--db-filter=^{db}$", f"--http-port={port}", f"--gevent-port={port + 1}",
         "--log-level=info", f"--logfile={log}", *SERVER_OPTIONS])
    pids = [server.pid]
    waits, stop = [], threading.Event()
    try:
        wait_for(url)
        admin = Client(url, db)
        # contacts from all over the table, which the computation goes through
        # in the order of their ids
        first = admin.call("res.partner", "search", [], limit=1, order="id")[0]
        last = admin.call("res.partner", "search", [], limit=1, order="id desc")[0]
        sample = random.Random(2).sample(range(first, last + 1), min(20000, last - first + 1))
        ids = admin.call("res.partner", "search", [("id", "in", sample)])

        def loop():
            client = Client(url, db)
            rnd = random.Random(1)
            while not stop.is_set():
                record = rnd.choice(ids)
                start = timer()
                if rnd.random() < 0.5:
                    client.call("res.partner", "read", [record], ["name", "email", "phone"])
                    kind = "read"
                else:
                    client.call("res.partner", "write", [record],
                                {"phone": f"1{rnd.randint(0, 10**10 - 1):010d}"})
                    kind = "save"
                waits.append((kind, timer() - start))
                time.sleep(0.05)

        looper = threading.Thread(target=loop, daemon=True)
        looper.start()
        time.sleep(3)           # the loop's pace before enabling
        start = timer()
        model_id = admin.call("ir.model", "search", [("model", "=", "res.partner")])[0]
        config_id = admin.call("lumq_spell.config", "create", {"model_id": model_id})
        created = timer() - start
        progress(f"   configuration created in {created:.1f} s; computing in the background")
        state, last = "computing", 0
        while state == "computing":
            time.sleep(1)
            pids = server_processes(server.pid)
            [values] = admin.call("lumq_spell.config", "read", [config_id],
                                  ["spell_state", "spell_done", "spell_status"])
            state = values["spell_state"]
            if timer() - last > 30:
                last = timer()
                progress(f"   {values['spell_status']}")
        total = timer() - start
        time.sleep(2)
        stop.set()
        looper.join()
        found = admin.call("res.partner", "search_count", [("lumq_simple_spell", "=", "zw")])
        pids = server_processes(server.pid)
        memory = peak_memory(pids, log)
    finally:
        stop.set()
        server.send_signal(signal.SIGINT)
        try:
            server.wait(60)
        except subprocess.TimeoutExpired:
            server.kill()
        subprocess.run(["dropdb", "--if-exists", db], check=False)
    return {"records": size, "create_request": created, "total": total,
            "rate": size / total, "found": found, "peak_memory": memory,
            "waits": waits}


def main(argv):
    quick = argv == ["--quick"]
    size = 50_000 if quick else 2_000_000
    progress(f"enabling {size:,} contacts online on a prefork server")
    result = measure(size)
    waits = sorted(wait for _kind, wait in result["waits"])
    saves = sorted(wait for kind, wait in result["waits"] if kind == "save")
    reads = sorted(wait for kind, wait in result["waits"] if kind == "read")
    rows = [
        ("contacts", f"{size:,}", ""),
        ("the configuration's JSON-RPC create", f"{result['create_request']:.2f} s", ""),
        ("from the create to all spells ready", f"{result['total']:.1f} s", ""),
        ("overall rate", f"{result['rate']:,.0f} records/s", ">= 10,000"),
        ("loop: requests (reads, saves)", f"{len(waits)} ({len(reads)}, {len(saves)})", ""),
        ("loop: longest read", f"{max(reads, default=0):.3f} s", "<= 1"),
        ("loop: longest save", f"{max(saves, default=0):.3f} s", "<= 1"),
        ("loop: median request", f"{waits[len(waits) // 2] if waits else 0:.3f} s", ""),
    ]
    for kind, peak in sorted(result["peak_memory"].items()):
        rows.append((f"peak memory, {kind} process, per record",
                     f"{peak / size:.0f} B ({peak / 2**20:.0f} MiB)", "<= 1024"))
    print(f"Enabling contacts online: a prefork server ({' '.join(SERVER_OPTIONS)}, Odoo's "
          f"default limits), {time.strftime('%Y-%m-%d %H:%M %Z')}"
          + (", QUICK SMOKE RUN" if quick else ""))
    width = max(len(row[0]) for row in rows)
    for what, value, target in rows:
        print(f"| {what:<{width}} | {value:>24} | {target:>9} |")


if __name__ == "__main__":
    main(sys.argv[1:])
