"""Views (ir.ui.view) with Odoo's inheritance, and ``get_view`` on every model."""
import collections
import logging

from lxml import etree
from lxml.builder import E

from odoo import api, fields, models
from odoo.exceptions import UserError, ValidationError
from odoo.tools.template_inheritance import apply_inheritance_specs

_logger = logging.getLogger(__name__)

VIEW_TYPES = [
    ('tree', 'Tree'), ('form', 'Form'), ('graph', 'Graph'), ('pivot', 'Pivot'),
    ('calendar', 'Calendar'), ('gantt', 'Gantt'), ('kanban', 'Kanban'),
    ('search', 'Search'), ('qweb', 'QWeb'), ('activity', 'Activity'),
]


class View(models.Model):
    _name = 'ir.ui.view'
    _description = 'View'
    _order = "priority,name,id"

    name = fields.Char(string='View Name', required=True)
    model = fields.Char(index=True)
    key = fields.Char(index=True)
    priority = fields.Integer(string='Sequence', default=16, required=True)
    type = fields.Selection(VIEW_TYPES, string='View Type')
    arch = fields.Text(compute='_compute_arch', inverse='_inverse_arch', string='View Architecture')
    arch_db = fields.Text(string='Arch Blob')
    inherit_id = fields.Many2one('ir.ui.view', string='Inherited View', ondelete='cascade', index=True)
    inherit_children_ids = fields.One2many('ir.ui.view', 'inherit_id', string='Views which inherit from this one')
    mode = fields.Selection([('primary', "Base view"), ('extension', "Extension View")],
                            string="View inheritance mode", default='primary', required=True)
    active = fields.Boolean(default=True)

    @api.depends('arch_db')
    def _compute_arch(self):
        for view in self:
            view.arch = view.arch_db

    def _inverse_arch(self):
        for view in self:
            view.arch_db = view.arch

    def _compute_defaults(self, values=None):
        """The inheritance mode follows ``inherit_id`` unless it is given."""
        if values is None:
            values = {}
        if 'inherit_id' in values:
            if not values['inherit_id'] or all(not view.inherit_id for view in self):
                values.setdefault('mode', 'extension' if values['inherit_id'] else 'primary')
        return values

    @api.model_create_multi
    def create(self, vals_list):
        for values in vals_list:
            if 'arch_db' in values and not values['arch_db']:
                del values['arch_db']
            if not values.get('type'):
                if values.get('inherit_id'):
                    values['type'] = self.browse(values['inherit_id']).type
                else:
                    arch = values.get('arch') or values.get('arch_db')
                    if not arch:
                        raise ValidationError('Missing view architecture.')
                    try:
                        values['type'] = etree.fromstring(arch.encode() if isinstance(arch, str) else arch).tag
                    except etree.LxmlError:
                        pass        # the constraint reports it
            if not values.get('name'):
                values['name'] = "%s %s" % (values.get('model'), values.get('type'))
            values.update(self._compute_defaults(values))
        return super().create(vals_list)

    def write(self, vals):
        vals = dict(vals)
        self._compute_defaults(vals)
        return super().write(vals)

    @api.constrains('arch_db', 'inherit_id', 'mode', 'active', 'model', 'type')
    def _check_xml(self):
        """The view combines with its parent and inheriting views, and names
        existing fields of its model."""
        for view in self.sudo().with_context(active_test=False):
            if not view.active:
                continue
            if not view.arch_db:
                raise ValidationError('Missing view architecture for view %s.' % view.name)
            try:
                etree.fromstring(_as_bytes(view.arch_db))
                combined = view._get_combined_arch()
            except (etree.LxmlError, ValueError) as e:
                raise ValidationError("Error while validating view %s:\n\n%s" % (view.name, e)) from e
            model = self.env.get(view.model) if view.model else None
            if model is None:
                continue
            for node in combined.iter('field'):
                name = node.get('name')
                if name and not _in_subview(node, combined) and name not in model._fields:
                    raise ValidationError('Field "%s" does not exist in model "%s"' % (name, view.model))

    @api.model
    def default_view(self, model, view_type):
        """The id of the model's primary view of that type with the lowest priority."""
        domain = [('model', '=', model), ('type', '=', view_type), ('mode', '=', 'primary')]
        return self.search(domain, limit=1).id

    def _get_inheriting_views(self):
        """The active views inheriting (recursively) from ``self``, as
        extensions of the same model, with ``self``; by priority then id."""
        found = list(self.ids)
        queue = collections.deque(self)
        while queue:
            parent = queue.popleft()
            children = self.search([('inherit_id', '=', parent.id), ('active', '=', True)])
            for child in children:
                if child.id in found or (child.mode != 'extension' and child.id not in self.ids):
                    continue
                if (child.model or '') != (parent.model or ''):
                    continue
                found.append(child.id)
                queue.append(child)
        return self.browse(found).sorted(lambda v: (v.priority, v.id))

    def _get_combined_arch(self):
        """The arch of the primary view of ``self``, with every inheriting
        view applied (as an element)."""
        self.ensure_one()
        root = self
        view_ids = []
        while True:
            view_ids.append(root.id)
            if not root.inherit_id:
                break
            root = root.inherit_id
        views = self.browse(view_ids)
        tree_views = views._get_inheriting_views()
        hierarchy = collections.defaultdict(list)
        for view in tree_views:
            hierarchy[view.inherit_id].append(view)
        while root.mode != 'primary' and root.inherit_id:
            root = root.inherit_id
        return root._combine(hierarchy)

    def _combine(self, hierarchy):
        """Apply the inheriting views of ``hierarchy`` on self's arch, depth
        first, extensions before primary children."""
        self.ensure_one()
        combined_arch = etree.fromstring(_as_bytes(self.arch))
        queue = collections.deque(sorted(hierarchy[self], key=lambda v: v.mode))
        while queue:
            view = queue.popleft()
            arch = etree.fromstring(_as_bytes(view.arch))
            try:
                combined_arch = apply_inheritance_specs(combined_arch, arch)
            except ValueError as e:
                raise ValidationError("%s\n\nView error context:\n%s" % (e, {'view': view.name, 'view.model': view.model,
                                                                           'view.parent': view.inherit_id.name})) from e
            for child_view in reversed(hierarchy[view]):
                if child_view.mode == 'primary':
                    queue.append(child_view)
                else:
                    queue.appendleft(child_view)
        return combined_arch


