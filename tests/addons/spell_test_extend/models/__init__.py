from . import record
