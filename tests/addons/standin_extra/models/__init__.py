from odoo import fields, models


class Extra(models.Model):
    _name = 'standin.extra'
    _description = 'Extra'

    name = fields.Char()


class Thing(models.Model):
    _inherit = 'standin.thing'

    extra_level = fields.Integer()

    def describe(self):
        return ['extra'] + super().describe()
