"""Puts the built extension module, the host stand-in and the addons on the path."""
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "env"))

import lumq_paths  # noqa: E402

lumq_paths.set_up(addons_dirs=(ROOT / "addon", ROOT / "tests" / "addons"))
