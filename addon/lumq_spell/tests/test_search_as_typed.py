"""Search as people type: the configuration's option, off by default, that
reads queries as they are typed and finds the other readings of names."""
import time

from odoo.exceptions import UserError
from odoo.tests.common import tagged
from odoo.tools import sql

from .common import SpellCase, spells

PEOPLE = [
    "张三", "张三丰", "李小龙", "欧阳娜娜", "Alice 陈", "西安", "先",
    "曾国藩", "单雄信", "仇英", "解缙", "区志强", "朴槿惠", "查良镛", "覃明", "盖聂",
    "吕布", "Müller",
    # ideographs of CJK extensions H and I, which pypinyin has no reading for
    "ABC\U00031350", "ABC\U0002EBF0",
]

# what each query finds among PEOPLE with the option on
AS_TYPED = {
    "zs": {"张三", "张三丰"},
    "ZS": {"张三", "张三丰"},
    "zhangsan": {"张三", "张三丰"},
    "zhangs": {"张三", "张三丰"},
    "Zhang San": {"张三", "张三丰"},
    "zhang san": {"张三", "张三丰"},
    "z s": {"张三", "张三丰"},
    "张s": {"张三", "张三丰"},
    "zhang三": {"张三", "张三丰"},
    "张三": {"张三", "张三丰"},
    "zsf": {"张三丰"},
    "lxl": {"李小龙"},
    "li xiao long": {"李小龙"},
    "Li Xiao-Long": {"李小龙"},
    "oynn": {"欧阳娜娜"},
    # A query matches within any stored reading, as the plain spells match
    # today: 仇英 read chou yang (英 has the rare reading yang) holds "ouyang".
    "ouyang": {"欧阳娜娜", "仇英"},
    "chen": {"Alice 陈"},
    "ac": {"Alice 陈"},
    "alicechen": {"Alice 陈"},
    "Alice Chen": {"Alice 陈"},
    "alice陈": {"Alice 陈"},
    # the surname reading, and pypinyin's plain one
    "zgf": {"曾国藩"},
    "zengguofan": {"曾国藩"},
    "cengguofan": {"曾国藩"},
    "cgf": {"曾国藩"},
    "shanxiongxin": {"单雄信"},
    "qiuying": {"仇英"},
    "xiejin": {"解缙"},
    "ouzhiqiang": {"区志强"},
    "ozq": {"区志强"},
    "piaojinhui": {"朴槿惠"},
    "zhaliangyong": {"查良镛"},
    "zly": {"查良镛"},
    "qinming": {"覃明"},
    "genie": {"盖聂"},
    # Typing "xian", people may mean 西安 or 先, as an input method offers
    # both: both are found.  Apostrophes do not matter either, so "xi'an"
    # finds them too (the syllables of a stored spell are not marked).
    "xian": {"西安", "先"},
    "xi'an": {"西安", "先"},
    "XI AN": {"西安", "先"},
    "xa": {"西安"},
    # u with diaeresis: input methods type it as v or as itself
    "lvbu": {"吕布"},
    "lübu": {"吕布"},
    "LÜ BU": {"吕布"},
    "lü": {"吕布"},
    "lb": {"吕布"},
    "müller": {"Müller"},
    # a Chinese character without a reading is a word of its own
    "a\U00031350": {"ABC\U00031350"},
    "a\U0002EBF0": {"ABC\U0002EBF0"},
    # nothing to read: no spell is matched
    "'": set(),
    "qqq": set(),
}

# what the same queries find with the option off: today's matching of the
# plain full and simple spells, as they are stored
AS_STORED = {
    "zs": {"张三", "张三丰"},
    "ZS": {"张三", "张三丰"},
    "zhangsan": {"张三", "张三丰"},
    "zhangs": {"张三", "张三丰"},
    "Zhang San": set(),
    "zhang san": set(),
    "z s": set(),
    "张s": set(),
    "zhang三": set(),
    "张三": {"张三", "张三丰"},
    "li xiao long": set(),
    "oynn": {"欧阳娜娜"},
    "chen": {"Alice 陈"},
    "ac": set(),
    "alicechen": set(),
    "zgf": set(),
    "zengguofan": set(),
    "cgf": {"曾国藩"},
    "shanxiongxin": set(),
    "xian": {"西安", "先"},
    "xi'an": set(),
}

