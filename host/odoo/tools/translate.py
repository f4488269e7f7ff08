"""Odoo's ``_()`` for messages: ``_(source, *args)`` or ``_(source, **kwargs)``
formats ``source`` with the arguments as ``%`` does.

Odoo looks the source up in the calling addon's code translations for the
language of the calling code's environment; the stand-in loads no
translation files and gives the English source, formatted.
"""


def _(source, *args, **kwargs):
    assert not (args and kwargs), "_() takes positional or keyword arguments, not both"
    if args or kwargs:
        return source % (args or kwargs)
    return source


class _lt(str):
    """A message translated when it is used (Odoo's lazy ``_lt``); the
    stand-in keeps the English source, formatted."""

    def __new__(cls, source, *args, **kwargs):
        return super().__new__(cls, _(source, *args, **kwargs))
