"""The model 'base' and the reflection of models: ir.model, ir.model.fields,
ir.model.access and ir.model.data."""
import itertools
import logging
from operator import itemgetter

from odoo import api, fields, models, tools
from odoo.exceptions import AccessError, UserError
from odoo.tools import sql, unique

_logger = logging.getLogger(__name__)

# context flag of module uninstallation: lets module data be deleted, and
# skips the ``api.ondelete(at_uninstall=False)`` methods
MODULE_UNINSTALL_FLAG = '_force_unlink'


def quote(name):
    return sql.quote(name)


def model_xmlid(module, model_name):
    """The XML id of a model's ir.model record in ``module``."""
    return '%s.model_%s' % (module, model_name.replace('.', '_'))


def field_xmlid(module, model_name, field_name):
    """The XML id of a field's ir.model.fields record in ``module``."""
    return '%s.field_%s__%s' % (module, model_name.replace('.', '_'), field_name)


def select_en(model, fnames, where, params):
    """Select the given columns of the model's table with a WHERE clause;
    returns the rows (translated columns would be taken in English)."""
    cols = ", ".join(quote(fname) for fname in fnames)
    query = f"SELECT {cols} FROM {quote(model._table)} WHERE {where}"
    model.env.cr.execute(query, params)
    return model.env.cr.fetchall()


def upsert_en(model, fnames, rows, conflict):
    """Insert or update rows (tuples of values for ``fnames``) of the model's
    table, keyed on the ``conflict`` columns; returns their ids in row order."""
    cols = ", ".join(quote(fname) for fname in fnames)
    query = (
        f"INSERT INTO {quote(model._table)} ({cols}) VALUES {', '.join(['%s'] * len(rows))} "
        f"ON CONFLICT ({', '.join(quote(c) for c in conflict)}) "
        f"DO UPDATE SET ({cols}) = ({', '.join('EXCLUDED.' + quote(f) for f in fnames)}) "
        f"RETURNING id"
    )
    model.env.cr.execute(query, [tuple(row) for row in rows])
    return [id_ for id_, in model.env.cr.fetchall()]


def mark_modified(records, fnames):
    """Mark the given fields as modified on records."""
    fields_ = [records._fields[fname] for fname in fnames]
    with records.env.protecting(fields_, records):
        records.modified(fnames)


class Base(models.AbstractModel):
    """The base model, which is implicitly inherited by all models."""
    _name = 'base'
    _description = 'Base'


FIELD_TYPES = [(key, key) for key in sorted(
    ['boolean', 'char', 'date', 'datetime', 'float', 'html', 'integer', 'many2many', 'many2one',
     'many2one_reference', 'one2many', 'reference', 'selection', 'text'])]


