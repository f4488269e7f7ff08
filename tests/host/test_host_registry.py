"""The registry (set-up, schema, method caches), the ir.model helpers and the
cursor."""
import pytest

from odoo import SUPERUSER_ID, api, fields, models, tools
from odoo.addons.base.models.ir_model import mark_modified, model_xmlid, select_en, upsert_en
from odoo.modules.registry import Registry
from odoo.tools import sql

counter = {'calls': 0}


class Counted(models.AbstractModel):
    _inherit = 'base'
    _module = None

    @tools.ormcache()
    def _counted(self):
        counter['calls'] += 1
        return counter['calls']

    @tools.ormcache('key')
    def _counted_by_key(self, key):
        counter['calls'] += 1
        return key, counter['calls']


class TestOrmcache:
    @pytest.fixture
    def model(self, env):
        Counted._build_model(env.registry, env.cr)
        env.registry.setup_models(env.cr)
        counter['calls'] = 0
        return env['res.partner']

    def test_cached_until_clear_cache(self, model):
        assert model._counted() == 1
        assert model._counted() == 1
        assert model.with_context(x=1).sudo(False)._counted() == 1     # one entry per model
        assert model.env['res.users']._counted() == 2
        model.env.registry.clear_cache()
        assert model._counted() == 3

    def test_keys_and_setup_models(self, model):
        assert model._counted_by_key('a') == ('a', 1)
        assert model._counted_by_key('b') == ('b', 2)
        assert model._counted_by_key('a') == ('a', 1)
        model.env.registry.setup_models(model.env.cr)
        assert model._counted_by_key('a') == ('a', 3)

    def test_other_cache_names_untouched(self, model):
        caches = model.env.registry._caches
        caches['templates']['k'] = 'v'
        model.env.registry.clear_cache()
        assert caches['templates'] == {'k': 'v'}
        model.env.registry.clear_cache('templates')
        assert caches['templates'] == {}


# a mixin and an ir.model hook built the way the spell addon builds its models
class Mixin(models.Model):
    _name = 'test.spell_mixin'
    _description = 'Mixin'
    _module = None

    spell = fields.Char(compute='_compute_spell', store=True)

    @api.depends()
    def _compute_spell(self):
        for record in self:
            record.spell = 'S:%s' % (record[record._rec_name] or '')
            record.spell = record.spell.upper()         # reads back its own assignment


enabled = {}


class IrModelHook(models.Model):
    _inherit = 'ir.model'
    _module = None

    def _add_manual_models(self):
        super()._add_manual_models()
        enabled.setdefault('calls', []).append(bool(self.pool._init_modules))
        if self.pool._init_modules:
            for name in enabled.get('models', ()):
                class CustomModel(models.Model):
                    _name = name
                    _inherit = ['test.spell_mixin', name]
                    _module = None
                CustomModel._module = 'later'
                CustomModel._build_model(self.pool, self._cr)


class TestSetup:
    def test_setup_keeps_classes(self, demo_env):
        registry = demo_env.registry
        classes = dict(registry.models)
        registry.setup_models(demo_env.cr)
        assert all(registry[name] is cls for name, cls in classes.items())
        assert demo_env['standin.thing'].describe() == ['second', 'first', 'thing']

    def test_runtime_model_on_existing_table(self, env):
        registry, cr = env.registry, env.cr
        enabled.clear()
        old = env['res.partner'].create({'name': 'old'})
        Mixin._build_model(registry, cr)
        IrModelHook._build_model(registry, cr)
        registry.setup_models(cr)
        registry.init_models(cr, ['test.spell_mixin'], {})
        assert not sql.column_exists(cr, 'res_partner', 'spell')

        enabled['models'] = ['res.partner']
        registry.setup_models(cr)
        assert 'spell' in env['res.partner']._fields
        assert env['res.partner']._module == 'later'
        assert env['res.partner']._inherit == ['test.spell_mixin', 'res.partner']
        names = registry.descendants(['res.partner'], '_inherits')
        registry.init_models(cr, names, {'update_custom_fields': True})
        assert sql.column_exists(cr, 'res_partner', 'spell')
        assert old.spell == 'S:OLD'                         # existing rows computed
        assert env['res.partner'].create({'name': 'new'}).spell == 'S:NEW'
        assert env['ir.model.fields'].search([('model', '=', 'res.partner'), ('name', '=', 'spell')])

    def test_manual_models_only_once_modules_are_loaded(self, env):
        registry = env.registry
        enabled.clear()
        IrModelHook._build_model(registry, env.cr)
        registry.setup_models(env.cr)
        saved, registry._init_modules = registry._init_modules, set()
        try:
            registry.setup_models(env.cr)
        finally:
            registry._init_modules = saved
        assert enabled['calls'] == [True]      # not called while no module is loaded

    def test_descendants_and_post_init(self, demo_env):
        registry = demo_env.registry
        assert list(registry.descendants(['standin.thing'], '_inherit')) == ['standin.thing']
        assert set(registry.descendants(['base'], '_inherit')) == set(registry)
        calls = []
        registry.post_init(calls.append, 'done')
        registry.init_models(demo_env.cr, ['standin.tag'], {})
        assert calls == ['done']

    def test_init_models_reflects_with_module_xml_ids(self, demo_env):
        model = demo_env['ir.model']._get('standin.thing')
        assert model.name == 'Thing (extended)' and model.info == 'A thing of the demo.'
        assert model.state == 'base' and model.transient is False
        assert demo_env.ref('standin_demo.model_standin_thing') == model
        assert demo_env.ref('standin_demo.field_standin_thing__partner_name').ttype == 'char'
        # base's field extended by standin_demo gets an XML id of standin_demo
        assert demo_env.ref('standin_demo.field_res_partner__nickname').model == 'res.partner'
        assert demo_env.ref('base.field_res_partner__name')


