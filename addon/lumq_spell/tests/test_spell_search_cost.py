"""Searching the spells by ILIKE is done as LIKE on the lower-cased text where
PostgreSQL allows it: what every search finds stays exactly the same."""
from contextlib import contextmanager
from unittest import mock

from odoo.addons.lumq_spell.models import spell_search, spell_sql
from odoo.tests.common import tagged

from .common import SpellCase, leave_index_invalid, on_postgresql, search_domain

COLUMNS = ("lumq_full_spell", "lumq_simple_spell")

# Names as people keep them: Chinese, Latin with capitals (their spells keep
# them), letters whose lower case PostgreSQL and Python see differently, the
# wildcard characters and the escape character, and no name at all.
NAMES = [
    "张三", "张伟", "王小明", "John Smith", "JOHN", "McDonald 张", "Zoë Ärger", "ÉLISE",
    "İlker", "Straße", "50% off", "a_b", "back\\slash", "周 zs", "ZS 公司", "", False,
]
# Texts as people type them: pinyin, initials, capitals, Chinese, other
# scripts, the wildcards (% and _ match any text and any character, as in
# the ORM's own ILIKE), an escaped wildcard, and the Kelvin sign, which
# PostgreSQL lower-cases to k.
TEXTS = [
    "zs", "ZS", "zhang", "Zhang", "wxm", "john", "JoHn", "mcd", "zoë", "ZOË", "élise", "ilker",
    "İLKER", "strasse", "straße", "张", "王小明", "%", "_", "5_%", "50\\%", "a\\_b", "\\\\",
    "\u212a", "o",
]


@tagged("post_install", "-at_install")
class TestRewrittenLeaves(SpellCase):
    """The rewrite of a domain, on its own."""

    def rewrite(self, domain, ids=(), limit=None):
        def cased_ids(column, pattern):
            return None if limit is not None and len(ids) > limit else list(ids)

        return spell_search.rewrite_domain(domain, COLUMNS, lambda pattern: ("lower", pattern),
                                           cased_ids)

    def test_ilike_leaves_on_the_spells_become_like_or_the_cased_rows(self):
        domain = ["|", ("name", "ilike", "zs"), "!", ("lumq_full_spell", "ilike", "Zs"),
                  ("lumq_simple_spell", "not ilike", "5_%")]
        self.assertEqual(self.rewrite(domain, ids=[7]), [
            "|", ("name", "ilike", "zs"),
            # the LIKE twice: found alike, expected by PostgreSQL to match far
            # fewer rows, so that the spells do not change the search's plan
            "!", "|", "&", ("lumq_full_spell", "like", ("lower", "%Zs%")),
            ("lumq_full_spell", "like", ("lower", "%Zs%")), ("id", "in", [7]),
            "&", ("lumq_simple_spell", "not like", ("lower", "%5_%%")), ("id", "not in", [7]),
        ])

    def test_other_leaves_are_left_to_the_orm(self):
        domain = [
            ("lumq_full_spell", "ilike", ""),            # matches every row, NULL ones too
            ("lumq_full_spell", "ilike", False),
            ("lumq_full_spell", "=ilike", "zs"),
            ("lumq_full_spell", "like", "zs"),
            ("lumq_full_spell", "in", ["zs"]),
            ("lumq_first_spell", "ilike", "z"),
            ("lumq_spell_variants", "ilike", "zs"),
            ("partner_id.lumq_full_spell", "ilike", "zs"),
            ("name", "ilike", "zs"),
            (1, "=", 1),
        ]
        self.assertEqual(self.rewrite(domain), domain)

    def test_too_many_cased_rows_leave_the_leaf_as_it_was(self):
        domain = [("lumq_full_spell", "ilike", "john")]
        self.assertEqual(self.rewrite(domain, ids=[1, 2, 3], limit=2), domain)


