"""Domains: normalisation and combination as in Odoo 17, and their
translation into SQLite conditions.

A domain is a list in prefix notation of the operators ``'&'``, ``'|'``, ``'!'``
and of leaves ``(field_path, operator, value)``; consecutive terms are joined
by an implicit ``'&'``.  Leaf values are opaque to normalisation and combination.
"""
from ..tools import query as tools_query


NOT_OPERATOR = '!'
OR_OPERATOR = '|'
AND_OPERATOR = '&'
DOMAIN_OPERATORS = (NOT_OPERATOR, OR_OPERATOR, AND_OPERATOR)

TERM_OPERATORS = ('=', '!=', '<=', '<', '>', '>=', '=?', '=like', '=ilike',
                  'like', 'not like', 'ilike', 'not ilike', 'in', 'not in',
                  'child_of', 'parent_of', 'any', 'not any')
NEGATIVE_TERM_OPERATORS = ('!=', 'not like', 'not ilike', 'not in', 'not any')
TERM_OPERATORS_NEGATION = {
    '<': '>=', '>': '<=', '<=': '>', '>=': '<',
    '=': '!=', '!=': '=',
    'in': 'not in', 'like': 'not like', 'ilike': 'not ilike',
    'not in': 'in', 'not like': 'like', 'not ilike': 'ilike',
    'any': 'not any', 'not any': 'any',
}

TRUE_LEAF = (1, '=', 1)
FALSE_LEAF = (0, '=', 1)
TRUE_DOMAIN = [TRUE_LEAF]
FALSE_DOMAIN = [FALSE_LEAF]


def normalize_domain(domain):
    """Make the implicit '&' operators of ``domain`` explicit; leaves become tuples."""
    assert isinstance(domain, (list, tuple)), \
        "Domains to normalize must have a 'domain' form: a list or tuple of domain components"
    if not domain:
        return [TRUE_LEAF]
    result = []
    expected = 1                            # expected number of expressions
    op_arity = {NOT_OPERATOR: 1, AND_OPERATOR: 2, OR_OPERATOR: 2}
    for token in domain:
        if expected == 0:                   # more than expected, like in [A, B]
            result[0:0] = [AND_OPERATOR]    # put an extra '&' in front
            expected = 1
        if isinstance(token, (list, tuple)):  # domain term
            expected -= 1
            if len(token) == 3 and token[1] in ('any', 'not any'):
                token = (token[0], token[1], normalize_domain(token[2]))
            else:
                token = tuple(token)
        else:
            expected += op_arity.get(token, 0) - 1
        result.append(token)
    if expected:
        raise ValueError(f'Domain {domain} is syntactically not correct.')
    return result


def combine(operator, unit, zero, domains):
    """Join ``domains`` with ``operator``; ``unit`` is the neutral domain and
    ``zero`` the absorbing one.  The result is normalised."""
    result = []
    count = 0
    if domains == [unit]:
        return unit
    for domain in domains:
        if domain == unit:
            continue
        if domain == zero:
            return zero
        if domain:
            result += normalize_domain(domain)
            count += 1
    result = [operator] * (count - 1) + result
    return result or unit


def AND(domains):
    """AND([D1, D2, ...]): a domain matching what all of them match."""
    return combine(AND_OPERATOR, [TRUE_LEAF], [FALSE_LEAF], domains)


def OR(domains):
    """OR([D1, D2, ...]): a domain matching what any of them matches."""
    return combine(OR_OPERATOR, [FALSE_LEAF], [TRUE_LEAF], domains)


def is_leaf(element):
    return (isinstance(element, (list, tuple)) and len(element) == 3
            and element[1] in TERM_OPERATORS
            and (isinstance(element[0], str) or tuple(element) in (TRUE_LEAF, FALSE_LEAF)))


# ---------------------------------------------------------------------------
# translation into SQL
# ---------------------------------------------------------------------------

def _parse(domain):
    """Turn a normalised domain into a tree of ('&'|'|', a, b), ('!', a) and leaves."""
    def node(pos):
        token = domain[pos]
        if token == NOT_OPERATOR:
            child, pos = node(pos + 1)
            return (NOT_OPERATOR, child), pos
        if token in (AND_OPERATOR, OR_OPERATOR):
            left, pos = node(pos + 1)
            right, pos = node(pos)
            return (token, left, right), pos
        return token, pos + 1

    tree, end = node(0)
    assert end == len(domain)
    return tree


