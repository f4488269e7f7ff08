"""What the tests of lumq_spell share: a test case whose tests all start from
the registry as installed, and helpers to enable a model, read the spells and
search as the web client does.

The tests use the models of the test addons spell_test_models and
spell_test_extend, installed together with lumq_spell.
"""
import datetime
import itertools
from contextlib import contextmanager

from lxml import etree

from odoo import fields
from odoo.addons.lumq_spell.models.spell_models import INTERNAL_SWITCH
from odoo.tests.common import TransactionCase

SPELL_FIELDS = ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell")
ZHANG = ("zhangsan", "zs", "Z")
LISI = ("lisi", "ls", "L")
# the context under which configuration writes change stored values only
FLAG = {"ignore_extend_search_view": INTERNAL_SWITCH}

_case_seq = itertools.count()


def on_postgresql(cr):
    """Whether the cursor is a real server's (PostgreSQL), not the stand-in's."""
    return hasattr(cr._cnx, "server_version")


def leave_index_invalid(cr, index):
    """Leave ``index`` (spell_sql.SpellIndex) as a CREATE INDEX CONCURRENTLY
    that was cut short leaves it, on PostgreSQL: in the catalog, marked
    invalid, neither kept up to date nor read."""
    cr.execute(f'CREATE INDEX IF NOT EXISTS "{index.name}" {index.definition}')
    cr.execute("UPDATE pg_index SET indisvalid = false WHERE indexrelid = to_regclass(%s)",
               [f'"{index.name}"'])


def spells(records):
    """The three stored spells of each record, in order."""
    return [(r.lumq_full_spell, r.lumq_simple_spell, r.lumq_first_spell) for r in records]


def field_id(env, model_name, field_name):
    """The id of the field's ir.model.fields row."""
    return env["ir.model.fields"].search([("model", "=", model_name), ("name", "=", field_name)]).id


def enable(env, model_name, field_name=None, **values):
    """Create the configuration record that enables spell on a model, with
    ``field_name`` as the source of the spells when given."""
    values["model_id"] = env["ir.model"]._get_id(model_name)
    if field_name:
        values["spell_field_id"] = field_id(env, model_name, field_name)
    return env["lumq_spell.config"].create(values)


def eval_filter_domain(filter_domain, text):
    """The domain of a search field's ``filter_domain`` for the typed text:
    the web client evaluates it with ``self`` bound to the text, and nothing
    else (no builtins) reachable."""
    domain = eval(filter_domain, {"__builtins__": {}}, {"self": text})  # noqa: S307 (restricted)
    if not isinstance(domain, (list, tuple)):
        raise ValueError(f"filter_domain {filter_domain!r} is not a domain")
    return list(domain)


def search_domain(env, model_name, field_name, text):
    """The domain that the web client searches with when ``text`` is typed
    into the search field ``field_name``: the first such field of the
    model's combined default search view gives it through its
    ``filter_domain``, else the field is compared with ``ilike`` (or its
    ``operator``)."""
    arch = env[model_name].get_view(view_type="search")["arch"]
    root = etree.fromstring(arch)
    node = next((n for n in root.iter("field") if n.get("name") == field_name), None)
    if node is None:
        raise ValueError(f"No field {field_name!r} in the search view of {model_name}")
    filter_domain = (node.get("filter_domain") or "").strip()
    if filter_domain:
        return eval_filter_domain(filter_domain, text)
    return [(field_name, node.get("operator") or "ilike", text)]


def web_search(env, model_name, field_name, text):
    """The records the web client finds by typing ``text`` into the search
    field ``field_name`` of the model's search view."""
    return env[model_name].search(search_domain(env, model_name, field_name, text))


class SpellCase(TransactionCase):
    """Every test starts from the registry as installed.

    Enabling a model sets the registry up again with a spell class on the
    model; the test's rollback takes the mark away in the database but not
    the class.  Once the rollback is done, the registry is set up again
    whenever the test changed it, and the set-up detaches the spell class
    from every model that is no longer marked."""

    def setUp(self):
        # Cleanups run last-registered-first: this one runs after the
        # rollback of the test's savepoint, which super().setUp() registers.
        self.registry.registry_invalidated = False
        self.addCleanup(self._set_registry_up_again)
        super().setUp()

    def _set_registry_up_again(self):
        if self.registry.registry_invalidated:
            self.registry.setup_models(self.cr)
            self.registry.registry_invalidated = False

    def registry_changed(self):
        """Note that the test changed the registry's classes by hand (without
        a set-up): they are set up again after it."""
        self.registry.registry_invalidated = True

    @contextmanager
    def case(self, **params):
        """A subtest whose changes to the database and to the registry are
        undone at its end, so that every case starts where the first did."""
        with self.subTest(**params):
            # as the ORM's own savepoints: flushed before, and the cursor's
            # cache and pre-commit data cleared on rollback
            self.cr.flush()
            savepoint = f"lumq_case_{next(_case_seq)}"
            self.cr.execute(f"SAVEPOINT {savepoint}")
            try:
                yield
            finally:
                self.cr.clear()
                self.cr.execute(f"ROLLBACK TO SAVEPOINT {savepoint}")
                self.registry.clear_all_caches()
                self._set_registry_up_again()

    def upkeep_after_the_drop_delay(self):
        """Run the spells' upkeep as it runs once the time between disabling
        a model and dropping its spell columns is past."""
        IrModel = self.env["ir.model"]
        later = fields.Datetime.now() + datetime.timedelta(seconds=IrModel._spell_drop_delay + 1)
        IrModel._drop_pending_spell_columns(now=later)

    # -- the feature, as an administrator and the web client use it --

    def enable(self, model_name, field_name=None, **values):
        return enable(self.env, model_name, field_name, **values)

    def web_search(self, model_name, field_name, text):
        return web_search(self.env, model_name, field_name, text)

    def field_id(self, model_name, field_name):
        return field_id(self.env, model_name, field_name)

    def names_found(self, records, text):
        """The names of ``records`` that the web client's search of their
        model's name field finds for ``text``."""
        return set((self.web_search(records._name, "name", text) & records).mapped("name"))

    def names_name_searched(self, records, text):
        """The names of ``records`` that name search (many2one drop-downs)
        finds for ``text``, in its order."""
        names = dict(zip(records.ids, records.mapped("name")))
        return [names[id_] for id_, _name in self.env[records._name].name_search(text, limit=1000)
                if id_ in names]

    def marked(self, model_name):
        """(is_spell_attached, spell_field_name) of the model's ir.model row."""
        row = self.env["ir.model"]._get(model_name)
        return row.is_spell_attached, row.spell_field_name

    def make_view(self, model_name, arch, view_type="search", **values):
        return self.env["ir.ui.view"].create(
            {"model": model_name, "type": view_type, "arch": arch, **values}
        )
