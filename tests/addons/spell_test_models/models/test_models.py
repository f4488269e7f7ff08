"""Models that the tests enable, loaded after lumq_spell (names sort later)."""
from odoo import api, fields, models
from odoo.exceptions import UserError


class SpellTestRecord(models.Model):
    _name = "spell.test.record"
    _description = "Spell test record"

    name = fields.Char("Name")
    code = fields.Char("Code")
    amount = fields.Integer("Amount")
    partner_id = fields.Many2one("res.partner", string="Partner", ondelete="set null")
    notes = fields.Html("Notes")
    stage = fields.Selection([("draft", "草稿"), ("done", "Done")], string="Stage")


class SpellTestTitled(models.Model):
    """A model without a name field and without search views."""

    _name = "spell.test.titled"
    _description = "Spell test titled"

    title = fields.Char("Title")


class SpellTestWizard(models.TransientModel):
    _name = "spell.test.wizard"
    _description = "Spell test wizard"

    name = fields.Char("Name")


class SpellTestAbstract(models.AbstractModel):
    _name = "spell.test.abstract"
    _description = "Spell test abstract"

    name = fields.Char("Name")


class SpellTestItem(models.Model):
    """A model without search views of its own: tests give it the views they need."""

    _name = "spell.test.item"
    _description = "Spell test item"

    name = fields.Char("Name")
    code = fields.Char("Code")
    ref = fields.Char("Reference")


class SpellTestGuarded(models.Model):
    """A model whose locked records refuse every change through write()."""

    _name = "spell.test.guarded"
    _description = "Spell test guarded"

    LOCKED = "锁定"
    LOCKED_MESSAGE = "A locked record cannot be changed."

    name = fields.Char("Name")

    def write(self, vals):
        if any(record.name == self.LOCKED for record in self):
            raise UserError(self.LOCKED_MESSAGE)
        return super().write(vals)


class SpellTestTag(models.Model):
    """A model that overrides _name_search, as res.partner.category does:
    its name search matches the last part of a path ("a / b") and never
    looks at _rec_names_search."""

    _name = "spell.test.tag"
    _description = "Spell test tag"
    _order = "name desc"

    name = fields.Char("Name")

    @api.model
    def _name_search(self, name, domain=None, operator="ilike", limit=None, order=None):
        if name and operator == "ilike":
            domain = [("name", operator, name.split(" / ")[-1])] + list(domain or [])
        return self._search(domain or [], limit=limit, order=order)
