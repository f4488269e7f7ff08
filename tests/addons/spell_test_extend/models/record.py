from odoo import fields, models


class SpellTestRecord(models.Model):
    _inherit = "spell.test.record"

    nickname = fields.Char("Nickname")