# surnames whose reading differs from the everyday one, one syllable per
# character: a person named with the surname and 小明 is found by the surname
# reading and by its initials
SURNAMES = [
    ("欧阳", "ou yang"), ("尉迟", "yu chi"), ("万俟", "mo qi"), ("司马", "si ma"), ("诸葛", "zhu ge"),
    ("上官", "shang guan"), ("东方", "dong fang"), ("皇甫", "huang fu"), ("令狐", "ling hu"),
    ("公孙", "gong sun"), ("长孙", "zhang sun"), ("慕容", "mu rong"), ("宇文", "yu wen"),
    ("夏侯", "xia hou"), ("澹台", "tan tai"), ("单于", "chan yu"),
    ("曾", "zeng"), ("单", "shan"), ("仇", "qiu"), ("解", "xie"), ("区", "ou"), ("朴", "piao"),
    ("查", "zha"), ("覃", "qin"), ("盖", "ge"), ("员", "yun"), ("缪", "miao"), ("乐", "yue"),
    ("召", "shao"), ("翟", "zhai"), ("种", "chong"), ("繁", "po"), ("宿", "su"), ("秘", "bi"),
    ("隗", "wei"), ("冼", "xian"), ("佘", "she"), ("洗", "xian"), ("过", "guo"), ("句", "gou"),
    ("折", "she"), ("华", "hua"), ("任", "ren"), ("沈", "shen"), ("都", "du"), ("重", "chong"),
    ("薄", "bo"), ("能", "nai"), ("教", "jiao"), ("燕", "yan"), ("纪", "ji"), ("阚", "kan"),
    ("芮", "rui"), ("褚", "chu"),
]


