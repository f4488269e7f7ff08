from . import expression  # noqa: F401