@tagged("post_install", "-at_install")
class TestSameRecordsFound(SpellCase):
    """Every search finds what the ORM's ILIKE finds, in the same order."""

    def setUp(self):
        super().setUp()
        self.Item = self.env["spell.test.item"]
        before = self.Item.create([{"name": name} for name in NAMES[:8]])
        self.enable("spell.test.item")
        # records created once the model is enabled have their spells, and
        # their capitals, kept up to date in the index too
        after = self.Item.create([{"name": name} for name in NAMES[8:]])
        self.items = before | after

    @contextmanager
    def as_it_was(self, model):
        """Searches with the spells compared by ILIKE, as the ORM does."""
        with mock.patch.object(type(model), "_spell_domain_for_sql", lambda self, domain: domain):
            yield

    def assert_same(self, model, domain):
        found = model.search(domain)
        count = model.search_count(domain)
        with self.as_it_was(model):
            expected = model.search(domain)
            self.assertEqual(model.search_count(domain), count)
        self.assertEqual(found.ids, expected.ids, f"{domain}")
        return found

    def domains(self, text):
        spell = ["|", ("lumq_full_spell", "ilike", text), ("lumq_simple_spell", "ilike", text)]
        return {
            "the search view": search_domain(self.env, "spell.test.item", "name", text),
            "spells": spell,
            "negated": ["!"] + spell,
            "not ilike": ["&", ("lumq_full_spell", "not ilike", text),
                          ("lumq_simple_spell", "not ilike", text)],
            "beside another field": ["&", ("name", "!=", False), "|", ("id", "<", 0)] + spell,
        }

    def test_every_text_finds_the_same_records(self):
        if on_postgresql(self.cr):
            settings = "SELECT current_setting('enable_seqscan'), " \
                       "current_setting('max_parallel_workers_per_gather')"
            self.cr.execute(settings)
            before = self.cr.fetchone()
            rewritten = self.Item._spell_domain_for_sql([("lumq_full_spell", "ilike", "zs")])
            self.assertEqual([leaf[:2] for leaf in rewritten[2:4]],
                             [("lumq_full_spell", "like")] * 2)
            # the planner settings that the search of the rows with capitals
            # changes are given back
            self.cr.execute(settings)
            self.assertEqual(self.cr.fetchone(), before)
        found_any = set()
        for text in TEXTS:
            for kind, domain in self.domains(text).items():
                with self.subTest(text=text, kind=kind):
                    found = self.assert_same(self.Item, domain)
                    if kind == "spells":
                        found_any.update(found.ids)
        # the texts reach the Latin names and the Chinese ones alike
        self.assertTrue({item.id for item in self.items if item.name in (
            "张三", "John Smith", "JOHN", "50% off", "a_b", "周 zs")} <= found_any)

    def test_a_table_without_a_valid_index_is_searched_as_the_orm_does(self):
        domain = self.domains("zs")["spells"]
        if on_postgresql(self.cr):
            self.assertNotEqual(self.Item._spell_domain_for_sql(domain), domain)
            for index in spell_sql.cased_indexes(self.Item._table):
                with self.subTest(index=index.name):
                    # left invalid by a concurrent build cut short:
                    # PostgreSQL does not keep it up to date, so it counts as
                    # missing
                    leave_index_invalid(self.cr, index)
                    self.assertEqual(self.Item._spell_domain_for_sql(domain), domain)
                    self.assert_same(self.Item, domain)
                    # the next registry load builds it anew
                    self.env["ir.model"]._register_hook()
                    self.assertIs(spell_sql.index_state(self.cr, index.name), True)
                    self.assertNotEqual(self.Item._spell_domain_for_sql(domain), domain)
                    self.assert_same(self.Item, domain)
            self.cr.execute(f'DROP INDEX "{spell_sql.cased_index(self.Item._table).name}"')
        # (reading every row's spells twice to find those with capitals
        # would cost more than ILIKE)
        self.assertEqual(self.Item._spell_domain_for_sql(domain), domain)
        self.assert_same(self.Item, domain)

    def test_an_index_of_an_earlier_version_is_replaced(self):
        if not on_postgresql(self.cr):
            self.skipTest("only PostgreSQL had the index of the rows with capitals")
        table = self.Item._table
        retired = spell_sql.retired_index_names(table)
        for index in spell_sql.cased_indexes(table):
            self.cr.execute(f'DROP INDEX "{index.name}"')
        # as an earlier version left it: the rows with capitals by id alone
        self.cr.execute(f'CREATE INDEX "{retired[0]}" ON "{table}" (id) '
                        f'WHERE {spell_sql.CASED_SPELLS}')
        domain = self.domains("john")["spells"]
        self.assertEqual(self.Item._spell_domain_for_sql(domain), domain)
        self.env["ir.model"]._register_hook()
        self.assertEqual({spell_sql.index_state(self.cr, name) for name in retired}, {None})
        self.assertEqual([spell_sql.index_state(self.cr, index.name)
                          for index in spell_sql.cased_indexes(table)], [True, True])
        self.assertNotEqual(self.Item._spell_domain_for_sql(domain), domain)
        self.assert_same(self.Item, domain)

    def test_spells_too_long_for_the_index_that_carries_them(self):
        # a Latin word and 600 Chinese characters: spells of over 3,000 bytes
        item = self.Item.create({"name": "ACME " + "张伟王小明" * 120})
        for text in ("acme", "ACME", "Acme", "wei", "WEI"):
            with self.subTest(text=text):
                for domain in self.domains(text).values():
                    self.assert_same(self.Item, domain)
                self.assertIn(item, self.assert_same(self.Item, self.domains(text)["spells"]))
        if on_postgresql(self.cr):
            # found among the rows with capitals, not left to ILIKE
            rewritten = self.Item._spell_domain_for_sql([("lumq_full_spell", "ilike", "acme")])
            self.assertIn(("id", "in", [item.id]), rewritten)

    def test_records_with_capitals_beyond_the_limit(self):
        for limit in (0, 1):
            with self.subTest(limit=limit), mock.patch.object(
                    type(self.Item), "_spell_cased_limit", limit):
                for text in ("john", "JO", "_", "zs"):
                    for domain in self.domains(text).values():
                        self.assert_same(self.Item, domain)

    def test_spells_changed_in_this_transaction(self):
        # the spells still in the cache are searched as the ORM searches them
        item = self.items.filtered(lambda item: item.name == "张伟")
        item.name = "Zhang WEI"
        for text in ("wei", "WEI", "zhang w", "G W"):
            found = self.assert_same(self.Item, self.domains(text)["spells"])
            self.assertIn(item, found)

    def test_readers_outside_the_source_groups(self):
        Folder = self.env["spell.test.folder"]
        Folder.create([{"name": name, "secret": name} for name in NAMES if name])
        self.enable("spell.test.folder", "secret")
        user = self.env["res.users"].create({
            "name": "Reader", "login": "lumq_cost_reader",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id])],
        })
        for model in (Folder, Folder.with_user(user)):
            for text in ("zs", "JOHN", "%", "张"):
                for kind, domain in self.domains(text).items():
                    if kind != "the search view":
                        with self.subTest(user=model.env.uid, text=text, kind=kind):
                            self.assert_same(model, domain)
        # the reader finds nothing through the spells, as before
        self.assertFalse(Folder.with_user(user).search([("lumq_full_spell", "ilike", "zhang")]))
        self.assertTrue(Folder.search([("lumq_full_spell", "ilike", "zhang")]))

    def test_name_search(self):
        for text in ("zs", "John", "%"):
            with self.subTest(text=text):
                found = self.Item.name_search(text, limit=100)
                with self.as_it_was(self.Item):
                    self.assertEqual(found, self.Item.name_search(text, limit=100))
