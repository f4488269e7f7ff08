"""Search: domains and operators, name search, domain combination, and the
operations on record sets."""
import pytest

from odoo.osv import expression


@pytest.fixture
def partners(env):
    Industry = env['res.partner.industry']
    farming = Industry.create({'name': 'Farming'})
    steel = Industry.create({'name': '制造业'})
    P = env['res.partner']
    acme = P.create({'name': 'Acme', 'is_company': True, 'employee_count': 50, 'industry_id': steel.id,
                     'email': 'info@acme.test'})
    return {
        'farming': farming, 'steel': steel, 'acme': acme,
        'ann': P.create({'name': 'Ann', 'email': 'ann@acme.test', 'parent_id': acme.id, 'employee_count': 1}),
        'bob': P.create({'name': 'bob', 'ref': 'B-1', 'industry_id': farming.id, 'employee_count': 5}),
        'zhang': P.create({'name': '张三', 'phone': '100', 'employee_count': 0}),
        'old': P.create({'name': 'Old', 'active': False}),
    }


def names(records):
    return sorted(records.mapped('name'))


class TestDomains:
    @pytest.mark.parametrize('domain, expected', [
        ([('name', '=', 'Ann')], ['Ann']),
        ([('name', '!=', 'Ann')], ['Acme', 'bob', '张三']),
        ([('name', 'in', ['Ann', 'bob'])], ['Ann', 'bob']),
        ([('name', 'not in', ['Ann', 'bob'])], ['Acme', '张三']),
        ([('name', 'like', 'nn')], ['Ann']),
        ([('name', 'like', 'ANN')], []),
        ([('name', 'ilike', 'ANN')], ['Ann']),
        ([('name', 'ilike', '张')], ['张三']),
        ([('name', 'not ilike', 'a')], ['bob', '张三']),
        ([('name', '=like', 'A%')], ['Acme', 'Ann']),
        ([('name', '=ilike', 'b_b')], ['bob']),
        ([('email', '=', False)], ['bob', '张三']),
        ([('email', '!=', False)], ['Acme', 'Ann']),
        ([('ref', '!=', 'B-1')], ['Acme', 'Ann', '张三']),
        ([('ref', 'not in', ['B-1'])], ['Acme', 'Ann', '张三']),
        ([('email', 'in', [False, 'ann@acme.test'])], ['Ann', 'bob', '张三']),
        ([('employee_count', '>', 1)], ['Acme', 'bob']),
        ([('employee_count', '>=', 5), ('employee_count', '<', 50)], ['bob']),
        ([('employee_count', '<=', 1)], ['Ann', '张三']),
        ([('is_company', '=', True)], ['Acme']),
        ([('is_company', '=', False)], ['Ann', 'bob', '张三']),
        ([('is_company', '!=', True)], ['Ann', 'bob', '张三']),
        (['|', ('name', '=', 'Ann'), ('name', '=', 'bob')], ['Ann', 'bob']),
        (['!', ('name', 'ilike', 'a')], ['bob', '张三']),
        (['!', '|', ('name', '=', 'Ann'), ('email', '=', False)], ['Acme']),
        (['&', ('name', 'ilike', 'a'), '!', ('is_company', '=', True)], ['Ann']),
        ([], ['Acme', 'Ann', 'bob', '张三']),
    ])
    def test_operators(self, env, partners, domain, expected):
        assert names(env['res.partner'].search(domain)) == expected

    @pytest.mark.parametrize('domain, expected', [
        ([('parent_id.name', '=', 'Acme')], ['Ann']),
        ([('parent_id.industry_id.name', 'ilike', '制造')], ['Ann']),
        ([('industry_id', '=', 'Farming')], ['bob']),            # text: name search
        ([('industry_id', 'ilike', 'farm')], ['bob']),
        ([('industry_id', '!=', 'Farming')], ['Acme', 'Ann', '张三']),
        ([('industry_id', '=', False)], ['Ann', '张三']),
        ([('child_ids.name', '=', 'Ann')], ['Acme']),
        ([('child_ids', '!=', False)], ['Acme']),
        ([('child_ids', '=', False)], ['Ann', 'bob', '张三']),
        ([('industry_id', 'any', [('name', '=', 'Farming')])], ['bob']),
        ([('display_name', 'ilike', 'acm')], ['Acme', 'Ann']),      # name or email
    ])
    def test_paths_and_relations(self, env, partners, domain, expected):
        assert names(env['res.partner'].search(domain)) == expected

    def test_many2one_by_id(self, env, partners):
        steel = partners['steel']
        assert names(env['res.partner'].search([('industry_id', '=', steel.id)])) == ['Acme']
        assert names(env['res.partner'].search([('industry_id', 'in', steel.ids)])) == ['Acme']
        assert names(env['res.partner'].search([('industry_id', '=', steel)])) == ['Acme']
        assert env['res.partner'].search([('child_ids', 'in', partners['ann'].ids)]) == partners['acme']

    def test_active_test(self, env, partners):
        P = env['res.partner']
        assert 'Old' not in P.search([]).mapped('name')
        assert names(P.search([('active', '=', False)])) == ['Old']
        assert 'Old' in P.with_context(active_test=False).search([]).mapped('name')
        assert P.search_count([]) == 4

    def test_order_limit_offset(self, env, partners):
        P = env['res.partner']
        P.create({'name': 'Nobody'})        # NULL sorts last ascending, first descending
        assert P.search([], order='employee_count').mapped('name')[-1] == 'Nobody'
        assert P.search([], order='employee_count desc').mapped('name')[0] == 'Nobody'
        assert 'Nobody' not in P.search([('employee_count', '<=', 1)]).mapped('name')
        partners['acme'].employee_count = 60
        assert P.search([('employee_count', '!=', False)], order='employee_count desc', limit=2).mapped('name') \
            == ['Acme', 'bob']
        assert P.search([], order='name', offset=1, limit=2).mapped('name') == ['Ann', 'Nobody']
        assert P.search([('email', '!=', False)], order='email').mapped('name') == ['Ann', 'Acme']
        with pytest.raises(ValueError):
            P.search([], order='name; DROP TABLE res_partner')

    def test_invalid_domains(self, env):
        with pytest.raises(ValueError, match='Invalid field res.partner.nope'):
            env['res.partner'].search([('nope', '=', 1)])
        with pytest.raises(ValueError, match='Invalid leaf'):
            env['res.partner'].search([('name', 'resembles', 'x')])
        with pytest.raises(ValueError, match='syntactically not correct'):
            env['res.partner'].search(['|', ('name', '=', 'x')])


