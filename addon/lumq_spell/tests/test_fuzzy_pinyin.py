"""Fuzzy pinyin: the configuration's option, off by default, that finds what
people type without telling apart z and zh, n and l, -n and -ng ..."""
from odoo.addons.lumq_spell.models import spell_fuzzy
from odoo.tests.common import BaseCase, tagged

from .common import SpellCase, spells

ALL = " ".join(spell_fuzzy.PAIRS)

PEOPLE = ["张三", "赞三", "李四", "陈七", "方芳", "黄明", "王五", "施星", "Bob"]

# what each query finds among PEOPLE, with every pair and with none
FOUND = {
    # exact: what the query finds without the option comes first
    "zhangsan": ({"张三", "赞三"}, {"张三"}),
    "zansan": ({"张三", "赞三"}, {"赞三"}),
    "zs": ({"张三", "赞三"}, {"张三", "赞三"}),
    "nisi": ({"李四"}, set()),
    # within a spell, as every query matches: zansan holds ns
    "ns": ({"李四", "赞三", "张三"}, {"赞三"}),
    "cenqi": ({"陈七"}, set()),
    "hanghang": ({"方芳"}, set()),
    "fuanming": ({"黄明"}, set()),
    "wanwu": ({"王五"}, set()),
    "sixin": ({"施星"}, set()),
    "bob": ({"Bob"}, {"Bob"}),
    "qqq": (set(), set()),
}


@tagged("post_install", "-at_install")
class TestFolding(BaseCase):

    def test_pairs(self):
        # every fuzzy spelling of a text folds to one form
        for text in ("zhangsan", "zangsan", "zhansan", "zansan"):
            self.assertEqual(spell_fuzzy.fold(text, ALL), "zansan")
        cases = {
            "zh": [("zhangsan", "zangsan"), ("zizhu", "zizu")],
            "ch": [("chenqi", "cenqi")],
            "sh": [("shixing", "sixing")],
            "l": [("lisi", "nisi"), ("liling", "nining")],
            "f": [("fangfang", "hanghang")],
            # an/ang, en/eng, in/ing, ian/iang, uan/uang; ong stays
            "ng": [("wangwu", "wanwu"), ("zheng", "zhen"), ("xingxing", "xinxin"),
                   ("xiangjiang", "xianjian"), ("huang", "huan"), ("dongfang", "dongfan"),
                   # before a vowel the g may begin the next syllable
                   ("zengguo", "zenguo"), ("zenguo", "zenguo"), ("xingan", "xingan")],
        }
        for key, pairs in cases.items():
            for text, folded in pairs:
                with self.subTest(key=key, text=text):
                    self.assertEqual(spell_fuzzy.fold(text, key), folded)
        # the f/h pair does not make a zh, ch or sh that would fold again
        self.assertEqual(spell_fuzzy.fold("zfa", "zh f"), "zha")
        self.assertEqual(spell_fuzzy.fold("zhangsan", ""), "zhangsan")
        self.assertEqual(spell_fuzzy.pairs_of("ng zh x"), "zh ng")
        self.assertEqual(spell_fuzzy.pairs_of(["l", "f"]), "l f")


