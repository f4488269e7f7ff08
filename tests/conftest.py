"""Puts the built extension module, the host stand-in and the addons on the
path; lets pytest run the addon's own tests (addon/lumq_spell/tests) on the
stand-in, with the addons that Odoo's runner installs for them."""
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
ADDONS_DIRS = (ROOT / "addon", ROOT / "tests" / "addons")
sys.path.insert(0, str(ROOT / "env"))

import lumq_paths  # noqa: E402

lumq_paths.set_up(addons_dirs=ADDONS_DIRS)

from odoo_addon_suites import OdooAddonSuites  # noqa: E402

from odoo.tools import config as odoo_config  # noqa: E402

# what `odoo-bin -i lumq_spell,spell_test_models,spell_test_extend` sets: the
# stand-in's TransactionCase installs these in the database of each class
odoo_config["init"] = dict.fromkeys(["lumq_spell", "spell_test_models", "spell_test_extend"], 1)


def pytest_configure(config):
    # registered as a plugin, not as this conftest's hooks: conftest hooks
    # apply to the paths under tests/ only
    config.pluginmanager.register(OdooAddonSuites([ROOT / "addon"]), "odoo-addon-suites")
