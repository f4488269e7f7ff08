"""Model classes: collection per addon, normalisation, and the composition of
registry classes by _build_model."""
import pytest

from odoo import api, fields, models
from odoo.models import MetaModel


def build(env, *classes):
    """Build test classes into the env's registry and set the models up."""
    for cls in classes:
        cls._build_model(env.registry, env.cr)
    env.registry.setup_models(env.cr)


class TestCollection:
    def test_module_comes_from_python_module(self, demo_env):
        collected = MetaModel.module_to_models['standin_demo']
        names = [(cls.__name__, cls._module) for cls in collected]
        assert ('Thing', 'standin_demo') in names
        assert ('ThingSecondExtension', 'standin_demo') in names
        assert ('Partner', 'standin_demo') in names

    def test_classes_without_module_or_register_are_not_collected(self):
        before = {key: list(value) for key, value in MetaModel.module_to_models.items()}

        class Silent(models.Model):
            _name = 'test.silent'
            _module = None

        class Unregistered(models.Model):
            _register = False
            _name = 'test.unregistered'

        assert {key: list(value) for key, value in MetaModel.module_to_models.items()} == before
        assert Silent._module is None
        # _register = False: no normalisation, no magic fields
        assert 'id' not in Unregistered.__dict__

    def test_class_outside_addons_must_set_module(self):
        with pytest.raises(AssertionError, match="should start with 'odoo.addons'"):
            class Stray(models.Model):
                _name = 'test.stray'

    def test_name_and_inherit_are_normalised(self):
        class Ext(models.Model):
            _inherit = 'res.partner'
            _module = None

        class Multi(models.AbstractModel):
            _inherit = ['res.partner', 'base']
            _module = None

        assert Ext._inherit == ['res.partner'] and Ext._name == 'res.partner'
        assert Multi._name == 'Multi'           # Odoo's rule: the class name
        assert 'id' not in Ext.__dict__         # an extension adds no magic field


class TestBuildModel:
    def test_extension_goes_on_top_of_the_same_class(self, env):
        registry = env.registry
        Partner = registry['res.partner']
        original_bases = Partner._BaseModel__base_classes

        class Ext(models.Model):
            _inherit = 'res.partner'
            _module = None
            _rec_names_search = ['name', 'email']

        assert Ext._build_model(registry, env.cr) is Partner
        assert registry['res.partner'] is Partner
        assert Partner._BaseModel__base_classes[0] is Ext
        assert Partner._BaseModel__base_classes[1:] == original_bases
        registry.setup_models(env.cr)
        assert Partner.__mro__[1] is Ext
        assert env['res.partner']._rec_names_search == ['name', 'email']
        assert env['res.partner']._inherit == ['res.partner']

    def test_missing_model_raises_type_error(self, env):
        class Ghost(models.Model):
            _inherit = 'no.such.model'
            _module = None

        with pytest.raises(TypeError) as info:
            Ghost._build_model(env.registry, env.cr)
        assert str(info.value) == "Model 'no.such.model' does not exist in registry."

    def test_new_model_gets_a_new_class_inheriting_base(self, env):
        class Gadget(models.Model):
            _name = 'test.gadget'
            _description = 'Gadget'
            _module = None
            label = fields.Char()

        Model = Gadget._build_model(env.registry, env.cr)
        assert Model is not Gadget and Model.pool is env.registry
        assert Model._BaseModel__base_classes == (Gadget, env.registry['base'])
        assert 'test.gadget' in env.registry['base']._inherit_children
        env.registry.setup_models(env.cr)
        env.registry.init_models(env.cr, ['test.gadget'], {})
        assert set(env['test.gadget']._fields) == {'id', 'display_name', 'label'}
        assert env['test.gadget']._rec_name is None
        assert env['test.gadget']._table == 'test_gadget'
        gadget = env['test.gadget'].create({'label': 'x'})
        assert gadget.display_name == 'test.gadget,%d' % gadget.id
        assert hasattr(env['test.gadget'], 'get_view')     # from 'base'

    def test_kinds_must_match(self, env):
        class AbstractToModel(models.Model):
            _inherit = 'base'
            _module = None

        with pytest.raises(TypeError, match='abstract model'):
            AbstractToModel._build_model(env.registry, env.cr)

        class Temp(models.TransientModel):
            _name = 'test.temp'
            _description = 'Temp'
            _module = None

        build(env, Temp)

        class OnTemp(models.Model):
            _name = 'test.temp'
            _inherit = ['test.temp']
            _module = None

        with pytest.raises(TypeError, match='transient model'):
            OnTemp._build_model(env.registry, env.cr)

    def test_attributes_resolve_newest_first(self, demo_env):
        Thing = demo_env['standin.thing']
        assert Thing._description == 'Thing (extended)'
        assert Thing._module == 'standin_demo'
        assert Thing._original_module == 'standin_demo'
        assert Thing._rec_name == 'name'
        assert Thing._fields['extra'].default == 'two'
        assert {c[0] for c in Thing._sql_constraints} == {'code_unique', 'count_positive'}

        class Late(models.Model):
            _inherit = 'standin.thing'
            _module = None
            _description = 'Late'

        build(demo_env, Late)
        assert Thing._module is None          # the newest layer's
        assert Thing._description == 'Late'
        assert Thing._original_module == 'standin_demo'


class TestSuperChains:
    def test_layers_of_one_addon(self, demo_env):
        assert demo_env['standin.thing'].describe() == ['second', 'first', 'thing']

    def test_layers_of_several_addons_and_runtime_classes(self, make_registry):
        registry = make_registry('standin_extra')
        env = api.Environment(registry.cursor(), 1, {})
        assert env['standin.thing'].describe() == ['extra', 'second', 'first', 'thing']

        class Runtime(models.Model):
            _inherit = 'standin.thing'
            _module = None

            def describe(self):
                return ['runtime'] + super(Runtime, self).describe()

        build(env, Runtime)
        assert env['standin.thing'].describe() == ['runtime', 'extra', 'second', 'first', 'thing']

    def test_create_override_chain_and_model_create_multi(self, demo_env):
        seen = []

        class Layer(models.Model):
            _inherit = 'res.partner'
            _module = None

            @api.model_create_multi
            def create(self, vals_list):
                seen.append(len(vals_list))
                return super().create(vals_list)

        build(demo_env, Layer)
        partners = demo_env['res.partner'].create([{'name': 'a'}, {'name': 'b'}])
        single = demo_env['res.partner'].create({'name': 'c'})
        assert seen == [2, 1]
        assert len(partners) == 2 and len(single) == 1