class IrModel(models.Model):
    _name = 'ir.model'
    _description = "Models"
    _order = 'model'
    _rec_names_search = ['name', 'model']

    name = fields.Char(string='Model Description', required=True)
    model = fields.Char(default='x_', required=True)
    order = fields.Char(string='Order', required=True, default='id')
    info = fields.Text(string='Information')
    field_id = fields.One2many('ir.model.fields', 'model_id', string='Fields')
    access_ids = fields.One2many('ir.model.access', 'model_id', string='Access')
    state = fields.Selection([('manual', 'Custom Object'), ('base', 'Base Object')], string='Type',
                             default='manual', readonly=True)
    transient = fields.Boolean(string="Transient Model")
    modules = fields.Char(compute='_in_modules', string='In Apps')

    _sql_constraints = [
        ('obj_name_uniq', 'unique (model)', 'Each model must have a unique name.'),
    ]

    def _in_modules(self):
        for model in self:
            self._cr.execute("SELECT DISTINCT module FROM ir_model_data WHERE model = 'ir.model' "
                             "AND res_id = %s ORDER BY module", (model.id,))
            model.modules = ', '.join(row[0] for row in self._cr.fetchall())

    @api.model
    def _get(self, name):
        return self.browse(self._get_id(name))

    @api.model
    def _get_id(self, name):
        self.env.cr.execute("SELECT id FROM ir_model WHERE model = %s", (name,))
        result = self.env.cr.fetchone()
        return result and result[0]

    @api.ondelete(at_uninstall=False)
    def _unlink_if_manual(self):
        if not self._context.get(MODULE_UNINSTALL_FLAG):
            for model in self:
                if model.state != 'manual':
                    raise UserError("Model '%s' contains module data and cannot be removed." % model.name)

    def _drop_table(self):
        for model in self:
            current_model = self.env.get(model.model)
            if current_model is None:
                _logger.info('The model %s could not be dropped because it did not exist in the registry.',
                             model.model)
                continue
            if current_model._abstract:
                continue
            kind = sql.table_kind(self._cr, current_model._table)
            if kind == 'v':
                self._cr.execute('DROP VIEW %s' % quote(current_model._table))
            elif kind == 'r':
                sql.drop_table(self._cr, current_model._table)
        return True

    def unlink(self):
        """Deleting a model's row drops its table."""
        if not self:
            return True
        # fields whose comodel is being removed go first
        self.env['ir.model.fields'].search([('relation', 'in', self.mapped('model'))]).unlink()
        self._drop_table()
        res = super().unlink()
        if not self._context.get(MODULE_UNINSTALL_FLAG):
            self.env.flush_all()
            self.pool.setup_models(self._cr)
        return res

    @api.model_create_multi
    def create(self, vals_list):
        res = super().create(vals_list)
        manual = [vals['model'] for vals in vals_list if vals.get('state', 'manual') == 'manual']
        if manual:
            # the registry gets the new custom models, the database their tables
            self.env.flush_all()
            self.pool.setup_models(self._cr)
            self.pool.init_models(self._cr, [m for m in manual if m in self.pool],
                                  dict(self._context, update_custom_fields=True))
        return res

    @api.model
    def _reflect_model_params(self, model):
        """The values of the ir.model row of ``model``."""
        return {
            'model': model._name,
            'name': model._description,
            'order': model._order,
            'info': next(cls.__doc__ for cls in self.env.registry[model._name].mro() if cls.__doc__),
            'state': 'manual' if model._custom else 'base',
            'transient': model._transient,
        }

    def _reflect_models(self, model_names):
        """Reflect the given models."""
        rows = [self._reflect_model_params(self.env[model_name]) for model_name in model_names]
        cols = list(unique(['model'] + list(rows[0])))
        expected = [tuple(row[col] for col in cols) for row in rows]

        model_ids = {}
        existing = {}
        for row in select_en(self, ['id'] + cols, "model IN %s", [tuple(model_names)]):
            model_ids[row[1]] = row[0]
            existing[row[1]] = row[1:]

        # create or update rows
        rows = [row for row in expected if existing.get(row[0]) != row]
        if rows:
            ids = upsert_en(self, cols, rows, ['model'])
            for row, id_ in zip(rows, ids):
                model_ids[row[0]] = id_
            self.pool.post_init(mark_modified, self.browse(ids), cols[1:])

        # update their XML id
        module = self._context.get('module')
        if not module:
            return

        data_list = []
        for model_name, model_id in model_ids.items():
            model = self.env[model_name]
            if model._module == module:
                # model._module is the name of the module that last extended model
                xml_id = model_xmlid(module, model_name)
                record = self.browse(model_id)
                data_list.append({'xml_id': xml_id, 'record': record})
        self.env['ir.model.data']._update_xmlids(data_list)

    @api.model
    def _instanciate(self, model_data):
        """The class of the custom model described by ``model_data``."""
        class CustomModel(models.Model):
            _name = model_data['model']
            _description = model_data['name']
            _module = False
            _custom = True
            _transient = bool(model_data['transient'])
            _order = model_data['order']
            __doc__ = model_data['info']

        return CustomModel

    def _add_manual_models(self):
        """Add extra models to the registry."""
        # clean up registry first
        for name, Model in list(self.pool.items()):
            if Model._custom:
                del self.pool.models[name]
                for Parent in Model.__bases__:
                    # registry classes only (in Odoo, the only classes with a pool)
                    if getattr(Parent, 'pool', None) is not None:
                        Parent._inherit_children.discard(name)
        # add manual models
        cr = self.env.cr
        cr.execute("SELECT * FROM ir_model WHERE state = 'manual'")
        for model_data in cr.dictfetchall():
            model_class = self._instanciate(model_data)
            model_class._build_model(self.pool, cr)


