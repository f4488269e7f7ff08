"""Window actions (ir.actions.act_window): what a menu opens in the web
client, with the fields that addons' data files give."""
from odoo import api, fields, models
from odoo.exceptions import ValidationError

VIEW_MODES = ('tree', 'form', 'graph', 'pivot', 'calendar', 'gantt', 'kanban', 'activity')


class IrActionsActWindow(models.Model):
    _name = 'ir.actions.act_window'
    _description = 'Action Window'
    _order = 'name, id'

    name = fields.Char(string='Action Name', required=True)
    type = fields.Char(string='Action Type', default='ir.actions.act_window', required=True)
    res_model = fields.Char(string='Destination Model', required=True)
    view_mode = fields.Char(required=True, default='tree,form')
    view_id = fields.Many2one('ir.ui.view', string='View Ref.', ondelete='set null')
    search_view_id = fields.Many2one('ir.ui.view', string='Search View Ref.', ondelete='set null')
    domain = fields.Char(string='Domain Value')
    context = fields.Char(string='Context Value', default='{}', required=True)
    target = fields.Selection([('current', 'Current Window'), ('new', 'New Window'),
                               ('inline', 'Inline Edit'), ('fullscreen', 'Full Screen'),
                               ('main', 'Main action of Current Window')],
                              default='current', string='Target Window')
    limit = fields.Integer(default=80)
    help = fields.Html(string='Action Description')

    @api.constrains('res_model', 'view_mode')
    def _check_model_and_modes(self):
        for action in self:
            if action.res_model not in self.env:
                raise ValidationError('Invalid model name %r in action definition.' % action.res_model)
            modes = [mode.strip() for mode in action.view_mode.split(',')]
            unknown = [mode for mode in modes if mode not in VIEW_MODES]
            if unknown:
                raise ValidationError("Invalid view mode %r in action %s." % (unknown[0], action.name))
