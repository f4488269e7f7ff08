from . import thing  # noqa: F401
from . import partner  # noqa: F401