class IrModelFields(models.Model):
    _name = 'ir.model.fields'
    _description = "Fields"
    _order = "name"
    _rec_name = 'field_description'

    name = fields.Char(string='Field Name', default='x_', required=True, index=True)
    complete_name = fields.Char(index=True)
    model = fields.Char(string='Model Name', required=True, index=True)
    relation = fields.Char(string='Related Model')
    relation_field = fields.Char()
    model_id = fields.Many2one('ir.model', string='Model', required=True, index=True, ondelete='cascade')
    field_description = fields.Char(string='Field Label', default='', required=True)
    help = fields.Text(string='Field Help')
    ttype = fields.Selection(selection=FIELD_TYPES, string='Field Type', required=True)
    state = fields.Selection([('manual', 'Custom Field'), ('base', 'Base Field')], string='Type',
                             default='manual', required=True, readonly=True, index=True)
    on_delete = fields.Char(string='On Delete')
    required = fields.Boolean()
    readonly = fields.Boolean()
    index = fields.Boolean(string='Indexed')
    translate = fields.Boolean()
    store = fields.Boolean(default=True)
    copied = fields.Boolean()
    related = fields.Char()
    selectable = fields.Boolean(default=True)
    relation_table = fields.Char()
    column1 = fields.Char()
    column2 = fields.Char()

    _sql_constraints = [
        ('name_unique', 'UNIQUE(model, name)', "Field names must be unique per model."),
    ]

    @api.model_create_multi
    def create(self, vals_list):
        """A field's row names its model as its model_id does.  (Odoo then
        sets up the registry with the new manual fields; the stand-in has no
        manual fields: the rows are data only.)"""
        for vals in vals_list:
            if 'model_id' in vals:
                vals['model'] = self.env['ir.model'].browse(vals['model_id']).model
        return super().create(vals_list)

    @api.ondelete(at_uninstall=False)
    def _unlink_if_manual(self):
        if any(field.state != 'manual' for field in self):
            raise UserError("This column contains module data and cannot be removed!")

    def _drop_column(self):
        """Drop the columns (and unused relation tables) of these fields."""
        tables_to_drop = set()
        for field in self:
            if field.name in models.MAGIC_COLUMNS:
                continue
            model = self.env.get(field.model)
            if field.store and model is not None and model._auto:
                if sql.column_exists(self._cr, model._table, field.name) \
                        and sql.table_kind(self._cr, model._table) == 'r':
                    sql.drop_column(self._cr, model._table, field.name)
            if field.ttype == 'many2many' and field.relation_table:
                tables_to_drop.add(field.relation_table)
        if tables_to_drop:
            self._cr.execute("SELECT relation_table FROM ir_model_fields WHERE relation_table IN %s "
                             "AND id NOT IN %s", (tuple(tables_to_drop), tuple(self.ids)))
            tables_to_keep = {row[0] for row in self._cr.fetchall()}
            for table in tables_to_drop - tables_to_keep:
                sql.drop_table(self._cr, table)
        return True

    def unlink(self):
        """Deleting a field's row drops its column."""
        if not self:
            return True
        fields_ = []
        for record in self:
            model = self.pool.get(record.model)
            field = model._fields.get(record.name) if model is not None else None
            if field is not None:
                fields_.append(field)
        model_names = self.mapped('model')
        self.pool.registry_invalidated = True
        self.pool._discard_fields(fields_, self._cr)
        self._drop_column()
        res = super().unlink()
        if not self._context.get(MODULE_UNINSTALL_FLAG):
            self.env.flush_all()
            self.pool.setup_models(self._cr)
            models_ = self.pool.descendants([m for m in model_names if m in self.pool], '_inherits')
            self.pool.init_models(self._cr, models_, dict(self._context, update_custom_fields=True))
        return res

    @api.model
    def _reflect_field_params(self, field, model_id):
        """The values of the ir.model.fields row of ``field``."""
        return {
            'model_id': model_id,
            'model': field.model_name,
            'name': field.name,
            'field_description': field.string,
            'help': field.help or None,
            'ttype': field.type,
            'state': 'manual' if field.manual else 'base',
            'relation': field.comodel_name or None,
            'index': bool(field.index),
            'store': bool(field.store),
            'copied': bool(field.copy),
            'on_delete': field.ondelete if field.type == 'many2one' else None,
            'related': field.related or None,
            'readonly': bool(field.readonly),
            'required': bool(field.required),
            'selectable': bool(field.search or field.store),
            'translate': bool(field.translate),
            'relation_field': field.inverse_name if field.type == 'one2many' else None,
            'relation_table': field.relation if field.type == 'many2many' else None,
            'column1': field.column1 if field.type == 'many2many' else None,
            'column2': field.column2 if field.type == 'many2many' else None,
        }

    def _reflect_fields(self, model_names):
        """Reflect the fields of the given models."""
        rows = []
        for model_name in model_names:
            model_id = self.env['ir.model']._get_id(model_name)
            for field in self.env[model_name]._fields.values():
                rows.append(self._reflect_field_params(field, model_id))
        if not rows:
            return
        cols = list(unique(['model', 'name'] + list(rows[0])))
        expected = [tuple(row[col] for col in cols) for row in rows]

        field_ids = {}
        existing = {}
        for row in select_en(self, ['id'] + cols, "model IN %s", [tuple(model_names)]):
            field_ids[row[1:3]] = row[0]
            existing[row[1:3]] = row[1:]

        rows = [row for row in expected if existing.get(row[:2]) != row]
        if rows:
            ids = upsert_en(self, cols, rows, ['model', 'name'])
            for row, id_ in zip(rows, ids):
                field_ids[row[:2]] = id_
            self.pool.post_init(mark_modified, self.browse(ids), cols[2:])

        module = self._context.get('module')
        if not module:
            return

        data_list = []
        for (field_model, field_name), field_id in field_ids.items():
            model = self.env[field_model]
            field = model._fields.get(field_name)
            if field and (
                module == model._original_module
                or module in field._modules
                or any(
                    # module introduced field on model by inheritance
                    field_name in self.env[parent]._fields
                    for parent, parent_module in model._inherit_module.items()
                    if module == parent_module
                )
            ):
                xml_id = field_xmlid(module, field_model, field_name)
                record = self.browse(field_id)
                data_list.append({'xml_id': xml_id, 'record': record})
        self.env['ir.model.data']._update_xmlids(data_list)


