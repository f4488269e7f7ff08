"""Pinyin order: the configuration's option, off by default, under which an
enabled model lists its records in the order of their full spell."""
import base64
import hashlib
import re

from odoo.addons.lumq_spell.models import spell_sql
from odoo.tests.common import tagged

from .common import SpellCase, on_postgresql

NAMES = ["张三", "李四", "王五", "赵六", "阿明", "陈七", "周八", "Bob"]
# as a phone's address book lists them: Bob among the others by its letters
PINYIN = ["阿明", "Bob", "陈七", "李四", "王五", "张三", "赵六", "周八"]


@tagged("post_install", "-at_install")
class TestPinyinOrder(SpellCase):

    def setUp(self):
        super().setUp()
        self.people = self.env["res.partner"].create([{"name": name} for name in NAMES])
        self.domain = [("id", "in", self.people.ids)]

    def listed(self, model="res.partner", domain=None, **kwargs):
        return self.env[model].search(self.domain if domain is None else domain,
                                      **kwargs).mapped("name")

    def name_searched(self, model="res.partner", domain=None):
        """What a many2one drop-down lists, in its order."""
        found = self.env[model].name_search("", domain if domain is not None else self.domain,
                                            limit=100)
        return [self.env[model].browse(id_).name for id_, _name in found]

    def order_index(self, table):
        """The definition of the table's index of the pinyin order, or None."""
        name = spell_sql.order_index_name(table)
        if on_postgresql(self.cr):
            self.cr.execute("SELECT indexdef FROM pg_indexes WHERE indexname = %s", [name])
        else:
            self.cr.execute("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = %s",
                            [name])
        row = self.cr.fetchone()
        return row[0] if row else None

    def test_lists_drop_downs_and_the_source_column_in_pinyin_order(self):
        Partner = self.env["res.partner"]
        own = self.listed()
        by_name = self.listed(order="name")
        by_name_desc = self.listed(order="name desc")
        config = self.enable("res.partner")
        self.assertFalse(config.pinyin_order)
        with self.subTest("off: the model's order as it was"):
            self.assertEqual(self.listed(), own)
            self.assertEqual(self.listed(order="name"), by_name)
            self.assertEqual(self.listed(order="name desc"), by_name_desc)
            self.assertIsNone(self.order_index(Partner._table))

        config.pinyin_order = True
        self.assertTrue(self.env["ir.model"]._get("res.partner").spell_pinyin_order)
        with self.subTest("lists, kanban views, drop-downs"):
            self.assertEqual(self.listed(), PINYIN)
            # what the web client's lists and kanban views ask for
            self.assertEqual(Partner.search_fetch(self.domain, ["name"]).mapped("name"), PINYIN)
            self.assertEqual(self.listed(limit=3, offset=1), PINYIN[1:4])
            self.assertEqual(self.name_searched(), PINYIN)
            self.assertEqual(self.people.sorted().mapped("name"), PINYIN)
        with self.subTest("the source field's column"):
            self.assertEqual(self.listed(order="name"), PINYIN)
            self.assertEqual(self.listed(order="name asc"), PINYIN)
            self.assertEqual(self.listed(order="name desc"), PINYIN[::-1])
            self.assertEqual(self.listed(order="name desc, id"), PINYIN[::-1])
        with self.subTest("other orders given by a caller stay"):
            self.assertEqual(self.listed(order="id"), NAMES)
            self.assertEqual(self.listed(order="id desc"), NAMES[::-1])
        with self.subTest("a record created in this transaction takes its place"):
            self.env["res.partner"].create({"name": "钱九"})
            self.assertEqual(self.listed(domain=[("name", "in", NAMES + ["钱九"])]),
                             PINYIN[:4] + ["钱九"] + PINYIN[4:])
        with self.subTest("the index of the order"):
            # PostgreSQL writes the key as lower(substr((lumq_full_spell)::text, 1, 200))
            definition = re.sub(r'[()"\s]|::text', "", self.order_index(Partner._table))
            self.assertIn("lowersubstrlumq_full_spell,1,200", definition)
            if on_postgresql(self.cr):
                # the order sorts by the index's very expression, as PostgreSQL
                # writes both (the index may not serve the transaction that
                # made it, so its plan is not asked for here)
                query = Partner._search([], limit=80, order=Partner._order)
                code, params = query.select()
                self.cr.execute("EXPLAIN " + code, params)
                keys = next(row[0] for row in self.cr.fetchall() if "Sort Key:" in row[0])
                sort_keys = re.sub(r'[()"\s]|::text|res_partner\.', "", keys.split("Sort Key:")[1])
                self.assertTrue(sort_keys.startswith("lowersubstrlumq_full_spell,1,200,"), keys)

        config.pinyin_order = False
        with self.subTest("off again"):
            self.assertFalse(self.env["ir.model"]._get("res.partner").spell_pinyin_order)
            self.assertFalse(type(Partner)._spell_pinyin_order)
            self.assertEqual(self.listed(), own)
            self.assertEqual(self.listed(order="name"), by_name)
            self.assertIsNone(self.order_index(Partner._table))

    def test_ties_keep_the_models_own_order(self):
        # spell.test.tag orders by name, descending, and has a name search of its own
        Tag = self.env["spell.test.tag"]
        names = ["张三", "Zhang San", "章三", "zhangsan", "李四", "Bob", "bob", "阿明"]
        tags = Tag.create([{"name": name} for name in names])
        domain = [("id", "in", tags.ids)]
        own = Tag.search(domain)
        self.enable("spell.test.tag", pinyin_order=True)
        # the model's own order within each spell, whatever the spell's case
        expected = [tag.name for tag in sorted(own, key=lambda tag: tag.lumq_full_spell.lower())]
        self.assertEqual(expected[:3], ["阿明", "bob", "Bob"])
        self.assertEqual(self.listed("spell.test.tag", domain), expected)
        self.assertEqual(self.name_searched("spell.test.tag", domain), expected)
        # the column of the source: its own text breaks the ties
        by_column = sorted(tags, key=lambda tag: (tag.lumq_full_spell.lower(), tag.name))
        self.assertEqual(self.listed("spell.test.tag", domain, order="name"),
                         [tag.name for tag in by_column])

    def test_long_spells_and_the_index_of_earlier_versions(self):
        Record = self.env["spell.test.record"]
        table = Record._table
        # what earlier versions indexed: the whole full spell
        self.cr.execute(f'CREATE INDEX "{table}_lumq_spell_order" ON "{table}" (lower(name))')
        config = self.enable("spell.test.record", "name", pinyin_order=True)
        self.env["ir.model"]._register_hook()
        self.assertIsNone(spell_sql.index_state(self.cr, f"{table}_lumq_spell_order"))
        self.assertIsNotNone(self.order_index(table))
        # a thousand characters of many readings: a full spell of thousands
        # of bytes, more than an index entry holds
        text = "".join(chr(0x4E00 + (index * 7919) % 20000) for index in range(1000))
        long_one = Record.create({"name": text})
        Record.flush_model()
        self.assertGreater(len(long_one.lumq_full_spell), 3000)
        near = Record.create([{"name": text + "甲"}, {"name": "阿" + text}])
        # alike in their first 200 characters: in the model's order (by id)
        self.assertEqual(Record.search([("id", "in", (long_one | near).ids)]).ids,
                         [near[1].id, long_one.id, near[0].id])
        # a spell that does not compress, longer than an index entry holds:
        # stored as any other
        noise = "".join(base64.b64encode(hashlib.sha256(b"%d" % index).digest()).decode()
                        for index in range(70))
        self.cr.execute(f'UPDATE "{table}" SET lumq_full_spell = %s WHERE id = %s',
                        [noise, long_one.id])
        config.pinyin_order = False

    def test_the_option_alone_computes_nothing_and_reaches_a_new_registry(self):
        own = self.listed()
        config = self.enable("res.partner")

        def refuse(*args, **kwargs):
            raise AssertionError("switching the order computed the spells")

        self.patch(type(self.env["res.partner"]), "_store_spells", refuse)
        config.pinyin_order = True
        self.assertEqual(self.listed(), PINYIN)
        # another process builds the model's spell class from the marks of ir.model
        self.env["ir.model"]._detach_spell_models(set())
        self.assertFalse(type(self.env["res.partner"])._spell_pinyin_order)
        self.registry.setup_models(self.cr)
        self.assertTrue(type(self.env["res.partner"])._spell_pinyin_order)
        self.assertEqual(self.listed(), PINYIN)
        # other changes of the configuration keep it
        config.write({"show_spell_navbar": False})
        self.assertEqual(self.listed(), PINYIN)
        # deleting the configuration takes the order back
        config.unlink()
        self.assertFalse(self.env["ir.model"]._get("res.partner").spell_pinyin_order)
        self.assertEqual(self.listed(), own)

    def test_no_pinyin_order_for_those_who_may_not_read_the_source(self):
        Folder = self.env["spell.test.folder"]
        folders = Folder.create([{"name": f"f{index}", "secret": name}
                                 for index, name in enumerate(NAMES)])
        self.enable("spell.test.folder", "secret", pinyin_order=True)
        domain = [("id", "in", folders.ids)]
        self.assertEqual(Folder.search(domain).mapped("secret"), PINYIN)
        user = self.env["res.users"].create({
            "name": "Reader", "login": "lumq_order_reader",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id])],
        })
        # the order would tell them what the source does not: the model's own
        self.assertEqual(Folder.with_user(user).search(domain).ids, folders.ids)
