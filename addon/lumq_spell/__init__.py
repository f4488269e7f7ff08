from . import models
from .models import spell_sql
from .models.spell_models import INTERNAL_SWITCH


def uninstall_hook(env):
    """Delete every spell configuration before the addon's data goes, also
    when the uninstall does not pass through the module buttons: dropping the
    configuration table alone would leave its extension views behind, and
    they name the spell fields that the uninstall removes."""
    env["lumq_spell.config"].with_context({"ignore_extend_search_view": INTERNAL_SWITCH}).search([]).unlink()
    # no process keeps the spells once the addon is gone
    env["ir.model"]._drop_pending_spell_columns(now=False)
    spell_sql.drop_trigger_function(env.cr)
