from . import spell_models
