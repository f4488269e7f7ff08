# 'base' comes first: every other model inherits it
from . import ir_model  # noqa: F401
from . import ir_ui_view  # noqa: F401
from . import ir_actions  # noqa: F401
from . import ir_ui_menu  # noqa: F401
from . import ir_module  # noqa: F401
from . import ir_cron  # noqa: F401
from . import res_users  # noqa: F401
from . import res_partner  # noqa: F401