class TestNameSearch:
    def test_rec_name(self, env, partners):
        assert env['res.partner.industry']._rec_names_search is None
        result = env['res.partner.industry'].name_search('制造')
        assert result == [(partners['steel'].id, '制造业')]
        result = env['res.partner'].name_search('a')
        assert [name for _id, name in result] == ['Acme', 'Ann']
        assert env['res.partner'].name_search('a', [('is_company', '=', False)]) == [(partners['ann'].id, 'Ann')]
        assert env['res.partner'].name_search('a', limit=1) == [(partners['acme'].id, 'Acme')]
        assert env['res.partner'].name_search('Ann', operator='=') == [(partners['ann'].id, 'Ann')]

    def test_rec_names_search_fields_are_ored(self, env, partners):
        assert env['res.partner'].name_search('B-1') == [(partners['bob'].id, 'bob')]
        # ir.model searches 'name' and 'model'
        by_model = env['ir.model'].name_search('res.partner.industry')
        by_name = env['ir.model'].name_search('Industry')
        assert by_model and by_model == by_name

    def test_negative_operator_ands_the_fields(self, env):
        found = {name for _id, name in env['ir.model'].name_search('res.', operator='not ilike', limit=None)}
        assert 'Contact' not in found and 'Industry' not in found and {'Models', 'Base'} <= found


class Opaque:
    """A leaf value only hashable and printable (no equality of its own)."""

    def __init__(self, word):
        self.word = word

    def __repr__(self):
        return self.word


