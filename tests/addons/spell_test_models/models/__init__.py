from . import test_models
from . import test_sources
