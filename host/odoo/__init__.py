"""A small Odoo 17 stand-in on SQLite: the ORM, registry, views and module
machinery that the lumq_spell addon relies on, with Odoo 17's semantics."""

SUPERUSER_ID = 1

from . import exceptions  # noqa: E402
from . import tools  # noqa: E402
from . import sql_db  # noqa: E402
from . import api  # noqa: E402
from . import fields  # noqa: E402
from . import models  # noqa: E402
from . import osv  # noqa: E402
from . import modules  # noqa: E402
from .modules.registry import Registry  # noqa: E402
from .tools.translate import _, _lt  # noqa: E402

__all__ = ['SUPERUSER_ID', '_', '_lt', 'api', 'exceptions', 'fields', 'models', 'modules',
           'osv', 'sql_db', 'tools', 'Registry']