class Query:
    """The SQL of a domain on one model: ``where`` with its ``params``."""

    def __init__(self, model, domain, alias=None, active_test=None):
        self.model = model
        self.alias = alias or model._table
        self._aliases = 0
        domain = list(domain or [])
        if active_test is None:
            active_test = model._context.get('active_test', True)
        active = model._active_name
        if active_test and active and not any(
                is_leaf(t) and isinstance(t[0], str) and t[0].split('.')[0] == active for t in domain):
            domain = [(active, '=', True)] + domain
        self.params = []
        self.where = self._tree(model, self.alias, _parse(normalize_domain(domain)), False)

    def _new_alias(self, table):
        self._aliases += 1
        return '%s__%d' % (table, self._aliases)

    def _tree(self, model, alias, tree, negate):
        if isinstance(tree, tuple) and tree and tree[0] == NOT_OPERATOR and len(tree) == 2:
            return self._tree(model, alias, tree[1], not negate)
        if isinstance(tree, tuple) and tree and tree[0] in (AND_OPERATOR, OR_OPERATOR) and len(tree) == 3:
            op = tree[0]
            if negate:
                op = AND_OPERATOR if op == OR_OPERATOR else OR_OPERATOR
            joiner = ' AND ' if op == AND_OPERATOR else ' OR '
            return '(%s%s%s)' % (self._tree(model, alias, tree[1], negate), joiner,
                                 self._tree(model, alias, tree[2], negate))
        return self._leaf(model, alias, tree, negate)

    def _sub(self, model, domain):
        """A sub-select of the ids of ``model`` matching ``domain`` (archived
        records included, as Odoo's joins do)."""
        alias = self._new_alias(model._table)
        where = self._tree(model, alias, _parse(normalize_domain(list(domain))), False)
        return 'SELECT "%s".id FROM "%s" AS "%s" WHERE %s' % (alias, model._table, alias, where)

    def _leaf(self, model, alias, leaf, negate):
        if not is_leaf(leaf):
            raise ValueError("Invalid leaf %s" % str(leaf))
        left, operator, right = leaf
        if tuple(leaf) in (TRUE_LEAF, FALSE_LEAF):
            return '(1=1)' if (tuple(leaf) == TRUE_LEAF) != negate else '(1=0)'
        if negate:
            if operator in TERM_OPERATORS_NEGATION:
                operator = TERM_OPERATORS_NEGATION[operator]
            else:
                return '(NOT COALESCE(%s, 0))' % self._leaf(model, alias, leaf, False)
        right = _ids_of(right)

        path = left.split('.', 1)
        field = model._fields.get(path[0])
        if field is None:
            raise ValueError("Invalid field %s.%s in leaf %s" % (model._name, path[0], str(leaf)))

        if not field.store:
            if field.related:
                rest = '.' + path[1] if len(path) > 1 else ''
                return self._leaf(model, alias, (field.related + rest, operator, right), False)
            if field.search:
                domain = getattr(model, field.search)(operator, right)
                return self._tree(model, alias, _parse(normalize_domain(list(domain))), False)
            raise ValueError("Non-stored field %s cannot be searched." % field)

        column = '"%s"."%s"' % (alias, field.name)
        if operator in ('any', 'not any'):
            return self._any(model, alias, field, operator, right)

        if len(path) > 1:
            comodel = model.env[field.comodel_name] if field.relational else None
            if comodel is None:
                raise ValueError("Invalid field %s.%s in leaf %s" % (model._name, left, str(leaf)))
            return self._any(model, alias, field, 'any', [(path[1], operator, right)])

        if operator in ('child_of', 'parent_of'):
            raise ValueError("Operator %r is not supported here" % operator)
        if operator == '=?':
            if right is False or right is None:
                return '(1=1)'
            operator = '='

        if field.type == 'many2one':
            if _is_text(right) and operator not in ('=like', '=ilike'):
                return self._by_name(model, alias, field, operator, right)
            return self._scalar(field, column, operator, right)
        if field.type in ('one2many', 'many2many'):
            return self._x2many(model, alias, field, operator, right)
        return self._scalar(field, column, operator, right)

    def _scalar(self, field, column, operator, right):
        params = self.params
        if isinstance(right, tools_query.Query):
            # a search's result as a value: its ids (Odoo inlines its SQL)
            right = list(right)
        if field.type == 'boolean' and operator in ('=', '!=', 'in', 'not in'):
            values = right if isinstance(right, (list, tuple)) else [right]
            truth = {bool(v) for v in values}
            if operator in ('!=', 'not in'):
                truth = {True, False} - truth
            if truth == {True, False}:
                return '(1=1)'
            if truth == {True}:
                return '(%s = 1)' % column
            if truth == {False}:
                return '(%s IS NULL OR %s = 0)' % (column, column)
            return '(1=0)'
        if operator in ('=', '!='):
            if right is False or right is None:
                return '(%s IS %sNULL)' % (column, 'NOT ' if operator == '!=' else '')
            if isinstance(right, (list, tuple)):
                operator = 'in' if operator == '=' else 'not in'
            else:
                params.append(field.convert_to_domain(right))
                if operator == '=':
                    return '(%s = %%s)' % column
                return '(%s != %%s OR %s IS NULL)' % (column, column)
        if operator in ('in', 'not in'):
            values = list(right) if isinstance(right, (list, tuple, set, frozenset)) else [right]
            items = [v for v in values if v is not False and v is not None]
            check_null = len(items) < len(values)
            if items:
                params.extend(field.convert_to_domain(v) for v in items)
                query = '(%s %s (%s))' % (column, operator.upper(), ', '.join(['%s'] * len(items)))
            else:
                query = '(1=0)' if operator == 'in' else '(1=1)'
            if (operator == 'in' and check_null) or (operator == 'not in' and not check_null):
                query = '(%s OR %s IS NULL)' % (query, column)
            elif operator == 'not in' and check_null:
                query = '(%s AND %s IS NOT NULL)' % (query, column)
            return query
        if operator in ('like', 'ilike', 'not like', 'not ilike', '=like', '=ilike'):
            func = 'odoo_ilike' if 'ilike' in operator else 'odoo_like'
            pattern = '' if right is False or right is None else str(right)
            if not operator.startswith('='):
                pattern = '%' + pattern + '%'
            params.append(pattern)
            if operator.startswith('not'):
                return '(%s IS NULL OR NOT %s(%%s, %s))' % (column, func, column)
            return '(%s(%%s, %s))' % (func, column)
        if operator in ('<', '>', '<=', '>='):
            if right is False or right is None:
                return '(1=0)'
            params.append(field.convert_to_domain(right))
            return '(%s %s %%s)' % (column, operator)
        raise ValueError("Invalid operator %r" % operator)

    def _by_name(self, model, alias, field, operator, right):
        """``(many2one, op, text)``: the text is name-searched on the comodel."""
        comodel = model.env[field.comodel_name]
        names = right if isinstance(right, (list, tuple)) else [right]
        positive = TERM_OPERATORS_NEGATION[operator] if operator in NEGATIVE_TERM_OPERATORS else operator
        if positive == 'in':
            positive = '='
        ids = []
        for name in names:
            ids.extend(comodel._name_search(name, [], positive, limit=None))
        field_op = 'not in' if operator in NEGATIVE_TERM_OPERATORS else 'in'
        column = '"%s"."%s"' % (alias, field.name)
        if field.type == 'many2one':
            return self._scalar(field, column, field_op, ids)
        return self._x2many(model, alias, field, field_op, ids)

    def _related_ids(self, model, alias, field, sub_select):
        """Condition: the record is linked through the x2many ``field`` to an id of ``sub_select``."""
        if field.type == 'one2many':
            comodel = model.env[field.comodel_name]
            rel = self._new_alias(comodel._table)
            return '"%s".id IN (SELECT "%s"."%s" FROM "%s" AS "%s" WHERE "%s"."%s" IS NOT NULL AND "%s".id IN (%s))' % (
                alias, rel, field.inverse_name, comodel._table, rel, rel, field.inverse_name, rel, sub_select)
        rel = self._new_alias(field.relation)
        return '"%s".id IN (SELECT "%s"."%s" FROM "%s" AS "%s" WHERE "%s"."%s" IN (%s))' % (
            alias, rel, field.column1, field.relation, rel, rel, field.column2, sub_select)

    def _x2many(self, model, alias, field, operator, right):
        if _is_text(right):
            return self._by_name(model, alias, field, operator, right)
        if operator in ('=', '!=') and (right is False or right is None):
            comodel = model.env[field.comodel_name]
            cond = self._related_ids(model, alias, field, 'SELECT id FROM "%s"' % comodel._table)
            return '(%s)' % cond if operator == '!=' else '(NOT (%s))' % cond
        if operator in ('=', 'in', '!=', 'not in'):
            values = right if isinstance(right, (list, tuple, set, frozenset)) else [right]
            ids = ', '.join(str(int(v)) for v in values if v) or 'NULL'
            cond = self._related_ids(model, alias, field, ids)
            return '(%s)' % cond if operator in ('=', 'in') else '(NOT (%s))' % cond
        raise ValueError("Invalid operator %r on field %s" % (operator, field))

    def _any(self, model, alias, field, operator, domain):
        comodel = model.env[field.comodel_name]
        sub = self._sub(comodel, domain)
        if field.type == 'many2one':
            cond = '"%s"."%s" IN (%s)' % (alias, field.name, sub)
        else:
            cond = self._related_ids(model, alias, field, sub)
        return '(%s)' % cond if operator == 'any' else '(NOT (%s))' % cond


def _is_text(value):
    return isinstance(value, str) or (
        isinstance(value, (list, tuple)) and value and all(isinstance(v, str) for v in value))


def _ids_of(value):
    from ..models import BaseModel
    if isinstance(value, BaseModel):
        return value.ids if len(value) != 1 else value.id
    if isinstance(value, (list, tuple)) and any(isinstance(v, BaseModel) for v in value):
        return [v.id if isinstance(v, BaseModel) else v for v in value]
    return value
