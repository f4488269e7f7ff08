"""The Pythons the module is built for: one module per CPython version, which
imports under that version alone; and the Python files that Odoo loads stay
within the grammar of 3.10, the oldest Python that Odoo 17 supports."""
import ast
import importlib.machinery
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import lumq_spell_base

ROOT = Path(__file__).resolve().parents[2]
MISMATCH = ("Python version mismatch: module was compiled for Python {built}, "
            "but the interpreter version is incompatible: {running}.")


def _foreign_modules():
    """(version, path) of each module that LUMQ_FOREIGN_BUILDS' build folders
    hold for another CPython version, read from the file name's tag."""
    found = []
    for build in filter(None, os.environ.get("LUMQ_FOREIGN_BUILDS", "").split(os.pathsep)):
        for path in sorted((ROOT / build / "python").glob("lumq_spell_base.cpython-*.so")):
            tag = re.match(r"lumq_spell_base\.cpython-(\d)(\d+)", path.name)
            version = f"{tag.group(1)}.{tag.group(2)}"
            if version != f"{sys.version_info.major}.{sys.version_info.minor}":
                found.append((version, path))
    return found


def test_the_module_is_built_for_this_interpreter():
    suffix = importlib.machinery.EXTENSION_SUFFIXES[0]
    assert lumq_spell_base.__file__.endswith(suffix), (lumq_spell_base.__file__, suffix)
    assert sys.implementation.name == "cpython" and (3, 10) <= sys.version_info[:2] <= (3, 13)


@pytest.mark.parametrize("version, path", _foreign_modules() or [pytest.param(
    None, None, marks=pytest.mark.skip(reason="no module built for another Python: name its build "
                                              "folder in LUMQ_FOREIGN_BUILDS"))])
def test_a_module_for_another_python_refuses_this_one(version, path):
    # In a fresh interpreter, whatever its file is named: the loader takes
    # the file as it is, as an import would under the name lumq_spell_base.so.
    done = subprocess.run([sys.executable, "-c", f"""
import importlib.machinery, importlib.util
loader = importlib.machinery.ExtensionFileLoader("lumq_spell_base", {str(path)!r})
spec = importlib.util.spec_from_file_location("lumq_spell_base", {str(path)!r}, loader=loader)
try:
    importlib.util.module_from_spec(spec)
except ImportError as error:
    print(type(error).__name__, error, sep=": ")
"""], capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    assert done.stdout == f"ImportError: {MISMATCH.format(built=version, running=sys.version)}\n"


def _loaded_by_odoo():
    """Every Python file of the addon, the model sources and the test addons."""
    return sorted(path for folder in ("addon", "model_sources", "tests/addons")
                  for path in (ROOT / folder).rglob("*.py"))


def test_what_odoo_loads_parses_with_the_grammar_of_python_3_10():
    files = _loaded_by_odoo()
    assert any(path.parent.name == "model_sources" for path in files)
    failures = []
    for path in files:
        try:
            ast.parse(path.read_bytes(), filename=str(path), feature_version=(3, 10))
        except SyntaxError as error:
            failures.append(f"{path.relative_to(ROOT)}:{error.lineno}: {error.msg}")
    assert not failures, "\n".join(failures)
