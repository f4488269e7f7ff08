"""How enabled models get the spell mixin in the registry, how their ir.model
rows and XML ids are kept, and what a failed enabling leaves of them."""
from odoo import models
from odoo.addons.base.models.res_partner import Partner
from odoo.addons.lumq_spell.models import spell_models
from odoo.addons.spell_test_models.models.test_models import SpellTestRecord
from odoo.tests.common import tagged
from odoo.tools import sql

from .common import LISI, SPELL_FIELDS, ZHANG, SpellCase, spells

MIXIN = "lumq_spell.spell_mixin"


def attached(registry, model_name):
    return "lumq_full_spell" in registry[model_name]._fields


def spell_classes(model):
    """The classes that put the mixin on the model."""
    return [cls for cls in type(model).mro() if MIXIN in cls.__dict__.get("_inherit", ())]


def recording(calls, func):
    def record(*args, **kwargs):
        calls.append(args)
        return func(*args, **kwargs)
    return record


def model_class(base, module, name, inherit, **attrs):
    """A model class of the given addon, as the addon's loading makes it."""
    cls = type("Probe", (base,), dict(attrs, _name=name, _inherit=inherit, _module=None,
                                      _description=name, __module__=__name__))
    # set afterwards, so that the class is collected for no addon
    cls._module = module
    return cls


