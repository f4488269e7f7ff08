"""Menus (ir.ui.menu): the tree of the web client's menus, each opening an
action, visible to the users of its groups (to everyone without groups)."""
from odoo import api, fields, models
from odoo.exceptions import ValidationError

MENU_ITEM_SEPARATOR = "/"


class IrUiMenu(models.Model):
    _name = 'ir.ui.menu'
    _description = 'Menu'
    _order = 'sequence,id'

    name = fields.Char(string='Menu', required=True)
    active = fields.Boolean(default=True)
    sequence = fields.Integer(default=10)
    parent_id = fields.Many2one('ir.ui.menu', string='Parent Menu', index=True, ondelete='restrict')
    child_id = fields.One2many('ir.ui.menu', 'parent_id', string='Child IDs')
    groups_id = fields.Many2many('res.groups', 'ir_ui_menu_group_rel', 'menu_id', 'gid', string='Groups')
    complete_name = fields.Char(string='Full Path', compute='_compute_complete_name')
    action = fields.Reference(selection=[('ir.actions.act_window', 'ir.actions.act_window')])

    @api.depends('name', 'parent_id.complete_name')
    def _compute_complete_name(self):
        for menu in self:
            names, current, seen = [], menu, set()
            while current and current.id not in seen:
                seen.add(current.id)
                names.append(current.name)
                current = current.parent_id
            menu.complete_name = MENU_ITEM_SEPARATOR.join(reversed(names))

    @api.constrains('parent_id')
    def _check_parent_id(self):
        for menu in self:
            seen, current = set(), menu
            while current:
                if current.id in seen:
                    raise ValidationError('Error! You cannot create recursive menus.')
                seen.add(current.id)
                current = current.parent_id

    @api.model
    def _visible_menu_ids(self, debug=False):
        """The ids of the menus the environment's user sees, as Odoo 17
        computes them: menus without groups or with one of the user's groups
        (``base.group_no_one`` only in debug mode); of those, the menus whose
        action's model the user may read, with their folder ancestors that
        passed the groups.  The web client shows a menu when its whole path
        is visible."""
        menus = self.sudo().search([('active', '=', True)])
        groups = self.env.user.groups_id
        if not debug:
            groups = groups - self.env.ref('base.group_no_one')
        menus = menus.filtered(lambda menu: not menu.groups_id or menu.groups_id & groups)
        action_menus = menus.filtered(lambda menu: menu.action)
        folder_menus = menus - action_menus
        visible = set()
        for menu in action_menus:
            action = menu.action
            model_name = action.res_model if action._name == 'ir.actions.act_window' else None
            if not model_name or self.env['ir.model.access'].check(model_name, 'read', False):
                visible.add(menu.id)
                menu = menu.parent_id
                while menu and menu in folder_menus and menu.id not in visible:
                    visible.add(menu.id)
                    menu = menu.parent_id
        return visible
