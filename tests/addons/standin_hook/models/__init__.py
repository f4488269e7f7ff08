from odoo import fields, models

# (module names, action name, registry ready) of each immediate action
CALLS = []


class IrModuleModule(models.Model):
    _inherit = 'ir.module.module'

    def _button_immediate_function(self, function):
        CALLS.append((self.mapped('name'), function.__name__, self.env.registry.ready))
        return super()._button_immediate_function(function)


class Note(models.Model):
    _name = 'standin.note'
    _description = 'Note'

    name = fields.Char()
