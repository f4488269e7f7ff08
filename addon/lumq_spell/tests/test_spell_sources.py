"""Spells follow their source whatever kind of field it is, and show nobody
what the source would not show them."""
from odoo.exceptions import AccessError, ValidationError
from odoo.tests.common import tagged

from .common import LISI, SPELL_FIELDS, ZHANG, SpellCase, on_postgresql, spells, web_search


@tagged("post_install", "-at_install")
class TestSpellsFollowTheirSource(SpellCase):

    def test_a_linked_record_renamed(self):
        partner = self.env["res.partner"].create({"name": "张三"})
        record = self.env["spell.test.record"].create({"name": "x", "partner_id": partner.id})
        self.enable("spell.test.record", "partner_id")
        self.assertEqual(spells(record), [ZHANG])
        partner.name = "李四"
        self.assertEqual(spells(record), [LISI])
        record.partner_id = self.env["res.partner"].create({"name": "张三"})
        self.assertEqual(spells(record), [ZHANG])

    def test_a_stored_computed_source_recomputed_by_the_orm(self):
        Folder = self.env["spell.test.folder"]
        parent = Folder.create({"name": "张三"})
        child = Folder.create({"name": "李四", "parent_id": parent.id})
        self.enable("spell.test.folder")
        self.assertEqual(spells(child), [("zhangsan/lisi", "zs/ls", "Z")])
        # the child's path is recomputed by the ORM, without a write of it
        parent.name = "李四"
        self.env.flush_all()
        self.assertEqual(child.complete_name, "李四/李四")
        self.assertEqual(spells(child), [("lisi/lisi", "ls/ls", "L")])
        child.invalidate_recordset()
        self.assertEqual(spells(child), [("lisi/lisi", "ls/ls", "L")])

    def test_a_translatable_source_is_spelled_in_chinese(self):
        if not on_postgresql(self.cr):
            self.skipTest("the stand-in stores one value per field, with no translations")
        self.env["res.lang"]._activate_lang("zh_CN")
        folder = self.env["spell.test.folder"].with_context(lang="en_US").create({"label": "张三"})
        self.enable("spell.test.folder", "label")
        self.assertEqual(spells(folder), [ZHANG])
        folder.with_context(lang="zh_CN").label = "李四"
        self.assertEqual(spells(folder), [LISI])
        # whoever writes last, the spells are those of the Chinese text
        folder.with_context(lang="en_US").label = "王五"
        self.assertEqual(spells(folder), [LISI])
        created = self.env["spell.test.folder"].with_context(lang="zh_CN").create({"label": "张三"})
        self.assertEqual(spells(created), [ZHANG])


@tagged("post_install", "-at_install")
class TestSpellsShowWhatTheSourceShows(SpellCase):

    def test_the_spells_of_a_restricted_source_are_restricted_alike(self):
        folder = self.env["spell.test.folder"].create({"name": "公开", "secret": "张三"})
        self.enable("spell.test.folder", "secret")
        self.assertEqual(spells(folder), [ZHANG])
        Folder = self.env["spell.test.folder"]
        for name in SPELL_FIELDS:
            self.assertEqual(Folder._fields[name].groups, "base.group_system")
        user = self.env["res.users"].create({
            "name": "Reader", "login": "lumq_reader",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id])],
        })
        as_user = folder.with_user(user)
        if on_postgresql(self.cr):
            # (the stand-in has no access rights on fields)
            self.assertNotIn("lumq_full_spell", as_user.fields_get())
            with self.assertRaises(AccessError):
                as_user.read(["lumq_full_spell"])
        # the search view matches the spells for those who may read them,
        # and goes on working for the others, by the name alone
        other = self.env["spell.test.folder"].create({"name": "zs 文件夹"})
        self.assertEqual(self.web_search("spell.test.folder", "name", "zs"), folder | other)
        Folder = self.env["spell.test.folder"].with_user(user)
        self.assertEqual(web_search(Folder.env, "spell.test.folder", "name", "zs"),
                         other.with_user(user))
        domain = ["|", ("complete_name", "ilike", "zs"), ("lumq_full_spell", "ilike", "zhang")]
        self.assertEqual(Folder.search(domain), other.with_user(user))
        self.assertEqual(Folder.search([("lumq_simple_spell", "not ilike", "zs")]),
                         Folder.search([]))
        # a source that everyone may read gives spells that everyone may read
        config = self.env["lumq_spell.config"].search([("model_name", "=", "spell.test.folder")])
        config.spell_field_id = self.field_id("spell.test.folder", "name")
        self.assertFalse(self.env["spell.test.folder"]._fields["lumq_full_spell"].groups)
        self.assertEqual(as_user.read(["lumq_full_spell"])[0]["lumq_full_spell"], "gongkai")

    def test_a_source_that_lists_several_records_is_refused(self):
        # its names would show each reader the records they may not read
        with self.assertRaises(ValidationError) as refused:
            self.enable("spell.test.folder", "tag_ids")
        self.assertIn("tag_ids", str(refused.exception))
