"""What the benchmark programs on the Odoo stand-in share: the paths and
databases on the stand-in, besides what bench/common.py gives every host.

Each benchmark program runs in a fresh interpreter started by bench/main.py
and writes its rows to stdout as one JSON document.
"""
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "env"))

import lumq_paths  # noqa: E402

BUILD = lumq_paths.set_up(default_build="build-bench")


# re-exported: the stand-in's benchmark programs take everything from here
from common import (  # noqa: E402,F401
    chinese_names, clock, emit, enable, rate_row, ratio_row, side_by_side, timed,
)

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
