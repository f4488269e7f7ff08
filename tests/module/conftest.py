"""Fixtures for the module tests; the stub host lives in stub_host.py.  The
module is imported from the build folder (LUMQ_BUILD_DIR) also when these
tests run alone, without tests/conftest.py (tests/run --module)."""
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "env"))
import lumq_paths  # noqa: E402

lumq_paths.set_up()

from stub_host import compile_logs, make_host  # noqa: E402


@pytest.fixture
def compile_log():
    compile_logs.append([])
    yield compile_logs[-1]
    compile_logs.pop()


@pytest.fixture
def host():
    return make_host()
