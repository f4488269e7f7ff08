"""Fields: computed and related values, relational commands, deletion rules,
defaults and constraints."""
import pytest

from odoo.addons.base.models.ir_model import MODULE_UNINSTALL_FLAG
from odoo.exceptions import MissingError, UserError, ValidationError


@pytest.fixture
def Thing(demo_env):
    model = demo_env['standin.thing']
    type(model).writes.clear()
    return model


class TestComputedFields:
    def test_computed_on_create_without_write(self, Thing):
        thing = Thing.create({'name': 'Abc'})
        assert (thing.name_upper, thing.stamp, thing.letters, thing.first_letter) == \
            ('ABC', 'stamped:Abc', 'abc', 'A')
        assert Thing.writes == []       # the ORM's own computation is no write

    def test_recomputed_when_dependency_changes(self, Thing):
        thing = Thing.create({'name': 'abc'})
        thing.name = 'xyz'
        assert (thing.name_upper, thing.first_letter) == ('XYZ', 'X')
        assert Thing.writes == [(['abc'], {'name': 'xyz'})]
        assert thing.stamp == 'stamped:abc'     # depends() without field: create only

    def test_assignment_outside_computation_is_a_write(self, Thing):
        thing = Thing.create({'name': 'abc'})
        thing.stamp = 'manual'
        thing['count'] = 7
        assert Thing.writes == [(['abc'], {'stamp': 'manual'}), (['abc'], {'count': 7})]
        assert (thing.stamp, thing.count) == ('manual', 7)

    def test_given_value_is_kept(self, Thing):
        thing = Thing.create({'name': 'abc', 'stamp': 'given'})
        assert thing.stamp == 'given' and thing.name_upper == 'ABC'

    def test_several_records_each_from_its_own_value(self, Thing):
        things = Thing.create([{'name': 'a1'}, {'name': 'b2'}, {'name': ''}])
        assert things.mapped('name_upper') == ['A1', 'B2', '']
        assert things.mapped('stamp') == ['stamped:a1', 'stamped:b2', 'stamped:']

    def test_non_stored_compute_runs_on_read(self, Thing):
        thing = Thing.create({'name': 'four'})
        assert thing.size == 4
        thing.name = 'seven!!'
        assert thing.size == 7

    def test_values_are_stored_in_the_table(self, Thing):
        thing = Thing.create({'name': 'abc'})
        Thing.env.cr.execute('SELECT name_upper, stamp FROM standin_thing WHERE id = %s', [thing.id])
        assert Thing.env.cr.fetchone() == ('ABC', 'stamped:abc')


class TestRelatedFields:
    def test_stored_related_follows_source(self, demo_env, Thing):
        alice = demo_env['res.partner'].create({'name': 'Alice', 'email': 'a@x'})
        bob = demo_env['res.partner'].create({'name': 'Bob'})
        thing = Thing.create({'name': 't', 'partner_id': alice.id})
        assert thing.partner_name == 'Alice'
        alice.name = 'Alicia'
        assert thing.partner_name == 'Alicia'
        thing.partner_id = bob
        assert thing.partner_name == 'Bob'
        thing.partner_id = False
        assert thing.partner_name is False

    def test_non_stored_related_reads_and_searches(self, demo_env, Thing):
        alice = demo_env['res.partner'].create({'name': 'Alice', 'email': 'a@x'})
        thing = Thing.create({'name': 't', 'partner_id': alice.id})
        assert thing.partner_email == 'a@x'
        assert Thing.search([('partner_email', '=', 'a@x')]) == thing

    def test_related_follows_set_null(self, demo_env, Thing):
        Fields = demo_env['ir.model.fields']
        field = Fields.create({'name': 'x_test', 'model': 'res.partner', 'ttype': 'char', 'store': False,
                               'model_id': demo_env['ir.model']._get_id('res.partner')})
        thing = Thing.create({'name': 't', 'field_id': field.id})
        assert thing.field_name == 'x_test'
        field.unlink()
        assert not thing.field_id and thing.field_name is False


