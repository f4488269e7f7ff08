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
THIS = f"{sys.version_info.major}.{sys.version_info.minor}"
IMPORT_FILE = """
import importlib.machinery, importlib.util, sys
path = sys.argv[1]
loader = importlib.machinery.ExtensionFileLoader("lumq_spell_base", path)
try:
    spec = importlib.util.spec_from_file_location("lumq_spell_base", path, loader=loader)
    importlib.util.module_from_spec(spec)
except ImportError as error:
    print(type(error).__name__, error, sep=": ")
print(sys.version)
"""


def _listed(variable):
    return [item for item in os.environ.get(variable, "").split(os.pathsep) if item]


def _foreign_modules():
    """(version, path) of each module that LUMQ_FOREIGN_BUILDS' build folders
    hold for another CPython version, read from the file name's tag."""
    found = []
    for build in _listed("LUMQ_FOREIGN_BUILDS"):
        for path in sorted((ROOT / build / "python").glob("lumq_spell_base.cpython-*.so")):
            tag = re.match(r"lumq_spell_base\.cpython-(\d)(\d+)", path.name)
            version = f"{tag.group(1)}.{tag.group(2)}"
            if version != THIS:
                found.append(pytest.param(version, path, id=f"built for {version}"))
    return found


def _import_file(python, path):
    """Imports the module file `path` in a fresh interpreter `python`,
    whatever the file is named (as an import of lumq_spell_base.so would);
    returns (the ImportError's line or "", that interpreter's version)."""
    done = subprocess.run([python, "-I", "-c", IMPORT_FILE, str(path)], capture_output=True, text=True,
                          check=False)
    assert done.returncode == 0, done.stderr
    *error, version = done.stdout.splitlines()
    return "\n".join(error), version


def test_the_module_is_built_for_this_interpreter():
    suffix = importlib.machinery.EXTENSION_SUFFIXES[0]
    assert lumq_spell_base.__file__.endswith(suffix), (lumq_spell_base.__file__, suffix)
    assert sys.implementation.name == "cpython" and (3, 10) <= sys.version_info[:2] <= (3, 13)
    assert _import_file(sys.executable, lumq_spell_base.__file__) == ("", sys.version)


NO_OTHER = "no module built for another Python here (LUMQ_FOREIGN_BUILDS names its build folder)"


@pytest.mark.parametrize("version, path", _foreign_modules() or [
    pytest.param(None, None, marks=pytest.mark.skip(reason=NO_OTHER))])
def test_a_module_built_for_another_python_refuses_this_one(version, path):
    assert _import_file(sys.executable, path) == (
        f"ImportError: {MISMATCH.format(built=version, running=sys.version)}", sys.version)


@pytest.mark.parametrize("python", _listed("LUMQ_OTHER_PYTHONS") or [
    pytest.param(None, marks=pytest.mark.skip(reason="no other Python here (LUMQ_OTHER_PYTHONS names one)"))])
def test_another_python_refuses_this_module(python):
    error, version = _import_file(python, lumq_spell_base.__file__)
    assert not version.startswith(THIS + ".")
    assert error == f"ImportError: {MISMATCH.format(built=THIS, running=version)}"


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
