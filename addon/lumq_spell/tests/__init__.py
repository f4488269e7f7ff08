from . import test_browser
from . import test_config
from . import test_registry_hooks
from . import test_search_view
from . import test_spell_mixin
from . import test_view_hook
from . import test_robustness
