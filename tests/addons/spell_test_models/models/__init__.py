from . import test_models
