"""Scheduled actions (ir.cron): the jobs a server runs periodically.  The
stand-in keeps them as records and never runs them; a job's code is called
by the tests that need it, and _trigger only notes that it was asked for."""
from odoo import fields, models


class IrCron(models.Model):
    _name = 'ir.cron'
    _description = 'Scheduled Actions'
    _order = 'priority,name'

    name = fields.Char(required=True)
    model_id = fields.Many2one('ir.model', string='Model', required=True, ondelete='cascade')
    state = fields.Char(default='code')
    code = fields.Text()
    user_id = fields.Many2one('res.users', string='Scheduler User')
    active = fields.Boolean(default=True)
    interval_number = fields.Integer(default=1)
    interval_type = fields.Char(default='months')
    numbercall = fields.Integer(default=1)
    doall = fields.Boolean()
    nextcall = fields.Datetime()
    priority = fields.Integer(default=5)

    def _trigger(self, at=None):
        """Ask for a run of the jobs (at ``at``, else now)."""
        self.write({'nextcall': at or fields.Datetime.now()})