class TestExpression:
    def test_or_skips_empty_domains(self):
        domain = [('a', '=', 1), ('b', '=', 2)]
        assert expression.OR([[], domain]) == ['&', ('a', '=', 1), ('b', '=', 2)]
        assert expression.OR([domain, []]) == expression.normalize_domain(domain)
        assert expression.OR([[('a', '=', 1)], [('b', '=', 2)]]) == ['|', ('a', '=', 1), ('b', '=', 2)]
        assert expression.OR([[]]) == expression.FALSE_DOMAIN
        assert expression.OR([]) == expression.FALSE_DOMAIN
        assert expression.OR([domain, expression.TRUE_DOMAIN]) == expression.TRUE_DOMAIN
        assert expression.OR([expression.FALSE_DOMAIN]) == expression.FALSE_DOMAIN

    def test_and(self):
        assert expression.AND([]) == expression.TRUE_DOMAIN
        assert expression.AND([[('a', '=', 1)], expression.FALSE_DOMAIN]) == expression.FALSE_DOMAIN
        assert expression.AND([['|', ('a', '=', 1), ('b', '=', 1)], [('c', '=', 1)]]) == \
            ['&', '|', ('a', '=', 1), ('b', '=', 1), ('c', '=', 1)]

    def test_normalize(self):
        assert expression.normalize_domain([]) == [expression.TRUE_LEAF]
        assert expression.normalize_domain([['a', '=', 1], ('b', '=', 2)]) == \
            ['&', ('a', '=', 1), ('b', '=', 2)]

    def test_opaque_values(self):
        me = Opaque('self')
        domain = expression.OR([[('name', 'ilike', me)],
                                ['|', ('full', 'ilike', me), ('simple', 'ilike', me)]])
        assert str(domain) == ("['|', ('name', 'ilike', self), '|', ('full', 'ilike', self), "
                               "('simple', 'ilike', self)]")
        assert domain[1][2] is me
        assert str(expression.OR([[], [('x.y.z', '=', Opaque('True'))]])) == "[('x.y.z', '=', True)]"


class TestRecordSets:
    def test_set_operations(self, env, partners):
        ann, bob, acme = partners['ann'], partners['bob'], partners['acme']
        both = ann | bob | ann
        assert both.ids == [ann.id, bob.id] and len(both) == 2
        assert (ann + ann).ids == [ann.id, ann.id]
        assert both - ann == bob and both & bob == bob
        assert ann in both and acme not in both
        assert both[0] == ann and both[1:] == bob
        assert both == bob | ann and bool(env['res.partner']) is False
        assert 'name' in ann
        with pytest.raises(ValueError, match='Expected singleton'):
            both.ensure_one()
        assert env['res.partner'].browse([ann.id, 9999]).exists() == ann

    def test_mapped_filtered_sorted(self, env, partners):
        P = env['res.partner'].search([])
        assert P.mapped('parent_id') == partners['acme']
        assert sorted(P.mapped('parent_id.industry_id.name')) == ['制造业']
        assert sorted(P.mapped(lambda p: p.employee_count)) == [0, 1, 5, 50]
        assert names(P.filtered('email')) == ['Acme', 'Ann']
        assert names(P.filtered(lambda p: p.employee_count > 4)) == ['Acme', 'bob']
        assert P.sorted(key=lambda p: p.employee_count).mapped('name') == ['张三', 'Ann', 'bob', 'Acme']
        assert P.sorted('employee_count', reverse=True)[0] == partners['acme']
        assert env['res.partner'].browse().mapped('name') == []

    def test_context_and_read(self, env, partners):
        P = env['res.partner'].with_context(lang='zh_CN', a=1)
        assert dict(P.with_context(b=2).env.context) == {'lang': 'zh_CN', 'a': 1, 'b': 2}
        assert dict(P.with_context({'c': 3}).env.context) == {'c': 3}
        assert dict(P.with_context({'c': 3}, d=4).env.context) == {'c': 3, 'd': 4}
        [values] = partners['bob'].read(['name', 'industry_id', 'child_ids', 'is_company'])
        assert values == {'id': partners['bob'].id, 'name': 'bob', 'is_company': False,
                          'industry_id': (partners['farming'].id, 'Farming'), 'child_ids': []}
