"""Addon discovery, the registry and module loading."""
from . import module  # noqa: F401
from .module import get_manifest, get_module_path, get_modules  # noqa: F401
from . import registry  # noqa: F401
from . import loading  # noqa: F401