@tagged("post_install", "-at_install")
class TestSearchAsTyped(SpellCase):

    def setUp(self):
        super().setUp()
        self.people = self.env["res.partner"].create([{"name": name} for name in PEOPLE])

    def found(self, text):
        return self.names_found(self.people, text)

    def name_searched(self, text):
        return set(self.names_name_searched(self.people, text))

    def search_arch(self):
        return self.env["res.partner"].get_view(view_type="search")["arch"]

    def test_queries_as_typed(self):
        self.enable("res.partner", search_as_typed=True)
        self.assertEqual({text: self.found(text) for text in AS_TYPED}, AS_TYPED)
        self.assertEqual({text: self.name_searched(text) for text in AS_TYPED}, AS_TYPED)

    def test_option_off_keeps_todays_results(self):
        config = self.enable("res.partner")
        self.assertFalse(config.search_as_typed)
        self.assertEqual({text: self.found(text) for text in AS_STORED}, AS_STORED)
        self.assertEqual({text: self.name_searched(text) for text in AS_STORED}, AS_STORED)

    def test_surname_readings(self):
        people = self.env["res.partner"].create(
            [{"name": surname + "小明"} for surname, _reading in SURNAMES])
        self.enable("res.partner", search_as_typed=True)
        for person, (surname, reading) in zip(people, SURNAMES):
            syllables = reading.split()
            initials = "".join(syllable[0] for syllable in syllables) + "xm"
            for text in ("".join(syllables) + "xiaoming", reading + " xiao ming", initials):
                with self.subTest(surname=surname, text=text):
                    self.assertIn(person, self.web_search("res.partner", "name", text))
                    self.assertIn(person.id, [id_ for id_, _name in
                                              self.env["res.partner"].name_search(text, limit=1000)])

    def test_stored_spells(self):
        config = self.enable("res.partner", search_as_typed=True)
        variants = dict(zip(PEOPLE, self.people.mapped("lumq_spell_variants")))
        # the plain reading first, as lumq_full_spell holds it, then the others
        self.assertEqual(variants["张三"], "zhangsan zs")
        self.assertEqual(variants["Alice 陈"], "alicechen ac")
        self.assertEqual(variants["曾国藩"].split()[:4], ["cengguofan", "cgf", "zengguofan", "zgf"])
        self.assertEqual(variants["单雄信"].split()[:4], ["danxiongxin", "dxx", "shanxiongxin", "sxx"])
        # phrase readings that pypinyin gets right come first, and stay
        places = self.env["res.partner"].create([{"name": n} for n in ("银行", "重庆", "长大")])
        self.assertEqual([v.split()[:2] for v in places.mapped("lumq_spell_variants")],
                         [["yinhang", "yh"], ["chongqing", "cq"], ["zhangda", "zd"]])
        # the three spells are those of the plain reading, with the option on or off
        on = spells(self.people)
        config.search_as_typed = False
        self.assertEqual(spells(self.people), on)
        self.assertEqual(spells(self.people.filtered(lambda p: p.name == "曾国藩")),
                         [("cengguofan", "cgf", "C")])

    def test_switching_the_option(self):
        others = self.env["spell.test.record"].create([{"name": "张三"}, {"name": "曾国藩"}])
        self.enable("spell.test.record", search_as_typed=True)
        config = self.enable("res.partner")
        arch_off = self.search_arch()
        stored = spells(self.people)
        self.assertNotIn("lumq_spell_typed", arch_off)
        self.assertEqual(set(self.people.mapped("lumq_spell_variants")), {False})

        with self.subTest("on"):
            config.search_as_typed = True
            self.assertEqual(self.env["ir.model"]._get("res.partner").spell_search_as_typed, True)
            self.assertTrue(type(self.env["res.partner"])._spell_search_as_typed)
            self.assertIn("lumq_spell_typed", self.search_arch())
            self.assertTrue(all(self.people.mapped("lumq_spell_variants")))
            self.assertEqual(spells(self.people), stored)
            self.assertEqual(self.found("Zhang San"), {"张三", "张三丰"})

        with self.subTest("off again"):
            config.search_as_typed = False
            self.assertFalse(self.env["ir.model"]._get("res.partner").spell_search_as_typed)
            self.assertFalse(type(self.env["res.partner"])._spell_search_as_typed)
            self.assertEqual(self.search_arch(), arch_off)
            self.assertEqual(set(self.people.mapped("lumq_spell_variants")), {False})
            self.assertEqual(spells(self.people), stored)
            self.assertEqual(self.found("Zhang San"), set())

        # the other enabled model kept its option and its spells
        self.assertTrue(type(self.env["spell.test.record"])._spell_search_as_typed)
        self.assertEqual(others.mapped("lumq_spell_variants"),
                         ["zhangsan zs", "cengguofan cgf zengguofan zgf"])

    def test_disabling_drops_the_stored_variants(self):
        config = self.enable("spell.test.record", search_as_typed=True)
        table = self.env["spell.test.record"]._table
        self.assertTrue(sql.column_exists(self.cr, table, "lumq_spell_variants"))
        config.unlink()
        self.upkeep_after_the_drop_delay()
        self.assertFalse(sql.column_exists(self.cr, table, "lumq_spell_variants"))
        self.assertNotIn("lumq_spell_typed", self.env["spell.test.record"]._fields)
        self.assertFalse(self.env["ir.model.fields"].search([
            ("model", "=", "spell.test.record"), ("name", "like", "lumq_"),
        ]))
        self.assertFalse(self.env["ir.model"]._get("spell.test.record").spell_search_as_typed)

    def test_operators(self):
        self.enable("res.partner", search_as_typed=True)
        Partner = self.env["res.partner"]

        def names(domain):
            return set((Partner.search(domain) & self.people).mapped("name"))

        self.assertEqual(names([("lumq_spell_typed", "=", "Zhang San")]), {"张三"})
        self.assertEqual(names([("lumq_spell_typed", "=ilike", "z s")]), {"张三"})
        self.assertEqual(names([("lumq_spell_typed", "=", "zhang")]), set())
        self.assertEqual(names([("lumq_spell_typed", "=", "lü bu")]), {"吕布"})
        self.assertEqual(names([("lumq_spell_typed", "=", "lvbu")]), {"吕布"})
        self.assertEqual(names([("lumq_spell_typed", "not ilike", "zhang san")]),
                         set(PEOPLE) - {"张三", "张三丰"})
        self.assertEqual(names([("lumq_spell_typed", "ilike", "")]), set(PEOPLE))
        with self.assertRaises(UserError):
            Partner.search([("lumq_spell_typed", "in", ["zs"])])

    def test_bounds(self):
        config = self.enable("spell.test.record", search_as_typed=True)
        Record = self.env["spell.test.record"]
        # every character of this text has several readings
        text = "长行重乐单" * 400
        start = time.process_time()
        record = Record.create({"name": text})
        variants = record.lumq_spell_variants.split()
        # at most 16 readings, each a full and a simple spell; the plain one
        # covers the transliterated start of the text, the others its first
        # characters
        self.assertLessEqual(len(variants), 2 * Record._spell_variant_limit)
        limit = Record._spell_text_limit
        self.assertEqual(variants[0], record.lumq_full_spell)
        self.assertEqual(len(variants[1]), limit)
        self.assertTrue(all(len(v) <= 6 * Record._spell_variant_text_limit for v in variants[2:]))

        # a query of any length has at most _spell_query_readings readings
        readings = Record._spell_query_readings_of(text * 5)
        self.assertLessEqual(len(readings), Record._spell_query_readings)
        self.assertEqual(len(readings), len(set(readings)))
        self.assertEqual(Record.search([("lumq_spell_typed", "ilike", text * 5)]), record)
        self.assertEqual(Record.search([("lumq_spell_typed", "ilike", record.lumq_full_spell[:3000])]),
                         record)
        self.assertFalse(Record.search([("lumq_spell_typed", "ilike", "x" + text)]))
        self.assertLess(time.process_time() - start, 10)
        self.assertTrue(config.search_as_typed)


    def test_model_enabled_before_the_variants_column_gets_it(self):
        self.env["spell.test.record"].create({"name": "曾国藩"})
        self.enable("spell.test.record")
        table = self.env["spell.test.record"]._table
        # as a model enabled by an earlier version of the addon
        self.env.flush_all()
        self.cr.execute(f'ALTER TABLE "{table}" DROP COLUMN lumq_spell_variants')
        self.env.invalidate_all()

        self.env["ir.model"]._register_hook()
        self.assertTrue(sql.column_exists(self.cr, table, "lumq_spell_variants"))
        record = self.env["spell.test.record"].search([])
        self.assertEqual(spells(record), [("cengguofan", "cgf", "C")])
        self.assertFalse(record.lumq_spell_variants)