def _as_bytes(arch):
    return arch.encode('utf-8') if isinstance(arch, str) else arch


def _in_subview(node, root):
    """Whether ``node`` belongs to an embedded view or a template of ``root``."""
    parent = node.getparent()
    while parent is not None and parent is not root:
        if parent.tag in ('tree', 'form', 'kanban', 'templates', 't'):
            return True
        parent = parent.getparent()
    return False


class Model(models.AbstractModel):
    _inherit = 'base'

    @api.model
    def get_view(self, view_id=None, view_type='form', **options):
        """The description of a view of the model: a new mapping with ``arch``
        (the combined arch, as text), ``id``, ``model``, ``type`` and ``models``."""
        self.check_access_rights('read')
        arch, view = self._get_view(view_id, view_type, **options)
        names = [node.get('name') for node in arch.iter('field') if node.get('name') in self._fields]
        return {
            'arch': etree.tostring(arch, encoding='unicode').replace('\t', ''),
            'id': view.id,
            'model': self._name,
            'type': view_type,
            'models': {self._name: tuple(dict.fromkeys(names))},
        }

    @api.model
    def _get_view(self, view_id=None, view_type='form', **options):
        """(combined arch as an element, view record); views are read as superuser."""
        View = self.env['ir.ui.view'].sudo()
        if not view_id:
            view_ref = self._context.get(view_type + '_view_ref')
            if view_ref:
                view_id = self.env['ir.model.data'].sudo()._xmlid_to_res_id(view_ref)
            if not view_id:
                view_id = View.default_view(self._name, view_type)
        if view_id:
            view = View.browse(view_id)
            arch = view._get_combined_arch()
        else:
            view = View.browse()
            try:
                arch = getattr(self, '_get_default_%s_view' % view_type)()
            except AttributeError:
                raise UserError("No default view of type '%s' could be found!" % view_type) from None
        return arch, view

    @api.model
    def get_views(self, views, options=None):
        """Descriptions of several (view_id, view_type) pairs."""
        options = options or {}
        result = {'views': {}, 'models': {}}
        for view_id, view_type in views:
            desc = self.get_view(view_id, view_type, **options)
            result['views'][view_type] = desc
            for model, fnames in desc['models'].items():
                result['models'].setdefault(model, {}).update(
                    {fname: self.env[model]._fields[fname].get_description(self.env) for fname in fnames})
        return result

    @api.model
    def _get_default_form_view(self):
        group = E.group(col="4")
        for fname, field in self._fields.items():
            if field.automatic or fname in models.MAGIC_COLUMNS:
                continue
            if field.type in ('one2many', 'many2many', 'text', 'html'):
                group.append(E.newline())
                group.append(E.field(name=fname, colspan="4"))
                group.append(E.newline())
            else:
                group.append(E.field(name=fname))
        group.append(E.separator())
        return E.form(E.sheet(group, string=self._description))

    @api.model
    def _get_default_search_view(self):
        return E.search(E.field(name=self._rec_name_fallback()), string=self._description)

    @api.model
    def _get_default_tree_view(self):
        return E.tree(E.field(name=self._rec_name_fallback()), string=self._description)

    @api.model
    def _get_default_kanban_view(self):
        field = E.field(name=self._rec_name_fallback())
        return E.kanban(E.templates(E.t(E.div(field, {'class': 'oe_kanban_global_click'}),
                                        {'t-name': 'kanban-box'})))

    @api.model
    def _get_default_pivot_view(self):
        return E.pivot(string=self._description)

    @api.model
    def _get_default_graph_view(self):
        return E.graph(string=self._description)