class IrModelAccess(models.Model):
    _name = 'ir.model.access'
    _description = 'Model Access'
    _order = 'model_id,group_id,name,id'

    name = fields.Char(required=True, index=True)
    active = fields.Boolean(default=True)
    model_id = fields.Many2one('ir.model', string='Model', required=True, index=True, ondelete='cascade')
    group_id = fields.Many2one('res.groups', string='Group', ondelete='restrict', index=True)
    perm_read = fields.Boolean(string='Read Access')
    perm_write = fields.Boolean(string='Write Access')
    perm_create = fields.Boolean(string='Create Access')
    perm_unlink = fields.Boolean(string='Delete Access')

    @api.model
    def _get_allowed_models(self, mode='read'):
        assert mode in ('read', 'write', 'create', 'unlink'), 'Invalid access mode'
        self.env.cr.execute(f"""
            SELECT m.model
              FROM ir_model_access a
              JOIN ir_model m ON (m.id = a.model_id)
             WHERE a.perm_{mode}
               AND a.active
               AND (a.group_id IS NULL OR
                    a.group_id IN (SELECT gu.gid FROM res_groups_users_rel gu WHERE gu.uid = %s))
             GROUP BY m.model
        """, (self.env.uid,))
        return frozenset(row[0] for row in self.env.cr.fetchall())

    @api.model
    def group_names_with_access(self, model_name, access_mode):
        assert access_mode in ('read', 'write', 'create', 'unlink'), 'Invalid access mode'
        self._cr.execute(f"""
            SELECT g.name
              FROM ir_model_access a
              JOIN ir_model m ON (a.model_id = m.id)
              JOIN res_groups g ON (a.group_id = g.id)
             WHERE m.model = %s AND a.active AND a.perm_{access_mode}
             ORDER BY g.name
        """, [model_name])
        return [row[0] for row in self._cr.fetchall()]

    @api.model
    def check(self, model, mode='read', raise_exception=True):
        """Whether the user's groups grant ``mode`` on ``model`` (a rule
        without group grants it to everyone)."""
        if self.env.su:
            return True
        assert isinstance(model, str), 'Not a model name: %s' % (model,)
        has_access = model in self._get_allowed_models(mode)
        if not has_access and raise_exception:
            groups = '\n'.join('\t- %s' % g for g in self.group_names_with_access(model, mode))
            self._cr.execute("SELECT name FROM ir_model WHERE model = %s", (model,))
            row = self._cr.fetchone()
            document_kind = (row and row[0]) or model
            operation = {
                'read': "You are not allowed to access '%s' (%s) records.",
                'write': "You are not allowed to modify '%s' (%s) records.",
                'create': "You are not allowed to create '%s' (%s) records.",
                'unlink': "You are not allowed to delete '%s' (%s) records.",
            }[mode] % (document_kind, model)
            if groups:
                group_info = "This operation is allowed for the following groups:\n%s" % groups
            else:
                group_info = "No group currently allows this operation."
            raise AccessError("%s\n\n%s\n\nContact your administrator to request access if necessary."
                              % (operation, group_info)) from None
        return has_access