@tagged("post_install", "-at_install")
class TestFuzzyPinyin(SpellCase):

    def setUp(self):
        super().setUp()
        self.people = self.env["res.partner"].create([{"name": name} for name in PEOPLE])

    def found(self, text):
        return self.names_found(self.people, text)

    def name_searched(self, text):
        return self.names_name_searched(self.people, text)

    def test_queries(self):
        config = self.enable("res.partner")
        off = {text: self.found(text) for text in FOUND}
        self.assertEqual(off, {text: exact for text, (_fuzzy, exact) in FOUND.items()})
        arch_off = self.env["res.partner"].get_view(view_type="search")["arch"]
        stored = spells(self.people)

        config.fuzzy_pinyin = True
        self.assertEqual(self.env["ir.model"]._get("res.partner").spell_fuzzy_pairs, ALL)
        self.assertIn("lumq_spell_fuzzy", self.env["res.partner"].get_view(view_type="search")["arch"])
        self.assertEqual({text: self.found(text) for text in FOUND},
                         {text: fuzzy for text, (fuzzy, _exact) in FOUND.items()})
        for text, (fuzzy, exact) in FOUND.items():
            with self.subTest(text=text):
                found = self.name_searched(text)
                self.assertEqual(set(found), fuzzy)
                # what the query finds as typed comes first
                self.assertEqual(set(found[:len(exact)]), exact)
        # 张三 comes before 赞三 in the model's own order
        self.assertEqual(self.name_searched("zansan"), ["赞三", "张三"])
        self.assertEqual(self.name_searched("zhangsan"), ["张三", "赞三"])
        # within a limit too
        ids = [id_ for id_, _name in self.env["res.partner"].name_search(
            "zansan", [("id", "in", self.people.ids)], limit=1)]
        self.assertEqual(self.env["res.partner"].browse(ids).mapped("name"), ["赞三"])
        # the designed spells stay as they are
        self.assertEqual(spells(self.people), stored)
        folded = dict(zip(PEOPLE, self.people.mapped("lumq_spell_folded")))
        self.assertEqual(folded["张三"], "zansan zs")
        self.assertEqual(folded["李四"], "nisi ns")
        self.assertEqual(folded["Bob"], "bob b")

        with self.subTest("one pair"):
            config.write({"fuzzy_" + key: key == "l" for key in spell_fuzzy.PAIRS})
            self.assertEqual(self.env["ir.model"]._get("res.partner").spell_fuzzy_pairs, "l")
            self.assertEqual(self.found("nisi"), {"李四"})
            self.assertEqual(self.found("zansan"), {"赞三"})
            self.assertEqual(dict(zip(PEOPLE, self.people.mapped("lumq_spell_folded")))["张三"],
                             "zhangsan zs")

        with self.subTest("pairs changed while the option is off, with the order"):
            config.write({"fuzzy_pinyin": False})
            config.write({"fuzzy_ng": True, "pinyin_order": True})
            self.assertTrue(self.env["ir.model"]._get("res.partner").spell_pinyin_order)
            self.assertFalse(self.env["ir.model"]._get("res.partner").spell_fuzzy_pairs)

        with self.subTest("off"):
            config.write({"fuzzy_pinyin": False, "pinyin_order": False})
            self.assertFalse(self.env["ir.model"]._get("res.partner").spell_fuzzy_pairs)
            self.assertEqual(self.env["res.partner"].get_view(view_type="search")["arch"], arch_off)
            self.assertEqual(set(self.people.mapped("lumq_spell_folded")), {False})
            self.assertEqual({text: self.found(text) for text in FOUND}, off)

    def test_with_search_as_typed(self):
        self.enable("res.partner", search_as_typed=True, fuzzy_pinyin=True)
        person = self.env["res.partner"].create({"name": "曾国藩"})
        # the other readings are folded too: 曾 as the surname zeng
        self.assertEqual(person.lumq_spell_folded.split()[:4], ["cenguohan", "cgh", "zenguohan", "zgh"])
        for text in ("Zen Guo Han", "zenguofan", "cengguofan", "zgh"):
            with self.subTest(text=text):
                self.assertIn(person, self.web_search("res.partner", "name", text))
        self.assertEqual(self.found("Zan San"), {"张三", "赞三"})

    def test_operators_and_new_records(self):
        self.enable("res.partner", fuzzy_pinyin=True)
        Partner = self.env["res.partner"]

        def names(domain):
            return set((Partner.search(domain) & self.people).mapped("name"))

        self.assertEqual(names([("lumq_spell_fuzzy", "=", "zansan")]), {"张三", "赞三"})
        self.assertEqual(names([("lumq_spell_fuzzy", "=", "zan")]), set())
        self.assertEqual(names([("lumq_spell_fuzzy", "not ilike", "zansan")]),
                         set(PEOPLE) - {"张三", "赞三"})
        # a record created or renamed gets its folded spells at once
        person = Partner.create({"name": "刘翔"})
        self.assertEqual(person.lumq_spell_folded, "niuxian nx")
        person.name = "冯"
        self.assertIn(person, Partner.search([("lumq_spell_fuzzy", "ilike", "heng")]))
