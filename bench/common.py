"""What every benchmark program shares, on either host: side-by-side timing,
rows of the table and the table itself, and Chinese names.  Nothing here
imports Odoo."""
import gc
import json
import random
import statistics
import sys
import time

# -- timing -------------------------------------------------------------------

# The clock of every in-process figure: the CPU time of this process (user and
# system), which leaves out the spells in which the shared machine runs
# somebody else; the program is single-threaded, so it is its elapsed time
# when the machine is idle.
clock = time.process_time


def timed(func, timer=clock):
    """Seconds (by ``timer``: CPU time unless told otherwise) that one call
    of ``func`` takes, with the garbage collector off, after a full
    collection."""
    gc.collect()
    gc.disable()
    try:
        start = timer()
        func()
        return timer() - start
    finally:
        gc.enable()


def side_by_side(funcs, repeats, cleanup=None, timer=clock):
    """Time each of ``funcs`` (name -> function) ``repeats`` times, in turns:
    one repeat runs every function once, in an order that alternates from one
    repeat to the next, so that a slower spell of the machine falls on all of
    them alike.  ``cleanup`` runs untimed after every call.  Returns name ->
    list of seconds (by ``timer``)."""
    times = {name: [] for name in funcs}
    names = list(funcs)
    for repeat in range(repeats):
        for name in names if repeat % 2 == 0 else reversed(names):
            times[name].append(timed(funcs[name], timer))
            if cleanup:
                cleanup()
    return times


# -- enabling ---------------------------------------------------------------------

def enable(env, model_name="res.partner", **values):
    """Create the configuration that enables spell on the model (with the
    configuration's other ``values``), and compute its records' spells: in
    the background when they are many, here by the upkeep job's runs one
    after the other, each batch committed."""
    config = env["lumq_spell.config"].create(
        {"model_id": env["ir.model"]._get_id(model_name), **values})
    return compute_spells(env, config)


def compute_spells(env, config):
    """Commit, then run the upkeep job until the configuration's spells are
    all computed; returns the configuration."""
    env.cr.commit()
    while config.spell_state == "computing":
        env["ir.model"]._spell_cron()
        env.cr.commit()
        config.invalidate_recordset()
    return config


# -- rows of the table ------------------------------------------------------------

def progress(text):
    """A line of progress, on stderr (the table goes to stdout)."""
    print(text, file=sys.stderr, flush=True)


def by_turns(plan, measure, what):
    """``measure(size)`` repeated for each size of ``plan`` (size -> repeats),
    the sizes taking turns so that a slower spell of the machine falls on all
    of them alike.  Returns size -> list of results."""
    runs = {size: [] for size in plan}
    for repeat in range(max(plan.values())):
        for size, repeats in plan.items():
            if repeat < repeats:
                progress(f"   {what} with {size:,} records ({repeat + 1}/{repeats})")
                runs[size].append(measure(size))
    return runs


def sample_row(section, figure, unit, samples, target=""):
    """The smallest and the median of samples of a quantity."""
    return {"section": section, "figure": figure, "unit": unit, "n": len(samples),
            "min": min(samples), "median": statistics.median(samples), "target": target}


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


# -- the table ----------------------------------------------------------------------------

def number(value):
    if isinstance(value, int):
        return str(value)
    if abs(value) >= 100:
        return f"{value:,.0f}"
    if abs(value) >= 10:
        return f"{value:.1f}"
    return f"{value:.3f}"


def verdict(row):
    """The target, and whether the min column meets it ("<= x" or ">= x")."""
    target = row["target"]
    if target[:3] in ("<= ", ">= "):
        bound = float(target[3:].replace(",", ""))
        met = row["min"] <= bound if target.startswith("<") else row["min"] >= bound
        return f"{target}: {'met' if met else 'MISSED'}"
    return target


def table(rows):
    header = ["Benchmark", "Figure", "Unit", "n", "min", "median", "Target"]
    lines = [[row["section"], row["figure"], row["unit"], str(row["n"]), number(row["min"]),
              number(row["median"]), verdict(row)] for row in rows]
    widths = [max(len(line[i]) for line in [header] + lines) for i in range(len(header))]
    right = {3, 4, 5}

    def cells(line):
        return "| " + " | ".join(cell.rjust(width) if i in right else cell.ljust(width)
                                 for i, (cell, width) in enumerate(zip(line, widths))) + " |"

    rule = "|" + "|".join(("-" * (width + 1) + ":") if i in right else "-" * (width + 2)
                          for i, width in enumerate(widths)) + "|"
    return "\n".join([cells(header), rule] + [cells(line) for line in lines])
