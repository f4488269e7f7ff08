"""Makes the built extension module, the Odoo stand-in and addon folders
importable: one set-up for the tests, the demo and the benchmarks."""
import os
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def set_up(default_build="build", addons_dirs=(ROOT / "addon",)):
    """Put the build folder's python/ (LUMQ_BUILD_DIR, relative to the
    repository unless absolute, else default_build) and the stand-in first
    on sys.path, and the addon folders on odoo.addons' path.  Returns the
    build folder."""
    build = ROOT / os.environ.get("LUMQ_BUILD_DIR", default_build)
    for path in (ROOT / "host", build / "python"):
        if str(path) not in sys.path:
            sys.path.insert(0, str(path))
    import odoo.addons

    for addons_dir in addons_dirs:
        if str(addons_dir) not in odoo.addons.__path__:
            odoo.addons.__path__.append(str(addons_dir))
    return build
