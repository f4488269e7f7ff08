"""The spell models, made by the loaders of lumq_spell_base.

The loaders run each model's source with this module's globals, so every name
the sources use is imported here, and each class is bound here under its own
name (its methods name their class in ``super``) and counted as a class of the
addon lumq_spell.
"""
import ast
import contextlib
import datetime
import functools
import itertools
import logging
import re
import sys
import threading
import time
import unicodedata

import lumq_spell_base
from lxml import etree
from pypinyin import Style, lazy_pinyin, pinyin

from odoo import _ as odoo_gettext
from odoo import SUPERUSER_ID, api, fields, models, modules, sql_db, tools
from odoo.addons.base.models.ir_model import mark_modified, model_xmlid, select_en, upsert_en
from odoo.exceptions import AccessError, UserError, ValidationError
from odoo.osv import expression
from odoo.tools import SQL, sql, unique

from . import spell_fuzzy, spell_search, spell_sql
from .spell_surnames import COMPOUND_SURNAMES, SURNAMES

_logger = logging.getLogger(__name__)


def _(source, *args, **kwargs):
    """Odoo's ``_`` for the messages of the spell models.

    Odoo finds the addon whose translations to use from the file of the code
    that calls ``_``, and the language from that code's ``self``.  The model
    sources run from text, with no file of this addon, so the call is made
    from here, with ``self`` of the method that asks."""
    self = sys._getframe(1).f_locals.get("self")  # noqa: F841  (read by Odoo's _)
    return odoo_gettext(source, *args, **kwargs)


class DynamicVariable:
    """A bare word of a search view's filter domain (a name such as ``self``,
    a dotted path, a number, ``True``), kept as it was written.

    ``id`` is the identifier that stands for the word in the domain text while
    it is evaluated; ``repr`` gives the word back, so that ``str`` of a domain
    holding such objects reads as the domain's source text again.
    """

    __slots__ = ("word", "id")

    def __init__(self, word):
        self.word = word
        # the word's UTF-8 bytes in hex: a valid identifier, never a keyword,
        # and different for different words
        self.id = "_lumq_word_" + word.encode("utf-8").hex()

    def __repr__(self):
        return self.word


# The value that turns on one of the spell models' internal context switches
# (ignore_extend_search_view, disable_spell_compute, ...).  A request's context
# holds only what JSON can carry, so no client can pass this object: a switch
# is on only where the addon's own code turned it on.
INTERNAL_SWITCH = object()


def restores_registry(method):
    """Run a method that may change which models carry the spells inside a
    savepoint of its own.  When it raises, the savepoint takes its changes
    to the database back, and the registry is set up again to match them,
    whatever the caller then does with its transaction: a caller that
    catches the error would otherwise go on with spell fields whose columns
    are gone, in this process, until it restarts."""

    @functools.wraps(method)
    def guarded(self, *args, **kwargs):
        try:
            with self.env.cr.savepoint():
                return method(self, *args, **kwargs)
        except Exception:
            self.env.registry.setup_models(self.env.cr)
            raise

    return guarded


class Untransliterated(str):
    """A piece of text that pypinyin gives back as it was: no Chinese."""

    __slots__ = ()


lumq_spell_base.load_lumq_base_extend_0(globals())
lumq_spell_base.load_ir_model_extend_1(globals())
lumq_spell_base.load_ir_view_extend_3(globals())
lumq_spell_base.load_ir_module_module_4(globals())
lumq_spell_base.load_lumq_spell_config_5(globals())
lumq_spell_base.load_spell_mixin_6(globals())