class TestIrModelHelpers:
    def test_model_xmlid(self):
        assert model_xmlid('lumq_spell', 'res.partner.industry') == 'lumq_spell.model_res_partner_industry'

    def test_select_and_upsert(self, env):
        IrModel = env['ir.model']
        rows = select_en(IrModel, ['id', 'model', 'transient'], "model IN %s",
                         [('res.partner', 'ir.model')])
        assert sorted(row[1] for row in rows) == ['ir.model', 'res.partner']
        partner_id = IrModel._get_id('res.partner')
        ids = upsert_en(IrModel, ['model', 'name', 'order', 'state', 'transient'],
                        [('x.new', 'New', 'id', 'manual', False), ('res.partner', 'Partner!', 'id', 'base', False)],
                        ['model'])
        assert ids[1] == partner_id and ids[0] not in (partner_id, None)
        assert IrModel.browse(partner_id).name == 'Partner!'
        assert IrModel.browse(ids[0]).model == 'x.new'

    def test_mark_modified_recomputes_dependents(self, demo_env):
        partner = demo_env['res.partner'].create({'name': 'Ann'})
        thing = demo_env['standin.thing'].create({'name': 't', 'partner_id': partner.id})
        demo_env.cr.execute("UPDATE res_partner SET name = 'Anna' WHERE id = %s", [partner.id])
        assert thing.partner_name == 'Ann'
        assert mark_modified(partner, ['name']) is None
        assert thing.partner_name == 'Anna'

    def test_reflect_models_keeps_xml_ids(self, demo_env):
        registry = demo_env.registry
        registry.loaded_xmlids.clear()
        demo_env['ir.model'].with_context(module='standin_demo')._reflect_models(['standin.thing', 'res.users'])
        assert registry.loaded_xmlids == {'standin_demo.model_standin_thing'}
        demo_env['ir.model']._reflect_models(['standin.tag'])
        assert registry.loaded_xmlids == {'standin_demo.model_standin_thing'}


class TestDatabase:
    def test_cursor(self, env):
        cr = env.cr
        cr.execute("SELECT model FROM ir_model WHERE model IN %s AND %s ORDER BY model",
                   (('res.partner', 'res.users'), True))
        assert cr.rowcount == 2 and cr.fetchall() == [('res.partner',), ('res.users',)]
        cr.execute("SELECT %(a)s AS a, 'x%%' AS c WHERE 2 IN %(b)s", {'a': 1, 'b': (2, 3)})
        assert cr.dictfetchall() == [{'a': 1, 'c': 'x%'}]
        cr.execute("UPDATE res_partner_industry SET name = 'x' WHERE id < 0")
        assert cr.rowcount == 0
        env['res.partner'].create({'name': 'a', 'is_company': True})
        cr.execute("SELECT name FROM res_partner WHERE is_company = true")
        assert cr.dictfetchone() == {'name': 'a'}

    def test_savepoint(self, env):
        with pytest.raises(RuntimeError):
            with env.cr.savepoint():
                env['res.partner'].create({'name': 'gone'})
                raise RuntimeError
        with env.cr.savepoint():
            env['res.partner'].create({'name': 'kept'})
        assert env['res.partner'].search([]).mapped('name') == ['kept']

    def test_same_name_reuses_the_data(self, make_registry):
        registry = make_registry()
        cr = registry.cursor()
        env = api.Environment(cr, SUPERUSER_ID, {})
        env['res.partner'].create({'name': 'persisted'})
        cr.commit()
        again = Registry.new(registry.db_name)
        assert again is not registry and Registry(registry.db_name) is again
        assert env.registry is again
        assert env['res.partner'].search([]).mapped('name') == ['persisted']

    def test_file_database(self, tmp_path):
        from odoo.tests.common import drop_database
        path = str(tmp_path / 'host.sqlite')
        try:
            registry = Registry.new(path)
            with registry.cursor() as cr:
                api.Environment(cr, SUPERUSER_ID, {})['res.partner'].create({'name': 'on disk'})
            assert (tmp_path / 'host.sqlite').stat().st_size > 0
        finally:
            drop_database(path)
        registry = Registry.new(path)
        try:
            env = api.Environment(registry.cursor(), SUPERUSER_ID, {})
            assert env['res.partner'].search([]).mapped('name') == ['on disk']
        finally:
            drop_database(path)

    def test_tools(self, env):
        assert list(tools.unique([3, 1, 3, 2, 1])) == [3, 1, 2]
        assert sql.table_exists(env.cr, 'res_partner') and not sql.table_exists(env.cr, 'nope')
        assert sql.column_exists(env.cr, 'res_partner', 'email')
        assert not sql.column_exists(env.cr, 'res_partner', 'nope')
