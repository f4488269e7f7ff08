"""Loaders: one loader call against plain Python compiling and executing the
same model source in the same namespace, and against the bare C API call that
the loader makes (PyRun_StringFlags through ctypes, on the same bytes); and
the import of lumq_spell_base in fresh interpreters against a bare start.

Every path runs from functions whose globals are a copy of the addon module's
globals, and executes the text with that dict as globals and locals, as the
addon's own loader calls do.  Every class statement registers its class with
the stand-in's metaclass (module_to_models): all paths do it alike, and the
registrations are undone after every timed call, with the namespace restored.
"""
import ctypes
import os
import re
import resource
import subprocess
import sys

import harness
from harness import ROOT, emit, rate_row, ratio_row, side_by_side, timed

import lumq_spell_base
from odoo.addons.lumq_spell.models import spell_models
from odoo.models import MetaModel

SECTION = "1 loaders"
CODING_LINE = "# -*- coding: utf-8 -*-\n"
PY_FILE_INPUT = 257

# PyDLL: called with the interpreter lock held, errors checked by Python.
PyRun_StringFlags = ctypes.pythonapi.PyRun_StringFlags
PyRun_StringFlags.restype = ctypes.py_object
PyRun_StringFlags.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.py_object, ctypes.py_object,
                              ctypes.c_void_p]

DRIVER = f"""
def run_loaders(loaders, count):
    namespace = globals()
    for _ in range(count):
        for load in loaders:
            load(namespace)


def run_exec(texts, count):
    namespace = globals()
    for _ in range(count):
        for text, _data, class_name in texts:
            exec(compile(text, "<string>", "exec"), namespace, namespace)
            namespace[class_name]


def run_pyrun(pyrun, texts, count):
    namespace = globals()
    for _ in range(count):
        for _text, data, class_name in texts:
            pyrun(data, {PY_FILE_INPUT}, namespace, namespace, None)
            namespace[class_name]


def load_one(load):
    return load(globals())


def exec_one(text, class_name):
    namespace = globals()
    exec(compile(text, "<string>", "exec"), namespace, namespace)
    return namespace[class_name]
"""


def model_sources():
    """(loader, text executed by the loader, class name) in loader order; the
    text is the model source with the coding line that the loader puts in
    front of it."""
    loaders = sorted(
        (getattr(lumq_spell_base, name) for name in dir(lumq_spell_base)
         if re.fullmatch(r"load_\w+_\d", name)),
        key=lambda load: int(load.__name__.rsplit("_", 1)[1]))
    sources = []
    for load in loaders:
        snake = re.fullmatch(r"load_(\w+)_\d", load.__name__).group(1)
        text = (ROOT / "model_sources" / f"{snake}.py").read_text(encoding="utf-8")
        class_name = re.search(r"^class (\w+)\(", text, re.M).group(1)
        sources.append((load, CODING_LINE + text, class_name))
    return sources


def check_same(namespace, load, text, class_name):
    """Both paths make a class of that name with the same members (else the
    module was built from other model sources than those on disk)."""
    made = namespace["load_one"](load)
    plain = namespace["exec_one"](text, class_name)
    if made.__name__ != class_name or sorted(vars(made)) != sorted(vars(plain)):
        sys.exit(f"{load.__name__} does not execute model_sources/: rebuild the module")


def bench_loaders(repeats):
    namespace = dict(vars(spell_models))
    exec(DRIVER, namespace)
    saved = dict(namespace)
    registered = MetaModel.module_to_models["lumq_spell"]
    registered_count = len(registered)

    def cleanup():
        del registered[registered_count:]
        namespace.clear()
        namespace.update(saved)

    sources = model_sources()
    for load, text, class_name in sources:
        check_same(namespace, load, text, class_name)
        cleanup()
    largest = max(sources, key=lambda source: len(source[1]))

    rows = []
    for label, chosen in ((f"{largest[0].__name__} ({len(largest[1]) - len(CODING_LINE)} chars)",
                           [largest]),
                          (f"all {len(sources)} loaders", sources)):
        loaders = [load for load, _text, _name in chosen]
        texts = [(text, text.encode("utf-8"), name) for _load, text, name in chosen]
        # calls per timed run: about 50 ms of work
        count = max(5, int(0.05 / (timed(lambda: namespace["run_loaders"](loaders, 5)) / 5)))
        cleanup()
        times = side_by_side({
            "loader": lambda: namespace["run_loaders"](loaders, count),
            "exec": lambda: namespace["run_exec"](texts, count),
            "pyrun": lambda: namespace["run_pyrun"](PyRun_StringFlags, texts, count),
        }, repeats, cleanup)
        calls = count * len(chosen)
        rows += [
            rate_row(SECTION, f"{label}: loader", "calls/s", calls, times["loader"]),
            rate_row(SECTION, f"{label}: exec(compile(text)), same text and namespace", "calls/s",
                     calls, times["exec"]),
            ratio_row(SECTION, f"{label}: loader / exec(compile(text))",
                      times["loader"], times["exec"], target="<= 1.05"),
            ratio_row(SECTION, f"{label}: loader / its bare PyRun_StringFlags call (ctypes)",
                      times["loader"], times["pyrun"]),
        ]
    return rows


def children_cpu():
    """CPU seconds of the waited-for child processes so far."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def bench_import(repeats):
    """Fresh interpreters: a bare start against a start that imports the
    module (CPU time of the child); the importing one also times the import
    itself."""
    env = dict(os.environ, PYTHONPATH=str(harness.BUILD / "python"))
    bare = [sys.executable, "-c", "pass"]
    importing = [sys.executable, "-c",
                 "import time; start = time.process_time(); import lumq_spell_base; "
                 "print(time.process_time() - start)"]
    starts = {"bare": [], "import": []}
    imports = []
    for repeat in range(repeats):
        for name in ("bare", "import") if repeat % 2 == 0 else ("import", "bare"):
            start = children_cpu()
            done = subprocess.run(bare if name == "bare" else importing, env=env, check=True,
                                  capture_output=True, text=True)
            starts[name].append(children_cpu() - start)
            if name == "import":
                imports.append(float(done.stdout))
    return [
        rate_row(SECTION, "fresh interpreter starts, bare (python -c pass)", "starts/s",
                 1, starts["bare"]),
        ratio_row(SECTION, "fresh interpreter start with `import lumq_spell_base` / bare start",
                  starts["import"], starts["bare"]),
        ratio_row(SECTION, "the import alone (timed inside the fresh interpreter) / bare start",
                  imports, starts["bare"]),
    ]


def main():
    rows = bench_loaders(repeats=41)
    rows += bench_import(repeats=30)
    emit(rows)


if __name__ == "__main__":
    main()
