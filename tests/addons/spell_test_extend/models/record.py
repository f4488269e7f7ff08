from odoo import fields, models


class SpellTestRecord(models.Model):
    _inherit = "spell.test.record"

    nickname = fields.Char("Nickname")
    item_id = fields.Many2one("spell.test.item", string="Item", ondelete="set null")


class SpellTestCopy(models.Model):
    """A model that inherits spell.test.record under a name of its own."""

    _name = "spell.test.copy"
    _inherit = "spell.test.record"
    _description = "Spell test copy"


class SpellTestReport(models.Model):
    """A model read from an SQL view: it has no table of its own."""

    _name = "spell.test.report"
    _description = "Spell test report"
    _auto = False

    name = fields.Char("Name")

    def init(self):
        self.env.cr.execute("DROP VIEW IF EXISTS spell_test_report")
        self.env.cr.execute("CREATE VIEW spell_test_report AS SELECT id, name FROM spell_test_record")