@tagged("post_install", "-at_install")
class TestRegistryHooks(SpellCase):

    def build(self, cls):
        """Build a model class into the registry, as the loading of its addon
        does; after the test the registry gets its earlier classes back."""
        registry = self.registry
        name = cls._name
        previous = registry.models.get(name)
        if previous is not None:
            bases = previous._BaseModel__base_classes
            inherit_module = dict(previous._inherit_module)

        def restore():
            if previous is None:
                registry.models.pop(name, None)
                registry["base"]._inherit_children.discard(name)
            else:
                registry.models[name] = previous
                previous._BaseModel__base_classes = bases
                previous._inherit_module.clear()
                previous._inherit_module.update(inherit_module)
                previous._build_model_attributes(registry)
            self.registry_changed()

        self.addCleanup(restore)
        return cls._build_model(registry, self.cr)

    def test_flag_write_attaches_each_model_in_order(self):
        registry = self.registry
        inits = []
        self.patch(registry, "init_models", recording(inits, registry.init_models))
        industry = self.env["res.partner.industry"].create({"name": "制造业"})
        # a flagged row whose model is gone from the registry is passed over
        gone = self.env["ir.model"].create({"model": "x.gone", "name": "Gone", "state": "base"})

        # the configuration field alone attaches nothing
        self.env["ir.model"]._get("spell.test.record")._write_spell_marks({"spell_field_name": "code"})
        self.assertFalse(attached(registry, "spell.test.record"))
        self.assertEqual(inits, [])

        rows = self.env["ir.model"]._get("spell.test.record") + gone + self.env["ir.model"]._get("res.partner.industry")
        rows._write_spell_marks({"is_spell_attached": True})

        # spell.test.copy inherits spell.test.record under a name of its own
        self.assertEqual([list(names) for _cr, names, _context in inits], [
            ["spell.test.record", "spell.test.copy"], ["res.partner.industry"]])
        self.assertTrue(all(context["update_custom_fields"] for _cr, _names, context in inits))
        for model_name in ("spell.test.record", "spell.test.copy", "res.partner.industry"):
            table = self.env[model_name]._table
            self.assertTrue(attached(registry, model_name), model_name)
            for name in SPELL_FIELDS:
                self.assertTrue(sql.column_exists(self.cr, table, name), (model_name, name))
        record = self.env["spell.test.record"].create({"name": "张三", "code": "李四"})
        industry.write({"full_name": "x"})
        self.assertEqual(spells(record), [LISI])
        self.assertEqual(spells(industry), [("zhizaoye", "zzy", "Z")])

    def test_build_model(self):
        cases = [
            ("lumq_spell", "x.missing", ["x.missing"], "unbuilt"),
            ("spell_test_models", "x.missing", ["x.missing"], TypeError),
            ("lumq_spell", "spell.test.titled", ["spell.test.titled"], "built"),
            ("lumq_spell", "x.defined", [], "built"),
        ]
        registry = self.registry
        for module, name, inherit, outcome in cases:
            with self.subTest(module=module, name=name):
                before = registry.models.get(name)
                cls = model_class(spell_models.LumqBaseExtend, module, name, inherit)
                if outcome is TypeError:
                    with self.assertRaisesRegex(TypeError, "does not exist in registry"):
                        self.build(cls)
                elif outcome == "unbuilt":
                    self.assertIs(self.build(cls), cls)
                    self.assertNotIn(name, registry)
                else:
                    built = self.build(cls)
                    self.assertIs(built, registry[name])
                    self.assertIsNot(built, cls)
                    self.assertIn(before, (None, registry[name]))

    def test_reflect_writes_changed_rows_and_xml_ids(self):
        self.enable("spell.test.item")
        registry = self.registry
        upserts, queued = [], []
        self.patch(spell_models, "upsert_en", recording(upserts, spell_models.upsert_en))
        self.patch(registry, "post_init", recording(queued, registry.post_init))
        self.env["ir.model.data"].search([("module", "=", "spell_test_models"), ("model", "=", "ir.model")]).unlink()
        names = ["spell.test.item", "spell.test.titled", "spell.test.record", "lumq_spell.config", "res.partner"]

        def marked_rows():
            """The ir.model rows queued to be marked as modified (the host
            may queue other work of its own)."""
            return [args[1].mapped("model") for args in queued
                    if args[0] is spell_models.mark_modified and args[1]._name == "ir.model"]

        def reflect():
            registry.init_models(self.cr, names, {"module": "spell_test_models"})
            self.env.invalidate_all()
            return {name: bool(self.env.ref("spell_test_models.model_" + name.replace(".", "_"),
                                            raise_if_not_found=False)) for name in names}

        # nothing changed: no row written, but the XML ids of the module being
        # loaded are made again, for the models it defines or last extended
        # only: an enabled one among them (spell.test.item), and not
        # spell.test.record, which spell_test_extend extends
        expected_ids = {"spell.test.item": True, "spell.test.titled": True, "spell.test.record": False,
                        "lumq_spell.config": False, "res.partner": False}
        self.assertEqual(reflect(), expected_ids)
        self.assertEqual(upserts, [])
        self.assertEqual(marked_rows(), [])

        # one changed row: one upsert of that row, whose new values are
        # marked as modified once the models are initialised
        self.env["ir.model"]._get("spell.test.titled").write({"name": "old"})
        self.env.flush_all()
        self.assertEqual(reflect(), expected_ids)
        self.assertEqual([[row[0] for row in rows] for _model, _cols, rows, _key in upserts],
                         [["spell.test.titled"]])
        self.assertEqual(marked_rows(), [["spell.test.titled"]])
        self.assertEqual(self.env["ir.model"]._get("spell.test.titled").name, "Spell test titled")

    def test_enabling_and_disabling_leave_the_model_row_as_it_was(self):
        """The reflection of models writes a changed ir.model row again, with
        a lock on its key: the spell class changes nothing of the row."""
        row = self.env["ir.model"]._get("spell.test.record")
        names = ["name", "info", "order", "state", "transient"]
        before = row.read(names)
        config = self.enable("spell.test.record")
        self.env.invalidate_all()
        self.assertEqual(row.read(names), before)
        config.unlink()
        self.env.invalidate_all()
        self.assertEqual(row.read(names), before)

    def test_changing_the_source_field(self):
        self.enable("spell.test.record")
        record = self.env["spell.test.record"].create({"name": "张三", "code": "李四"})
        row = self.env["ir.model"]._get("spell.test.record")
        for field_name, expected in [("code", LISI), (False, ZHANG), ("code", LISI)]:
            # written as the configuration writes it
            row._write_spell_marks({"is_spell_attached": True, "spell_field_name": field_name})
            record.write({"amount": 1})
            self.assertEqual(spells(record), [expected], field_name)
        model = self.env["spell.test.record"]
        self.assertEqual(type(model).mro().count(self.registry[MIXIN]), 1)
        self.assertEqual(len(spell_classes(model)), 1)

    def test_class_loaded_on_top_of_the_spell_class(self):
        self.enable("spell.test.record", "code")
        record = self.env["spell.test.record"].create({"name": "制造业", "code": "张三"})
        # an addon loaded later extends the model, with a list of its own
        self.build(model_class(models.Model, "spell_test_models", "spell.test.record", ["spell.test.record"],
                               _rec_names_search=["name", "code"]))
        for _ in range(2):
            self.registry.setup_models(self.cr)
            model = self.env["spell.test.record"]
            self.assertEqual(model._rec_names_search, ["name", "code", "lumq_full_spell", "lumq_simple_spell"])
            self.assertEqual([id_ for id_, _name in model.name_search("zs")], [record.id])
            self.assertEqual(len(spell_classes(model)), 1)
            record.write({"amount": 1})
            self.assertEqual(spells(record), [ZHANG])

    def test_name_search_and_rec_names(self):
        """The spells join the model's name search list, at every set-up, on
        the registry's class only."""
        for definition, name in [
            (SpellTestRecord, "name"),          # no list of its own
            (Partner, "name"),                  # a list of its own
        ]:
            with self.case(model=definition._name):
                own = definition.__dict__.get("_rec_names_search")
                own_items = list(own or ())
                Model = self.env[definition._name]
                self.assertEqual(Model._rec_names_search, own)
                self.enable(definition._name)
                record = Model.create({name: "制造业"})
                for _ in range(3):
                    for text in ("制造", "zhizao", "zzy"):
                        self.assertIn(record.id, [id_ for id_, _name in Model.name_search(text)], text)
                    self.assertEqual(Model._rec_names_search,
                                     (own_items or [name]) + ["lumq_full_spell", "lumq_simple_spell"])
                    self.registry.setup_models(self.cr)
                self.assertIs(definition.__dict__.get("_rec_names_search"), own)
                self.assertEqual(list(own or ()), own_items)

    def test_models_inheriting_an_enabled_model_get_its_columns(self):
        self.enable("spell.test.record")
        copy = self.env["spell.test.copy"].create({"name": "张三"})
        self.assertTrue(sql.column_exists(self.cr, "spell_test_copy", "lumq_full_spell"))
        self.assertEqual(spells(copy), [ZHANG])

    def test_failed_enabling_leaves_the_model_as_it_was(self):
        """Enabling fails after the model was marked and set up with the
        spell class, here because the spell of a record cannot be computed:
        the error reaches the caller as raised, and the model works as
        before, also for a caller that catches the error and goes on with
        its transaction (assertRaises rolls back to a savepoint, as a script
        may do), with no set-up of the registry by the caller."""
        Item = self.env["spell.test.item"]
        existing = Item.create([{"name": "张三"}, {"name": "王五"}])
        spell_error = RuntimeError("no spell for 王五")
        spells = spell_models.SpellMixin._get_spells

        def get_spells(mixin, text):
            if text == "王五":
                raise spell_error
            return spells(mixin, text)

        self.patch(spell_models.SpellMixin, "_get_spells", get_spells)
        marks = []
        attach = spell_models.IrModelExtend._attach_spell
        self.patch(spell_models.IrModelExtend, "_attach_spell",
                   lambda row: marks.append(row.is_spell_attached) or attach(row))

        with self.assertRaises(RuntimeError) as caught:
            self.enable("spell.test.item")
        self.assertIs(caught.exception, spell_error)
        self.assertEqual(marks, [True])

        Item = self.env["spell.test.item"]
        self.assertEqual(self.marked("spell.test.item"), (False, False))
        self.assertFalse(self.env["lumq_spell.config"].search([]))
        self.assertNotIn("lumq_full_spell", Item._fields)
        self.assertFalse(spell_classes(Item))
        self.assertFalse(sql.column_exists(self.cr, Item._table, "lumq_full_spell"))
        self.assertNotIn("lumq", Item.get_view(view_type="search")["arch"])
        created = Item.create({"name": "李四", "code": "c"})
        self.assertEqual(created.read(["name", "code"]), [{"id": created.id, "name": "李四", "code": "c"}])
        self.assertEqual(Item.search([]), existing | created)
        self.assertEqual(Item.search([("name", "=", "李四")]), created)
        self.assertEqual([id_ for id_, _name in Item.name_search("李")], [created.id])
        created.write({"name": "赵六"})
        self.assertEqual(self.web_search("spell.test.item", "name", "赵").name, "赵六")
