"""Puts the built extension module, the host stand-in and the addons on the path."""
import os
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("LUMQ_BUILD_DIR", ROOT / "build"))

sys.path[:0] = [str(BUILD / "python"), str(ROOT / "host")]

if (ROOT / "host" / "odoo").is_dir():
    import odoo.addons  # noqa: E402  (the stand-in)

    for addons_dir in (ROOT / "addon", ROOT / "tests" / "addons"):
        if str(addons_dir) not in odoo.addons.__path__:
            odoo.addons.__path__.append(str(addons_dir))
