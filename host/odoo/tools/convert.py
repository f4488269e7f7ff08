"""Loading addon data files: XML records and CSV tables."""
import csv
import io
import os

from lxml import etree

from ..fields import Command
from . import str2bool


class ParseError(ValueError):
    pass


def _xmlid(module, xml_id):
    return xml_id if '.' in xml_id else '%s.%s' % (module, xml_id)


class XmlImport:
    def __init__(self, env, module, mode, noupdate=False):
        self.env = env
        self.module = module
        self.mode = mode
        self.noupdate = noupdate

    def id_get(self, xml_id):
        return self.env['ir.model.data']._xmlid_to_res_id(_xmlid(self.module, xml_id), raise_if_not_found=True)

    def _eval(self, expr):
        context = {'ref': self.id_get, 'Command': Command, 'True': True, 'False': False, 'None': None}
        return eval(expr, {'__builtins__': {}}, context)  # noqa: S307 (data files of installed addons)

    def parse(self, root):
        if root.tag not in ('odoo', 'openerp', 'data'):
            raise ParseError('Root xml tag must be <odoo>, <openerp> or <data>.')
        self._tag_root(root, self.noupdate)

    def _tag_root(self, node, noupdate):
        for child in node:
            if not isinstance(child.tag, str):
                continue
            if child.tag == 'data':
                self._tag_root(child, str2bool(child.get('noupdate', noupdate), noupdate))
            elif child.tag == 'record':
                self._tag_record(child, noupdate)
            elif child.tag == 'menuitem':
                self._tag_menuitem(child, noupdate)
            elif child.tag == 'delete':
                self._tag_delete(child)
            elif child.tag == 'function':
                self._tag_function(child)
            else:
                raise ParseError('Unsupported tag <%s> in data file' % child.tag)

    def _tag_record(self, rec, noupdate):
        model = self.env[rec.get('model')]
        xml_id = rec.get('id')
        if xml_id:
            xml_id = _xmlid(self.module, xml_id)
            if self.mode == 'update' and noupdate and self.env['ir.model.data']._load_xmlid(xml_id):
                return
        values = {}
        for node in rec.findall('./field'):
            name = node.get('name')
            field = model._fields.get(name)
            if node.get('ref'):
                ref = node.get('ref')
                values[name] = False if ref == 'False' else self.id_get(ref)
            elif node.get('search'):
                found = model.env[field.comodel_name].search(self._eval(node.get('search')))
                values[name] = found[:1].id if field.type == 'many2one' else [Command.set(found.ids)]
            elif node.get('eval') is not None:
                values[name] = self._eval(node.get('eval'))
            elif node.get('type') == 'xml':
                values[name] = '<?xml version="1.0"?>\n' + ''.join(
                    etree.tostring(child, encoding='unicode') for child in node)
            elif node.get('type') == 'html':
                values[name] = (node.text or '') + ''.join(
                    etree.tostring(child, encoding='unicode') for child in node)
            else:
                value = node.text or ''
                if field is not None:
                    if field.type == 'many2one':
                        value = int(value) if value else False
                    elif field.type == 'integer':
                        value = int(value)
                    elif field.type == 'float':
                        value = float(value)
                    elif field.type == 'boolean':
                        value = str2bool(value)
                values[name] = value
        model._load_records([{'xml_id': xml_id, 'values': values, 'noupdate': noupdate}],
                            self.mode == 'update')

    def _tag_menuitem(self, rec, noupdate):
        """``<menuitem id= name= parent= action= sequence= groups=/>``: a
        menu (named after its action when it has no name); ``groups`` lists
        group XML ids, those prefixed with '-' are taken off."""
        xml_id = _xmlid(self.module, rec.get('id'))
        if self.mode == 'update' and noupdate and self.env['ir.model.data']._load_xmlid(xml_id):
            return
        values = {'parent_id': self.id_get(rec.get('parent')) if rec.get('parent') else False}
        if rec.get('sequence'):
            values['sequence'] = int(rec.get('sequence'))
        if rec.get('active'):
            values['active'] = str2bool(rec.get('active'))
        action = rec.get('action')
        if action:
            action_xmlid = _xmlid(self.module, action)
            res_model, res_id = self.env['ir.model.data']._xmlid_to_res_model_res_id(
                action_xmlid, raise_if_not_found=True)
            values['action'] = '%s,%d' % (res_model, res_id)
            if not rec.get('name'):
                values['name'] = self.env[res_model].browse(res_id).name
        if rec.get('name'):
            values['name'] = rec.get('name')
        if rec.get('groups'):
            commands = []
            for group in rec.get('groups').split(','):
                group = group.strip()
                if group.startswith('-'):
                    commands.append(Command.unlink(self.id_get(group[1:])))
                else:
                    commands.append(Command.link(self.id_get(group)))
            values['groups_id'] = commands
        self.env['ir.ui.menu']._load_records(
            [{'xml_id': xml_id, 'values': values, 'noupdate': noupdate}], self.mode == 'update')

    def _tag_delete(self, rec):
        model = self.env[rec.get('model')]
        records = model.browse()
        if rec.get('search'):
            records = model.search(self._eval(rec.get('search')))
        if rec.get('id'):
            record = self.env.ref(_xmlid(self.module, rec.get('id')), raise_if_not_found=False)
            if record:
                records |= record
        records.unlink()

    def _tag_function(self, rec):
        model = self.env[rec.get('model')]
        args = self._eval(rec.get('eval')) if rec.get('eval') else []
        getattr(model, rec.get('name'))(*args)


def convert_xml_import(env, module, xmlfile, idref=None, mode='init', noupdate=False, report=None):
    doc = etree.parse(xmlfile)
    XmlImport(env, module, mode, noupdate).parse(doc.getroot())


def convert_csv_import(env, module, fname, csvcontent, idref=None, mode='init', noupdate=False):
    """Load a CSV file named after its model (e.g. ``ir.model.access.csv``):
    column ``id`` holds XML ids, ``field:id`` or ``field/id`` XML id references."""
    model = env[os.path.splitext(os.path.basename(fname))[0]]
    reader = csv.reader(io.StringIO(csvcontent))
    header = next(reader)
    data_list = []
    for row in reader:
        if not any(row):
            continue
        xml_id, values = None, {}
        for column, text in zip(header, row):
            if column == 'id':
                xml_id = _xmlid(module, text)
                continue
            if column.endswith((':id', '/id')):
                name = column[:-3]
                values[name] = (env['ir.model.data']._xmlid_to_res_id(_xmlid(module, text), raise_if_not_found=True)
                                if text else False)
                continue
            field = model._fields[column]
            if field.type == 'boolean':
                values[column] = str2bool(text, False)
            elif field.type == 'integer':
                values[column] = int(text or 0)
            elif field.type == 'float':
                values[column] = float(text or 0)
            else:
                values[column] = text or False
        data_list.append({'xml_id': xml_id, 'values': values, 'noupdate': noupdate})
    model._load_records(data_list, mode == 'update')


def convert_file(env, module, filename, idref=None, mode='init', noupdate=False, kind=None, pathname=None):
    from ..modules.module import get_module_path
    pathname = pathname or os.path.join(get_module_path(module), filename)
    ext = os.path.splitext(filename)[1].lower()
    with open(pathname, 'rb') as fp:
        if ext == '.csv':
            convert_csv_import(env, module, pathname, fp.read().decode('utf-8'), idref, mode, noupdate)
        elif ext == '.xml':
            convert_xml_import(env, module, fp, idref, mode, noupdate)
        else:
            raise ValueError("Can't load unknown file type %s." % filename)
