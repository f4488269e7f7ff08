"""A model whose texts come in the kinds a source field may be of."""
from odoo import api, fields, models


class SpellTestFolder(models.Model):
    """Folders named by the stored path of their parents' names, with a text
    only administrators may read, a translatable label and tags."""

    _name = "spell.test.folder"
    _description = "Spell test folder"
    _rec_name = "complete_name"

    name = fields.Char("Name")
    parent_id = fields.Many2one("spell.test.folder", string="Parent", ondelete="cascade")
    complete_name = fields.Char("Path", compute="_compute_complete_name", store=True,
                                recursive=True)
    secret = fields.Char("Secret", groups="base.group_system")
    label = fields.Char("Label", translate=True)
    tag_ids = fields.Many2many("spell.test.tag", string="Tags")

    @api.depends("name", "parent_id.complete_name")
    def _compute_complete_name(self):
        for folder in self:
            parent = folder.parent_id.complete_name
            folder.complete_name = f"{parent}/{folder.name}" if parent else folder.name
