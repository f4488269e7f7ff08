"""Fixtures for the module tests; the stub host lives in stub_host.py."""
import pytest

from stub_host import compile_logs, make_host


@pytest.fixture
def compile_log():
    compile_logs.append([])
    yield compile_logs[-1]
    compile_logs.pop()


@pytest.fixture
def host():
    return make_host()
