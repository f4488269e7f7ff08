from odoo import fields, models


class Partner(models.Model):
    _inherit = 'res.partner'

    thing_ids = fields.One2many('standin.thing', 'partner_id', string='Things')
    nickname = fields.Char()
