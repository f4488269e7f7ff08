"""Contacts, the sample model of the stand-in."""
from odoo import fields, models


class PartnerIndustry(models.Model):
    _name = 'res.partner.industry'
    _description = 'Industry'
    _order = 'name'

    name = fields.Char('Name')
    full_name = fields.Char('Full Name')
    active = fields.Boolean('Active', default=True)


class Partner(models.Model):
    _name = 'res.partner'
    _description = 'Contact'
    _order = 'name, id'
    _rec_names_search = ['name', 'email', 'ref']

    name = fields.Char(index=True, required=True)
    ref = fields.Char(string='Reference', index=True)
    email = fields.Char()
    phone = fields.Char()
    comment = fields.Text(string='Notes')
    active = fields.Boolean(default=True)
    is_company = fields.Boolean(string='Is a Company', default=False)
    employee_count = fields.Integer(string='Employees')
    parent_id = fields.Many2one('res.partner', string='Related Company', index=True, ondelete='set null')
    child_ids = fields.One2many('res.partner', 'parent_id', string='Contact')
    industry_id = fields.Many2one('res.partner.industry', 'Industry', ondelete='set null')
