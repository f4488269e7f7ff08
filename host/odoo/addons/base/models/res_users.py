"""Users and groups."""
from odoo import api, fields, models


class Groups(models.Model):
    _name = 'res.groups'
    _description = "Access Groups"
    _order = 'name'

    name = fields.Char(required=True)
    users = fields.Many2many('res.users', 'res_groups_users_rel', 'gid', 'uid')
    model_access = fields.One2many('ir.model.access', 'group_id', string='Access Controls')
    comment = fields.Text()


class Users(models.Model):
    _name = 'res.users'
    _description = 'User'
    _order = 'name, login'

    name = fields.Char(required=True)
    login = fields.Char(required=True, help="Used to log into the system")
    active = fields.Boolean(default=True)
    groups_id = fields.Many2many('res.groups', 'res_groups_users_rel', 'uid', 'gid', string='Groups')

    _sql_constraints = [
        ('login_key', 'UNIQUE (login)', 'You can not have two users with the same login!'),
    ]

    def has_group(self, group_ext_id):
        """Whether the user (the environment's user on an empty set) is in the group."""
        uid = self.id or self.env.uid
        module, ext_id = group_ext_id.split('.')
        self._cr.execute("""
            SELECT 1 FROM res_groups_users_rel
             WHERE uid = %s AND gid IN (SELECT res_id FROM ir_model_data
                                        WHERE module = %s AND name = %s AND model = 'res.groups')
        """, (uid, module, ext_id))
        return bool(self._cr.fetchone())

    def _is_system(self):
        self.ensure_one()
        return self.id == 1 or self.has_group('base.group_system')

    def _is_admin(self):
        self.ensure_one()
        return self._is_system()

    @api.model
    def _is_public(self):
        return False

    @property
    def SELF_WRITEABLE_FIELDS(self):
        """The fields a user may write on their own user record."""
        return ['signature', 'action_id', 'company_id', 'email', 'name', 'image_1920', 'lang', 'tz']

    def write(self, values):
        # A user writing only those fields of their own record writes them as
        # superuser, past the access rules (internal users may only read users).
        if self == self.env.user and all(
                key in self.SELF_WRITEABLE_FIELDS or key.startswith('context_') for key in values):
            self = self.sudo()
        return super().write(values)
