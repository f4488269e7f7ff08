"""Enables spell search on the named models of a database and commits, as an
administrator's script run with `odoo-bin shell` would:
    "$LUMQ_PYTHON" tests/real/enable.py DBNAME MODEL...
(inside env/odoo17, which provides LUMQ_ODOO_SRC and LUMQ_ODOO_CONF)."""
import os
import sys

sys.path.insert(0, os.environ["LUMQ_ODOO_SRC"])

from odoo import SUPERUSER_ID, api  # noqa: E402
from odoo.modules.registry import Registry  # noqa: E402
from odoo.tools import config  # noqa: E402


def main(db_name, *model_names):
    config.parse_config(["-c", os.environ["LUMQ_ODOO_CONF"], "-d", db_name, "--no-http",
                         "--log-level=warn"])
    with Registry(db_name).cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        env["lumq_spell.config"].create([{"model_id": env["ir.model"]._get_id(name)}
                                         for name in model_names])
    print(f"enabled: {', '.join(model_names)}")


if __name__ == "__main__":
    main(*sys.argv[1:])
