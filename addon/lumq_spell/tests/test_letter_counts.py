"""The letter bar's counts: how many records of the current search each
letter has, counted no further than the list's pager counts."""
from unittest.mock import patch

from odoo.addons.lumq_spell.models import spell_sql
from odoo.tests.common import tagged

from .common import SpellCase, search_domain

NAMES = ["张三", "赵六", "李四", "王五", "阿明", "陈七", "周八", "Bob", "007"]
# the keys of NAMES, with the count of each
KEYS = {"Z": 3, "L": 1, "W": 1, "A": 1, "C": 1, "B": 1, "#": 1}


@tagged("post_install", "-at_install")
class TestLetterCounts(SpellCase):

    def setUp(self):
        super().setUp()
        self.people = self.env["res.partner"].create([{"name": name} for name in NAMES])
        self.domain = [("id", "in", self.people.ids)]
        self.config = self.enable("res.partner")
        self.Partner = self.env["res.partner"]

    def counts(self, limit, domain=None, **kwargs):
        return self.Partner.lumq_spell_letter_counts(self.domain if domain is None else domain,
                                                     limit, **kwargs)

    def has_first_index(self):
        return bool(spell_sql.index_state(self.cr, spell_sql.first_index_name("res_partner")))

    def test_counts_within_and_past_the_limit(self):
        with self.subTest("within the limit: every key's count, as a count by key finds it"):
            counts = self.counts(80)
            self.assertEqual(list(counts), list("ABCDEFGHIJKLMNOPQRSTUVWXYZ#"))
            self.assertEqual({key: count for key, count in counts.items() if count}, KEYS)
            for key, count in counts.items():
                first = [("lumq_first_spell", "=", key)] if key != "#" else [
                    "|", ("lumq_first_spell", "=", False),
                    ("lumq_first_spell", "not in", list("ABCDEFGHIJKLMNOPQRSTUVWXYZ"))]
                self.assertEqual(self.Partner.search_count(self.domain + first), count, key)
            self.assertEqual(self.counts(len(NAMES))["Z"], 3)
        with self.subTest("a search narrows them"):
            typed = search_domain(self.env, "res.partner", "name", "zs")
            self.assertEqual(self.counts(80, self.domain + typed),
                             {**dict.fromkeys(counts, 0), "Z": 1})
            self.assertEqual(set(self.counts(80, [("id", "=", 0)]).values()), {0})

        with self.subTest("past the limit, without the index of first spells: nothing dimmed"):
            self.assertFalse(self.has_first_index())
            self.assertEqual(set(self.counts(3).values()), {None})

        self.config.show_letter_counts = True
        self.assertTrue(self.has_first_index())
        with self.subTest("past the limit, with the index: only the letters without records"):
            counts = self.counts(3)
            self.assertEqual({key for key, count in counts.items() if count is None}, set(KEYS))
            self.assertEqual({count for key, count in counts.items() if key not in KEYS}, {0})
            # within the limit the counts are exact as before
            self.assertEqual(self.counts(len(NAMES))["Z"], 3)
            # a pager that counted past the limit: every key is looked at
            self.assertEqual(self.counts(len(NAMES), beyond=True), counts)
        with self.subTest("a key whose rows looked at are not of the search"):
            others = self.domain + [("lumq_first_spell", "!=", "Z")]
            self.assertEqual(self.counts(1, others)["Z"], 0)
            with patch.object(type(self.Partner), "_spell_letter_probe_rows", 1):
                # past its first row, Z may still have records of the search
                self.assertIsNone(self.counts(1, others)["Z"])
                self.assertEqual(self.counts(1, others)["Q"], 0)
        with self.subTest("a record without a first spell counts under #"):
            self.people[-1].name = "007 Bond"
            self.env.cr.execute("UPDATE res_partner SET lumq_first_spell = NULL WHERE id = %s",
                                [self.people[-1].id])
            self.env.invalidate_all()
            self.assertEqual(self.counts(80)["#"], 1)
            self.assertIsNone(self.counts(3, self.domain[:] + [("name", "!=", "Bob")])["#"])

        self.config.show_letter_counts = False
        self.assertFalse(self.has_first_index())

    def test_bad_limits_and_restricted_sources(self):
        with self.assertRaises(Exception):
            self.counts(0)
        folder = self.env["spell.test.folder"].create({"name": "公开", "secret": "张三"})
        self.enable("spell.test.folder", "secret")
        Folder = self.env["spell.test.folder"]
        self.assertEqual(Folder.lumq_spell_letter_counts([("id", "=", folder.id)], 80)["Z"], 1)
        user = self.env["res.users"].create({
            "name": "Reader", "login": "lumq_letter_reader",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id])],
        })
        # the first letter of a text the user may not read would tell it
        self.assertEqual(Folder.with_user(user).lumq_spell_letter_counts([], 80), {})
