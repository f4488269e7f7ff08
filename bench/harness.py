"""What the benchmark programs share: the paths, side-by-side timing, rows of
the table, Chinese names, and databases on the Odoo stand-in.

Each benchmark program runs in a fresh interpreter started by bench/main.py
and writes its rows to stdout as one JSON document.
"""
import gc
import json
import random
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "env"))

import lumq_paths  # noqa: E402

BUILD = lumq_paths.set_up(default_build="build-bench")


# -- timing -------------------------------------------------------------------

# The clock of every in-process figure: the CPU time of this process (user and
# system), which leaves out the spells in which the shared machine runs
# somebody else; the program is single-threaded, so it is its elapsed time
# when the machine is idle.
clock = time.process_time


def timed(func):
    """CPU seconds that one call of ``func`` takes, with the garbage
    collector off, after a full collection."""
    gc.collect()
    gc.disable()
    try:
        start = clock()
        func()
        return clock() - start
    finally:
        gc.enable()


def side_by_side(funcs, repeats, cleanup=None):
    """Time each of ``funcs`` (name -> function) ``repeats`` times, in turns:
    one repeat runs every function once, in an order that alternates from one
    repeat to the next, so that a slower spell of the machine falls on all of
    them alike.  ``cleanup`` runs untimed after every call.  Returns name ->
    list of seconds."""
    times = {name: [] for name in funcs}
    names = list(funcs)
    for repeat in range(repeats):
        for name in names if repeat % 2 == 0 else reversed(names):
            times[name].append(timed(funcs[name]))
            if cleanup:
                cleanup()
    return times


# -- rows of the table ------------------------------------------------------------

def rate_row(section, figure, unit, work, seconds, target=""):
    """A rate: ``work`` units per second, from the shortest and the median time."""
    return {
        "section": section, "figure": figure, "unit": unit, "n": len(seconds),
        "min": work / min(seconds), "median": work / statistics.median(seconds),
        "target": target,
    }


def ratio_row(section, figure, top, bottom, target="", unit="ratio"):
    """The ratio of two lists of times (or of any two positive samples): of
    their minimums and of their medians."""
    return {
        "section": section, "figure": figure, "unit": unit, "n": min(len(top), len(bottom)),
        "min": min(top) / min(bottom),
        "median": statistics.median(top) / statistics.median(bottom),
        "target": target,
    }


def emit(rows, **extra):
    json.dump({"rows": rows, **extra}, sys.stdout)
    sys.stdout.write("\n")


# -- data -----------------------------------------------------------------------------

SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤"
GIVEN = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华玉兰萍红鹏辉建华飞鑫波斌宇浩凯健俊帆帅旭宁龙林欣佳琳晨雨婷子涵梓轩思怡一诺欣怡浩然雨桐"


def chinese_names(count, seed=7):
    """``count`` Chinese names of two or three characters, the same for the
    same count and seed."""
    rnd = random.Random(seed)
    return ["".join([rnd.choice(SURNAMES)] + [rnd.choice(GIVEN) for _ in range(rnd.randint(1, 2))])
            for _ in range(count)]


# -- the stand-in ---------------------------------------------------------------------

def new_env(prefix):
    """A superuser environment on a new in-memory database with lumq_spell."""
    from odoo import SUPERUSER_ID, api
    from odoo.modules.registry import Registry
    from odoo.tests.common import new_db_name

    registry = Registry.new(new_db_name(prefix), install=["lumq_spell"])
    return api.Environment(registry.cursor(), SUPERUSER_ID, {})


def create_partners(env, names, batch=1000):
    """Contacts with those names, created in batches so that creating them
    leaves no high-water mark of memory behind; returns their ids."""
    ids = []
    Partner = env["res.partner"]
    for start in range(0, len(names), batch):
        ids += Partner.create([{"name": name} for name in names[start:start + batch]]).ids
    env.flush_all()
    return ids


def enable(env, model_name="res.partner"):
    """Create the configuration record that enables spell on the model."""
    return env["lumq_spell.config"].create({"model_id": env["ir.model"]._get_id(model_name)})


class StatementCounter:
    """Counts the SQL statements that the database connection runs (SAVEPOINT
    and RELEASE included) while the ``with`` block runs."""

    def __init__(self, env):
        from odoo.sql_db import db_connect
        self.connection = db_connect(env.cr.dbname)
        self.count = 0

    def _trace(self, statement):
        self.count += 1

    def __enter__(self):
        self.connection.set_trace_callback(self._trace)
        return self

    def __exit__(self, *exc):
        self.connection.set_trace_callback(None)
