from odoo import api, fields, models
from odoo.exceptions import UserError, ValidationError


class Tag(models.Model):
    _name = 'standin.tag'
    _description = 'Tag'
    _order = 'name'

    name = fields.Char(required=True)


class Thing(models.Model):
    """A thing of the demo."""
    _name = 'standin.thing'
    _description = 'Thing'
    _order = 'name, id'

    name = fields.Char('Name', required=True)
    code = fields.Char()
    note = fields.Text()
    locked = fields.Boolean()
    count = fields.Integer(default=3)
    partner_id = fields.Many2one('res.partner', ondelete='cascade')
    owner_id = fields.Many2one('res.users', ondelete='set null')
    tag_ids = fields.Many2many('standin.tag', 'standin_thing_tag_rel', 'thing_id', 'tag_id', string='Tags')
    partner_name = fields.Char(related='partner_id.name', store=True)
    field_id = fields.Many2one('ir.model.fields', ondelete='set null')
    field_name = fields.Char(related='field_id.name', store=True)
    partner_email = fields.Char(related='partner_id.email')
    name_upper = fields.Char(compute='_compute_name_upper', store=True)
    stamp = fields.Char(compute='_compute_stamp', store=True)
    size = fields.Integer(compute='_compute_size')
    letters = fields.Char(compute='_compute_letters', store=True)
    first_letter = fields.Char(compute='_compute_letters', store=True)

    _sql_constraints = [
        ('code_unique', 'unique(code)', 'code must be unique'),
        ('count_positive', 'check(count >= 0)', 'count must not be negative'),
    ]

    # every write() call is recorded here: (name of the records, values)
    writes = []

    @api.depends('name')
    def _compute_name_upper(self):
        for thing in self:
            thing.name_upper = (thing.name or '').upper()

    @api.depends()
    def _compute_stamp(self):
        for thing in self:
            thing.stamp = 'stamped:%s' % thing.name

    @api.depends('name')
    def _compute_letters(self):
        # the second value is read back from the first one, as assigned
        for thing in self:
            thing.letters = (thing.name or '').lower()
            thing.first_letter = thing.letters[:1].upper()

    def _compute_size(self):
        for thing in self:
            thing.size = len(thing.name or '')

    @api.constrains('note')
    def _check_note(self):
        for thing in self:
            if thing.note == 'forbidden':
                raise ValidationError('forbidden note')

    @api.ondelete(at_uninstall=False)
    def _unlink_except_locked(self):
        if any(thing.locked for thing in self):
            raise UserError('locked things cannot be deleted')

    def write(self, vals):
        type(self).writes.append((self.mapped('name'), dict(vals)))
        return super().write(vals)

    def describe(self):
        return ['thing']


class ThingFirstExtension(models.Model):
    _inherit = 'standin.thing'

    extra = fields.Char(default='one')

    def describe(self):
        return ['first'] + super().describe()


class ThingSecondExtension(models.Model):
    _inherit = 'standin.thing'
    _description = 'Thing (extended)'

    extra = fields.Char(default='two')

    def describe(self):
        return ['second'] + super(ThingSecondExtension, self).describe()
