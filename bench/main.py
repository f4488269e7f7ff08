"""Runs every benchmark of lumq_spell and prints one table (Markdown).

Started by bench/run, which builds what is needed first.  Each benchmark runs
in a fresh interpreter (enabling: one per size and repeat) and hands back its
rows as JSON; progress goes to stderr, the table to stdout.
"""
import datetime
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import time
from pathlib import Path

from common import by_turns, progress, table
from harness import BUILD, ROOT

# size -> repeats of "enabling a model"; 0 measures the fixed part
ENABLE_REPEATS = {0: 5, 1_000: 5, 10_000: 3, 100_000: 2}
# --quick: a smoke run of the whole program in about a minute; not a result
QUICK_ENABLE_REPEATS = {0: 2, 1_000: 2, 10_000: 1}
DECODE_REPEATS = 5


LEGEND = """\
Times are CPU times of the measuring process.  min and median: over the n repeats; a rate comes
from the fastest (min) or the median repeat, a ratio is that of the two minimums or of the two
medians; a target is judged on the min column.  Peak memory growth: the peak of resident memory
while enabling, above the memory in use when enabling began.
"""


def run_json(command):
    done = subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True, cwd=ROOT)
    return json.loads(done.stdout)


def python(script, *args):
    return run_json([sys.executable, str(ROOT / "bench" / script), *map(str, args)])


def version_at_least(version, *least):
    return tuple(int(part) for part in version.split(".")[:len(least)]) >= least


# -- 1: the two passes, by the C++ program ---------------------------------------

def decode_rows():
    section = "1 loaders: two passes (C++)"
    report = run_json([
        str(BUILD / "bench" / "lumq_stored_text_bench"), "--benchmark_format=json",
        f"--benchmark_repetitions={DECODE_REPEATS}", "--benchmark_enable_random_interleaving=true",
        # Google Benchmark 1.8 wants the unit, 1.7 (Debian 12) a bare number
        f"--benchmark_min_time=0.2{'s' if version_at_least(cmake_package_version('benchmark'), 1, 8) else ''}",
    ])
    rates = {}                      # (kind, MB) -> bytes per second of each repetition
    for run in report["benchmarks"]:
        if run.get("run_type") != "iteration":
            continue
        if run.get("error_occurred"):
            sys.exit(f"{run['name']}: {run.get('error_message')}")
        size = int(run["name"].rsplit("MB:", 1)[1].split("/")[0])
        rates.setdefault((run["label"], size), []).append(run["bytes_per_second"])
    rows = []
    for kind, what in (("plain", "decode, no escapes"), ("escaped", "decode, with escapes"),
                       ("copy", "join + 2 copies, no scan (memory alone)")):
        for size in (1, 10):
            samples = [rate / 2**20 for rate in rates[(kind, size)]]
            rows.append({"section": section, "figure": f"{what}, {size} MB", "unit": "MiB/s",
                         "n": len(samples), "min": max(samples),
                         "median": statistics.median(samples), "target": ""})
        large, small = rates[(kind, 10)], rates[(kind, 1)]
        rows.append({"section": section, "figure": f"{what}: rate at 10 MB / rate at 1 MB",
                     "unit": "ratio", "n": min(len(large), len(small)),
                     "min": max(large) / max(small),
                     "median": statistics.median(large) / statistics.median(small),
                     "target": "~ 1 (linear)"})
    return rows


# -- 3: enabling, one fresh process per size and repeat ---------------------------------

def enable_rows(plan):
    import enable

    return enable.rows(by_turns(plan, lambda size: python("enable.py", size), "enabling"))


def cmake_package_version(name):
    """The version of the CMake package `name` that the build found."""
    cache = (BUILD / "CMakeCache.txt").read_text(encoding="utf-8")
    cmake_dir = re.search(rf"^{name}_DIR:PATH=(.*)$", cache, re.M).group(1)
    config = (Path(cmake_dir) / f"{name}ConfigVersion.cmake").read_text(encoding="utf-8")
    return re.search(r'set\(PACKAGE_VERSION "([^"]+)"\)', config).group(1)


def pybind11_version():
    """pybind11's Python package's version, or, where only its headers and
    CMake files are installed (Debian 12), the build's."""
    try:
        import pybind11
    except ImportError:
        return cmake_package_version("pybind11")
    return pybind11.__version__


def versions():
    import pypinyin

    import lumq_spell_base

    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    system = platform.freedesktop_os_release().get("PRETTY_NAME", platform.system())
    return [
        f"Machine: {os.cpu_count()} CPUs ({cpu}), Linux {platform.release()}, userland {system}",
        f"Python {platform.python_version()}, pybind11 {pybind11_version()}, "
        f"pypinyin {pypinyin.__version__}, lumq_spell_base {lumq_spell_base.__version__} "
        f"(Release build in {BUILD.relative_to(ROOT) if BUILD.is_relative_to(ROOT) else BUILD})",
    ]


def main():
    quick = sys.argv[1:] == ["--quick"]
    if sys.argv[1:] and not quick:
        sys.exit("usage: bench/run [--quick]")
    started = time.monotonic()
    rows = []
    progress("1 loaders: the two passes (C++ program)")
    rows += decode_rows()
    progress("1 loaders: loader calls and the import")
    rows += python("loaders.py")["rows"]
    progress("2 spell computation")
    rows += python("spell.py")["rows"]
    progress("3 enabling a model")
    rows += enable_rows(QUICK_ENABLE_REPEATS if quick else ENABLE_REPEATS)
    progress("4 list views")
    rows += python("views.py")["rows"]
    minutes = (time.monotonic() - started) / 60

    now = datetime.datetime.now().astimezone()
    print(f"lumq_spell benchmarks, {now:%Y-%m-%d %H:%M %Z} ({minutes:.1f} minutes)"
          + (", QUICK SMOKE RUN: not a result" if quick else ""))
    for line in versions():
        print(line)
    print(LEGEND)
    print(table(rows))


if __name__ == "__main__":
    main()
