"""Enabling a model: the time from creating the configuration record to a
model whose spells can be searched, for contacts created beforehand, and the
peak memory that enabling adds.

``$LUMQ_PYTHON bench/enable.py N`` measures one size in this fresh process (a
new database, N contacts with Chinese names) and writes the measurement as
JSON; bench/main.py runs it for every size and repeat, the sizes taking
turns, and makes the rows with ``rows()``.
"""
import ctypes
import ctypes.util
import gc
import json
import statistics
import sys

from pypinyin import lazy_pinyin

from common import sample_row
from harness import chinese_names, clock, create_partners, enable, new_env, rate_row

SECTION = "3 enabling a model"


LIBC = ctypes.CDLL(None)
SQLITE = ctypes.CDLL(ctypes.util.find_library("sqlite3"))   # the library _sqlite3 uses
SQLITE.sqlite3_memory_used.restype = ctypes.c_int64
SQLITE.sqlite3_memory_highwater.restype = ctypes.c_int64
SQLITE.sqlite3_memory_highwater.argtypes = [ctypes.c_int]


def status_bytes(key):
    """A memory figure of /proc/self/status (VmRSS, VmHWM), in bytes."""
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1]) * 1024
    raise KeyError(key)


def start_memory_watch():
    """Give freed memory back to the system and start the peak of resident
    memory (and SQLite's peak) afresh; returns the resident memory now."""
    gc.collect()
    LIBC.malloc_trim(0)
    with open("/proc/self/clear_refs", "w") as clear_refs:
        clear_refs.write("5")       # resets VmHWM to VmRSS
    SQLITE.sqlite3_memory_highwater(1)
    return status_bytes("VmRSS"), SQLITE.sqlite3_memory_used()


def measure(size):
    env = new_env("bench_enable")
    names = chinese_names(size)
    create_partners(env, names)
    wanted = "".join(lazy_pinyin(names[-1])) if names else "nothing"

    resident, sqlite_used = start_memory_watch()
    start = clock()
    enable(env)
    found = env["res.partner"].search([("lumq_full_spell", "=", wanted)], limit=1)
    seconds = clock() - start
    peak, sqlite_peak = status_bytes("VmHWM"), SQLITE.sqlite3_memory_highwater(0)
    assert found or not names, "the spells of the model cannot be searched"
    return {
        "records": size,
        "seconds": seconds,
        # peaks while enabling, above the memory in use when it began
        "peak_growth": peak - resident,
        "sqlite_peak_growth": sqlite_peak - sqlite_used,
    }


def rows(runs):
    """Rows of the table from the measurements of all processes (size ->
    list of measurements; size 0 gives the fixed part of enabling).

    Growth per added record, between two sizes, leaves out what does not grow
    with the records: the fixed part, and the free memory of the process that
    enabling reuses before it asks the system for more.
    """
    def row(figure, unit, samples, target=""):
        return sample_row(SECTION, figure, unit, samples, target)

    def seconds(size):
        return [run["seconds"] for run in runs[size]]

    def growths(size):
        return [run["peak_growth"] for run in runs[size]]

    def per_added(large, small, samples):
        """(from the minimums, from the medians) of the growth per added record."""
        top, bottom = samples(large), samples(small)
        return ((min(top) - min(bottom)) / (large - small),
                (statistics.median(top) - statistics.median(bottom)) / (large - small))

    out = [rate_row(SECTION, "enable a model with no record (the fixed part)", "enables/s", 1,
                    seconds(0))]
    sizes = sorted(size for size in runs if size)
    for size in sizes:
        out += [
            rate_row(SECTION, f"enable, {size:,} records", "records/s", size, seconds(size)),
            row(f"enable, {size:,} records: peak memory growth per record", "bytes/record",
                [growth / size for growth in growths(size)]),
        ]
    largest = sizes[-1]
    out.append(row(f"enable, {largest:,} records: SQLite's part of that peak", "bytes/record",
                   [run["sqlite_peak_growth"] / largest for run in runs[largest]]))
    spans = []
    for small, large in zip(sizes, sizes[1:]):
        span = f"{small:,} to {large:,} records"
        time, memory = per_added(large, small, seconds), per_added(large, small, growths)
        n = min(len(runs[small]), len(runs[large]))
        out += [
            {"section": SECTION, "figure": f"per record added, {span}", "unit": "records/s",
             "n": n, "min": 1 / time[0], "median": 1 / time[1], "target": ""},
            {"section": SECTION, "figure": f"per record added, {span}: peak memory growth",
             "unit": "bytes/record", "n": n, "min": memory[0], "median": memory[1], "target": ""},
        ]
        spans.append((span, n, time, memory))
    for (span, n, time, memory), (next_span, next_n, next_time, next_memory) in zip(spans,
                                                                                  spans[1:]):
        for what, first, second in (("time", time, next_time),
                                    ("peak memory", memory, next_memory)):
            out.append({"section": SECTION,
                        "figure": f"{what} per record added, {next_span} / {span}",
                        "unit": "ratio", "n": min(n, next_n), "min": second[0] / first[0],
                        "median": second[1] / first[1], "target": "~ 1 (linear)"})
    return out


if __name__ == "__main__":
    json.dump(measure(int(sys.argv[1])), sys.stdout)
    sys.stdout.write("\n")