class TestRelationalCommands:
    def test_many2many_commands(self, demo_env, Thing):
        Tag = demo_env['standin.tag']
        a, b, c = Tag.create([{'name': 'a'}, {'name': 'b'}, {'name': 'c'}])
        thing = Thing.create({'name': 't', 'tag_ids': [(6, 0, [c.id, a.id])]})
        assert thing.tag_ids.ids == [a.id, c.id]            # in the comodel's order
        thing.write({'tag_ids': [(4, b.id), (3, a.id)]})
        assert thing.tag_ids == b | c
        thing.write({'tag_ids': [(0, 0, {'name': 'd'}), (1, b.id, {'name': 'bb'})]})
        assert thing.tag_ids.mapped('name') == ['bb', 'c', 'd']
        thing.write({'tag_ids': [(2, c.id)]})
        assert not c.exists() and 'c' not in thing.tag_ids.mapped('name')
        thing.write({'tag_ids': [(5,)]})
        assert not thing.tag_ids
        thing.tag_ids = [a.id, b.id]
        assert thing.tag_ids == a | b
        assert Thing.search([('tag_ids', 'in', [b.id])]) == thing
        assert Thing.search([('tag_ids.name', '=', 'a')]) == thing

    def test_one2many_follows_inverse(self, demo_env, Thing):
        partner = demo_env['res.partner'].create({'name': 'P'})
        partner.write({'thing_ids': [(0, 0, {'name': 'x'}), (0, 0, {'name': 'y'})]})
        assert partner.thing_ids.mapped('name') == ['x', 'y']
        other = Thing.create({'name': 'z'})
        partner.write({'thing_ids': [(4, other.id)]})
        assert other.partner_id == partner
        partner.write({'thing_ids': [(6, 0, [other.id])]})
        assert partner.thing_ids == other

    def test_reading_empty_and_multi_record_sets(self, Thing):
        assert Thing.browse().name is False
        assert not Thing.browse().tag_ids and Thing.browse().tag_ids._name == 'standin.tag'
        things = Thing.create([{'name': 'a'}, {'name': 'b'}])
        with pytest.raises(ValueError, match='Expected singleton'):
            things.name
        with pytest.raises(MissingError):
            Thing.browse(9999).name


class TestDeletion:
    def test_cascade_set_null_and_relation_rows(self, demo_env, Thing):
        partner = demo_env['res.partner'].create({'name': 'P'})
        user = demo_env['res.users'].create({'name': 'U', 'login': 'u'})
        tag = demo_env['standin.tag'].create({'name': 't'})
        thing = Thing.create({'name': 't', 'partner_id': partner.id, 'owner_id': user.id,
                              'tag_ids': [(4, tag.id)]})
        user.unlink()
        assert thing.exists() and not thing.owner_id
        tag.unlink()
        demo_env.cr.execute('SELECT COUNT(*) FROM standin_thing_tag_rel')
        assert demo_env.cr.fetchone()[0] == 0
        partner.unlink()
        assert not thing.exists()

    def test_restrict_blocks_deletion(self, env):
        with pytest.raises(ValidationError, match='another model requires the record'):
            env.ref('base.group_portal').unlink()
        assert env.ref('base.group_portal')

    def test_ondelete_methods(self, Thing):
        locked = Thing.create({'name': 'l', 'locked': True})
        with pytest.raises(UserError, match='locked things'):
            locked.unlink()
        assert locked.exists()
        locked.with_context({MODULE_UNINSTALL_FLAG: True}).unlink()
        assert not locked.exists()

    def test_unlink_removes_xml_ids(self, env):
        view = env.ref('base.view_partner_tree')
        view.unlink()
        assert env.ref('base.view_partner_tree', raise_if_not_found=False) is None
        assert not env['ir.model.data'].search([('name', '=', 'view_partner_tree')])


class TestConstraintsAndDefaults:
    def test_sql_unique_constraint_rolls_the_record_back(self, Thing):
        Thing.create({'name': 'first', 'code': 'C1'})
        with pytest.raises(ValidationError, match='code must be unique'):
            Thing.create({'name': 'second', 'code': 'C1', 'tag_ids': [(0, 0, {'name': 'orphan'})]})
        assert not Thing.search([('name', '=', 'second')])
        assert not Thing.env['standin.tag'].search([('name', '=', 'orphan')])
        Thing.create({'name': 'third', 'code': 'C2'})       # the transaction goes on

    def test_sql_check_constraint_on_write(self, Thing):
        thing = Thing.create({'name': 'a'})
        with pytest.raises(ValidationError, match='count must not be negative'):
            thing.count = -1
        assert thing.count == 3

    def test_python_constraint_rolls_back(self, Thing):
        with pytest.raises(ValidationError, match='forbidden note'):
            Thing.create({'name': 'bad', 'note': 'forbidden'})
        assert not Thing.search([('name', '=', 'bad')])

    def test_required_field(self, env):
        with pytest.raises(ValidationError, match='mandatory field'):
            env['res.partner'].create({'email': 'x@y'})

    def test_defaults(self, Thing):
        thing = Thing.create({'name': 'a'})
        assert (thing.count, thing.extra) == (3, 'two')
        other = Thing.with_context(default_count=9).create({'name': 'b'})
        assert other.count == 9

    def test_unknown_field(self, Thing):
        with pytest.raises(ValueError, match="Invalid field 'nope'"):
            Thing.create({'name': 'a', 'nope': 1})
        with pytest.raises(ValueError, match="Invalid field 'nope'"):
            Thing.create({'name': 'b'}).write({'nope': 1})