class IrModelData(models.Model):
    """External identifiers (XML ids) of records: ``module.name``."""
    _name = 'ir.model.data'
    _description = 'Model Data'
    _order = 'module, model, name'

    name = fields.Char(string='External Identifier', required=True)
    complete_name = fields.Char(compute='_compute_complete_name', string='Complete ID')
    model = fields.Char(string='Model Name', required=True)
    module = fields.Char(default='', required=True)
    res_id = fields.Many2oneReference(string='Record ID', model_field='model')
    noupdate = fields.Boolean(string='Non Updatable', default=False)

    _sql_constraints = [
        ('name_nospaces', "CHECK(name NOT LIKE '% %')", "External IDs cannot contain spaces"),
        ('module_name_uniq_index', 'unique (module, name)', "External IDs must be unique per module"),
    ]

    @api.depends('module', 'name')
    def _compute_complete_name(self):
        for res in self:
            res.complete_name = ".".join(n for n in [res.module, res.name] if n)

    @api.model
    def _xmlid_lookup(self, xmlid):
        """(model, res_id) of an XML id; ValueError when it is unknown."""
        if '.' not in xmlid:
            raise ValueError('External ID not found in the system: %s' % xmlid)
        module, name = xmlid.split('.', 1)
        self.env.cr.execute("SELECT model, res_id FROM ir_model_data WHERE module = %s AND name = %s",
                            [module, name])
        result = self.env.cr.fetchone()
        if not (result and result[1]):
            raise ValueError('External ID not found in the system: %s' % xmlid)
        return tuple(result)

    @api.model
    def _xmlid_to_res_model_res_id(self, xmlid, raise_if_not_found=False):
        try:
            return self._xmlid_lookup(xmlid)
        except ValueError:
            if raise_if_not_found:
                raise
            return (False, False)

    @api.model
    def _xmlid_to_res_id(self, xmlid, raise_if_not_found=False):
        return self._xmlid_to_res_model_res_id(xmlid, raise_if_not_found)[1]

    @api.model
    def xmlid_to_res_id(self, xmlid, raise_if_not_found=False):
        return self._xmlid_to_res_id(xmlid, raise_if_not_found)

    @api.model
    def _lookup_xmlids(self, xml_ids, model):
        """Rows (id, module, name, model, res_id, noupdate, existing record id)."""
        if not xml_ids:
            return []
        pairs = [xml_id.split('.', 1) for xml_id in xml_ids]
        result = []
        for module, name in pairs:
            self._cr.execute(f"""
                SELECT d.id, d.module, d.name, d.model, d.res_id, d.noupdate, r.id
                  FROM ir_model_data d
                  LEFT JOIN {quote(model._table)} r ON d.res_id = r.id
                 WHERE d.module = %s AND d.name = %s
            """, (module, name))
            result.extend(self._cr.fetchall())
        return result

    @api.model
    def _update_xmlids(self, data_list, update=False):
        """Create or update XML ids: mappings with ``xml_id`` ('module.name'),
        ``record`` and optionally ``noupdate``.  The XML ids count as loaded
        for the end-of-update clean-up."""
        if not data_list:
            return
        rows = tools.OrderedSet()
        for data in data_list:
            prefix, suffix = data['xml_id'].split('.', 1)
            record = data['record']
            noupdate = bool(data.get('noupdate'))
            rows.add((prefix, suffix, record._name, record.id, noupdate))
        for sub_rows in self.env.cr.split_for_in_conditions(rows):
            query = (
                "INSERT INTO ir_model_data (module, name, model, res_id, noupdate) VALUES %s "
                "ON CONFLICT (module, name) DO UPDATE SET (model, res_id) = (EXCLUDED.model, EXCLUDED.res_id) "
                "WHERE (ir_model_data.res_id != EXCLUDED.res_id OR ir_model_data.model != EXCLUDED.model)"
                % ', '.join(['%s'] * len(sub_rows))
            )
            if update:
                query += " AND NOT ir_model_data.noupdate"
            self.env.cr.execute(query, list(sub_rows))
        self.pool.loaded_xmlids.update("%s.%s" % row[:2] for row in rows)

    @api.model
    def _load_xmlid(self, xml_id):
        """Mark an XML id as loaded; return its record."""
        record = self.env.ref(xml_id, raise_if_not_found=False)
        if record:
            self.pool.loaded_xmlids.add(xml_id)
        return record

    def unlink(self):
        self.env.registry.clear_cache()
        return super().unlink()

    @api.model
    def _process_end_unlink_record(self, record):
        record.unlink()

    @api.model
    def _process_end(self, modules):
        """Delete the records of the updated ``modules`` whose XML ids were not
        loaded during the update (and those XML ids)."""
        if not modules or tools.config.get('import_partial'):
            return True

        bad_imd_ids = []
        self = self.with_context({MODULE_UNINSTALL_FLAG: True})
        loaded_xmlids = self.pool.loaded_xmlids

        query = """ SELECT id, module || '.' || name, model, res_id FROM ir_model_data
                    WHERE module IN %s AND res_id IS NOT NULL AND COALESCE(noupdate, false) != %s ORDER BY id DESC
                """
        self._cr.execute(query, (tuple(modules), True))
        for (id_, xmlid, model, res_id) in self._cr.fetchall():
            if xmlid in loaded_xmlids:
                continue
            Model = self.env.get(model)
            if Model is None:
                continue
            # if the record has other associated xids, only remove the xid
            if self.search_count([
                ("model", "=", model),
                ("res_id", "=", res_id),
                ("id", "!=", id_),
                ("id", "not in", bad_imd_ids),
            ]):
                bad_imd_ids.append(id_)
                continue
            _logger.info('Deleting %s@%s (%s)', res_id, model, xmlid)
            record = Model.browse(res_id)
            if record.exists():
                module = xmlid.split('.', 1)[0]
                record = record.with_context(module=module)
                self._process_end_unlink_record(record)
            else:
                bad_imd_ids.append(id_)
        if bad_imd_ids:
            self.browse(bad_imd_ids).unlink()
        loaded_xmlids.clear()

    @api.model
    def _module_data_uninstall(self, modules_to_remove):
        """Delete the records that the modules' XML ids designate: data
        records first, then fields (dropping columns), then models (dropping
        tables); then the XML ids themselves."""
        if not self.env.is_system():
            raise AccessError('Administrator access is required to uninstall a module')

        self = self.with_context(**{MODULE_UNINSTALL_FLAG: True})

        records_items = []              # [(model, id)]
        model_ids = []
        field_ids = []
        module_data = self.search([('module', 'in', modules_to_remove)], order='id DESC')
        for data in module_data:
            if data.model == 'ir.model':
                model_ids.append(data.res_id)
            elif data.model == 'ir.model.fields':
                field_ids.append(data.res_id)
            else:
                records_items.append((data.model, data.res_id))

        undeletable_ids = []

        def delete(records):
            # do not delete records that have other external ids
            ref_data = self.search([('model', '=', records._name), ('res_id', 'in', records.ids)])
            records -= records.browse((ref_data - module_data).mapped('res_id'))
            records = records.exists()
            if not records:
                return
            if records._name == 'ir.model.fields':
                records -= records.filtered(lambda f: f.name == 'id')
            _logger.info('Deleting %s', records)
            try:
                with self._cr.savepoint():
                    records.unlink()
            except Exception as e:
                _logger.info('Unable to delete %s: %s', records, e)
                if len(records) <= 1:
                    undeletable_ids.extend(ref_data._ids)
                else:
                    half_size = len(records) // 2
                    delete(records[:half_size])
                    delete(records[half_size:])

        # remove non-model records first, grouped by batches of the same model
        for model, items in itertools.groupby(unique(records_items), itemgetter(0)):
            if model in self.env:
                delete(self.env[model].browse(item[1] for item in items))

        delete(self.env['ir.model.fields'].browse(field_ids))
        delete(self.env['ir.model'].browse(model_ids))

        # undeletable data may have gone since, with a dropped table or a cascade
        for data in self.browse(undeletable_ids).exists():
            model = self.env.get(data.model)
            if model is None or not model._auto or not sql.table_exists(self._cr, model._table):
                continue
            if model.browse(data.res_id).exists():
                _logger.info('ir.model.data could not be deleted (%s)', data.complete_name)
                module_data -= data
        module_data.exists().unlink()
