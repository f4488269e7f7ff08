"""What spell search must never do: leave anything behind when it is switched
off, change what a model does on its own, or let one process, user or
record hold up the others."""
from contextlib import contextmanager
from unittest.mock import patch

from odoo import SUPERUSER_ID, api
from odoo.addons.lumq_spell.models import spell_models
from odoo.exceptions import AccessError, UserError, ValidationError
from odoo.tests import tagged
from odoo.tools import sql

from .common import LISI, SPELL_FIELDS, ZHANG, SpellCase, on_postgresql, spells


@tagged("post_install", "-at_install")
class TestSwitchingOff(SpellCase):
    def test_nothing_of_the_spells_stays_behind_a_disabled_model(self):
        config = self.enable("spell.test.record")
        record = self.env["spell.test.record"].create({"name": "张三"})
        config.unlink()
        table = self.env["spell.test.record"]._table

        def columns():
            return [column for column in SPELL_FIELDS if sql.column_exists(self.cr, table, column)]

        # A process that still has the spells (a worker that has not built
        # its registry anew) saves records as before, until every process
        # has left the spells behind.
        self.assertEqual(columns(), list(SPELL_FIELDS))
        self.cr.execute(f"INSERT INTO {table} (name, {', '.join(SPELL_FIELDS)}) "
                        "VALUES ('王五', 'wangwu', 'ww', 'W')")
        self.env["ir.model"]._spell_cron()
        self.assertEqual(columns(), list(SPELL_FIELDS))

        self.upkeep_after_the_drop_delay()
        self.assertFalse(columns())
        self.assertFalse(self.env["ir.model.fields"].search([
            ("model", "=", "spell.test.record"), ("name", "in", SPELL_FIELDS)]))
        self.assertEqual(self.env["spell.test.record"].create({"name": "李四"}).name, "李四")
        # enabling again computes the spells anew
        self.enable("spell.test.record")
        self.assertEqual(spells(record), [ZHANG])

    def test_xml_ids_that_earlier_versions_gave_in_other_modules_go(self):
        Data = self.env["ir.model.data"]
        config_model = self.env["ir.model"]._get("lumq_spell.config")
        stray = Data.create({"module": "spell_test_models", "name": "model_lumq_spell_config",
                             "model": "ir.model", "res_id": config_model.id})
        own = self.env.ref("lumq_spell.model_lumq_spell_config")
        record_model = self.env.ref("spell_test_models.model_spell_test_record")

        self.env["ir.model"]._register_hook()

        self.assertFalse(stray.exists())
        self.assertEqual(own, config_model)
        self.assertTrue(record_model.exists())

    def test_xml_ids_of_other_modules_models_stay(self):
        """Every model inherits base, which this addon extends: the ids of
        a manual model that a customization module holds are that module's
        own, and a registry load keeps them."""
        foo = self.env["ir.model"].create({"name": "Foo", "model": "x_foo"})
        self.registry_changed()
        # Odoo gives a new manual model its field x_name; the stand-in does not
        name = foo.field_id.filtered(lambda field: field.name == "x_name") or \
            self.env["ir.model.fields"].create({
                "model_id": foo.id, "name": "x_name", "field_description": "Name", "ttype": "char",
            })
        ids = self.env["ir.model.data"].create([
            {"module": "studio_customization", "name": "model_x_foo", "model": "ir.model",
             "res_id": foo.id},
            {"module": "studio_customization", "name": "field_x_foo__x_name",
             "model": "ir.model.fields", "res_id": name.id},
        ])

        self.env["ir.model"]._register_hook()

        self.assertEqual(ids.exists(), ids)
        self.assertEqual(self.env.ref("studio_customization.model_x_foo"), foo)


@tagged("post_install", "-at_install")
class TestNameSearch(SpellCase):
    def test_a_model_with_a_name_search_of_its_own_also_finds_by_spell(self):
        Tag = self.env["spell.test.tag"]
        Tag.create([{"name": name} for name in ("张三", "李四", "张三丰", "a / zs", "zsa")])
        self.enable("spell.test.tag")

        def names(found):
            return [name for _id, name in found]

        # by either spell, and by what the model matches itself, in its order
        expected = Tag.search([("name", "in", ["张三", "张三丰", "a / zs", "zsa"])]).mapped("name")
        self.assertEqual(names(Tag.name_search("zs")), expected)
        self.assertEqual(names(Tag.name_search("zs", limit=2)), expected[:2])
        self.assertEqual(set(names(Tag.name_search("zhangsan"))), {"张三", "张三丰"})
        self.assertEqual(names(Tag.name_search("zs", args=[("name", "!=", "张三")])),
                         [name for name in expected if name != "张三"])
        self.assertEqual(names(Tag.name_search("x / lisi")), [])


class OtherProcessCase(SpellCase):
    @contextmanager
    def other_process(self):
        """The environment of another process's transaction, committed at
        the end unless its body raises or rolls back.  It waits for a lock at
        most a few seconds, so that a lock that this test's own transaction
        holds fails the test instead of hanging it."""
        with self.registry.cursor() as cr:
            cr.execute("SET LOCAL lock_timeout = '10s'")
            yield api.Environment(cr, SUPERUSER_ID, {})

    def disable_committed(self, model_name):
        """Delete the model's configuration that another process committed."""
        with self.other_process() as env:
            env["lumq_spell.config"].search([("model_name", "=", model_name)]).unlink()


@tagged("post_install", "-at_install")
class TestProcesses(OtherProcessCase):
    def test_a_registry_load_computes_the_spells_that_records_lack(self):
        self.enable("spell.test.record")
        record = self.env["spell.test.record"].create({"name": "张三"})
        self.env.flush_all()
        # as a process with an older registry leaves a record it creates
        self.cr.execute(f"UPDATE spell_test_record SET {', '.join(f'{f} = NULL' for f in SPELL_FIELDS)}"
                        " WHERE id = %s", [record.id])
        self.env.invalidate_all()

        self.env["ir.model"]._register_hook()

        self.assertEqual(spells(record), [ZHANG])

    def test_an_update_of_the_addon_computes_first_spells_of_earlier_versions(self):
        self.enable("spell.test.record")
        records = self.env["spell.test.record"].create(
            [{"name": "1702"}, {"name": "ßa"}, {"name": "张三"}])
        self.env.flush_all()
        # as an earlier version stored them
        self.cr.execute("UPDATE spell_test_record "
                        "SET lumq_first_spell = upper(substr(lumq_simple_spell, 1, 1))")
        self.env.invalidate_all()
        self.patch(self.registry, "updated_modules", ["lumq_spell"])
        self.env["ir.model"]._register_hook()
        self.assertEqual(records.mapped("lumq_first_spell"), ["#", "S", "Z"])

    def test_a_registry_load_leaves_computed_spells_alone(self):
        # records without a source store empty spells, computed once
        self.enable("spell.test.titled")
        self.enable("spell.test.record")
        self.env["spell.test.titled"].create({"title": "张三"})
        self.env["spell.test.record"].create([{"name": "张三"}, {"name": False}])
        self.env.flush_all()
        stored = []
        self.patch(type(self.env["spell.test.titled"]), "_store_spells",
                   lambda model, ids: stored.append(ids))
        self.patch(type(self.env["spell.test.record"]), "_store_spells",
                   lambda model, ids: stored.append(ids))
        self.env["ir.model"]._register_hook()
        self.env["ir.model"]._spell_cron()
        self.assertEqual(stored, [])

    def test_a_source_changed_by_a_process_without_the_spells(self):
        if not on_postgresql(self.cr):
            self.skipTest("the trigger that marks such spells is PostgreSQL's")
        self.enable("spell.test.record")
        records = self.env["spell.test.record"].create([{"name": "张三"}, {"name": "王五"}])
        self.env.flush_all()

        def stored():
            self.cr.execute("SELECT lumq_full_spell FROM spell_test_record WHERE id IN %s "
                            "ORDER BY id", [tuple(records.ids)])
            return [row[0] for row in self.cr.fetchall()]

        # what the ORM of a process whose registry predates the enabling
        # writes: the source and nothing of the spells
        self.cr.execute("UPDATE spell_test_record SET name = '李四', code = 'c' WHERE id = %s",
                        [records[0].id])
        self.cr.execute("UPDATE spell_test_record SET code = 'c' WHERE id = %s", [records[1].id])
        self.assertEqual(stored(), [None, "wangwu"])
        self.env.invalidate_all()
        self.env["ir.model"]._spell_cron()
        self.assertEqual(spells(records[0]), [LISI])

        # a process that has the spells computes them as it writes, also
        # after a savepoint rolled back what it said of itself in it
        with self.assertRaises(ZeroDivisionError), self.cr.savepoint():
            records[1].write({"name": "李四"})
            self.env.flush_all()
            1 / 0
        records.write({"name": "张三"})
        self.env.flush_all()
        self.assertEqual(stored(), ["zhangsan", "zhangsan"])

    def test_enabling_does_not_queue_the_users_behind_an_open_transaction(self):
        if not on_postgresql(self.cr):
            self.skipTest("table locks need PostgreSQL: the stand-in's database has one connection")
        IrModel = type(self.env["ir.model"])
        self.patch(IrModel, "_spell_lock_attempts", 3)
        self.patch(IrModel, "_spell_lock_pause", 0.05)
        # another process's transaction that read the records and stays open
        with self.registry.cursor() as cr:
            cr.execute("SELECT count(*) FROM spell_test_record")
            with self.assertRaises(UserError) as refused:
                self.enable("spell.test.record")
            self.assertIn("spell.test.record are in use by another transaction",
                          str(refused.exception))
            self.assertNotIn("lumq_full_spell", self.env["spell.test.record"]._fields)
            # and nothing of the refused enabling holds the table
            with self.registry.cursor() as third:
                third.execute("SET LOCAL statement_timeout = '2s'")
                third.execute("SELECT count(*) FROM spell_test_record")
            cr.rollback()
        self.enable("spell.test.record")
        self.assertIn("lumq_full_spell", self.env["spell.test.record"]._fields)

    def test_enabling_and_disabling_are_signalled_once_committed(self):
        def signals():
            return [func for func in self.cr.postcommit._funcs if func == self.registry.signal_changes]

        config = self.enable("spell.test.record")
        self.assertTrue(signals())
        self.cr.postcommit.clear()
        config.unlink()
        self.assertTrue(signals())

    def test_a_second_enabling_of_a_model_at_once_is_refused_clearly(self):
        if not on_postgresql(self.cr):
            self.skipTest("row locks need PostgreSQL: the stand-in's database has one connection")
        self.enable("spell.test.record")
        model_id = self.env["ir.model"]._get_id("spell.test.record")
        # another process, while this transaction holds the model
        with self.registry.cursor() as cr:
            env = api.Environment(cr, SUPERUSER_ID, {})
            with self.assertRaisesRegex(UserError, "spell.test.record by another user"):
                env["lumq_spell.config"].create({"model_id": model_id})
            cr.rollback()

    def test_rows_being_added_for_the_model_do_not_hold_up_its_enabling(self):
        """An open transaction that inserts a row referring to the model (an
        access right here; an attachment or a message alike) holds a key
        share lock on its ir_model row: enabling the model is not refused for
        it."""
        if not on_postgresql(self.cr):
            self.skipTest("row locks need PostgreSQL: the stand-in's database has one connection")
        model_id = self.env["ir.model"]._get_id("spell.test.record")
        # undone with the test's savepoint: wait for a lock a few seconds at most
        self.cr.execute("SET LOCAL lock_timeout = '10s'")
        with self.other_process() as env:
            env.cr.execute("INSERT INTO ir_model_access (name, model_id, perm_read) "
                           "VALUES ('lumq test: a row referring to the model', %s, true)", [model_id])
            try:
                self.enable("spell.test.record")
            finally:
                env.cr.rollback()
        self.assertEqual(self.marked("spell.test.record"), (True, False))


@tagged("post_install", "-at_install")
class TestCommittedEnabling(OtherProcessCase):
    """A test that commits in another transaction: once it has, this class's
    own transaction, which began before, can no longer change the rows that
    the commit changed.  Its one test is alone in its class."""

    def test_an_enabling_that_another_process_committed_is_refused_clearly(self):
        """Another process enables the model and commits.  A transaction
        that began before that commit, and one that begins after it, are
        refused with a message, and the server logs no error."""
        if not on_postgresql(self.cr):
            self.skipTest("concurrent transactions need PostgreSQL: the stand-in's database has one connection")
        model_id = self.env["ir.model"]._get_id("spell.test.record")
        self.addCleanup(self.disable_committed, "spell.test.record")
        with self.other_process() as env:
            env["lumq_spell.config"].create({"model_id": model_id})

        # this test's transaction began before the commit
        with self.assertNoLogs("odoo", "ERROR"), \
                self.assertRaisesRegex(UserError, "spell.test.record by another user"):
            self.env["lumq_spell.config"].create({"model_id": model_id})
        # a transaction that begins after it
        with self.other_process() as env, self.assertNoLogs("odoo", "ERROR"):
            with self.assertRaisesRegex(ValidationError, "already enabled for spell.test.record"):
                env["lumq_spell.config"].create({"model_id": model_id})
            env.cr.rollback()


@tagged("post_install", "-at_install")
class TestWhatOnlyTheConfigurationDoes(SpellCase):
    def test_only_the_configuration_changes_the_spell_columns(self):
        """Users who may write ir.model (Access Rights) cannot enable spell
        search by writing its columns: that would skip every check of the
        configuration.  Nor can a context that a request carries."""
        manager = self.env["res.users"].create({
            "name": "Access Rights", "login": "lumq_access_rights",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id,
                                  self.env.ref("base.group_erp_manager").id])],
        })
        row = self.env["ir.model"]._get("spell.test.record")
        for env in (self.env(user=manager), self.env):
            for vals in ({"is_spell_attached": True}, {"spell_field_name": "code"},
                         {"spell_search_as_typed": True}, {"spell_pinyin_order": True}):
                for context in ({}, {"lumq_spell_marking": True}):
                    with self.subTest(user=env.user.login, vals=vals, context=context), \
                            self.assertRaises(AccessError):
                        row.with_env(env).with_context(**context).write(vals)
            with self.assertRaises(AccessError):
                env["ir.model"].create({"name": "Marked", "model": "x_lumq_marked",
                                        "is_spell_attached": True})
        self.assertEqual(self.marked("spell.test.record"), (False, False))
        self.assertFalse(row.spell_search_as_typed)
        self.assertFalse(row.spell_pinyin_order)
        self.assertNotIn("lumq_full_spell", self.env["spell.test.record"]._fields)
        # the manager writes the other columns as before
        row.with_user(manager).write({"info": "lumq test"})
        self.assertEqual(row.info, "lumq test")

    def test_every_model_offered_can_be_enabled_and_disabled(self):
        """The model picker offers no model that enabling or disabling
        breaks; the server's own technical models are refused, with a
        message."""
        IrModel = self.env["ir.model"]
        offered = IrModel.search([("spell_can_be_enabled", "=", True)])
        for model_name in ("ir.model", "ir.model.fields", "ir.model.data", "ir.module.module",
                           "ir.actions.actions"):
            row = IrModel._get(model_name)
            if not row:     # not on every host
                continue
            with self.subTest(model=model_name):
                self.assertNotIn(row, offered)
                with self.assertRaises(ValidationError) as refused:
                    self.env["lumq_spell.config"].create({"model_id": row.id})
                self.assertIn(f"{model_name}, one of the server's own technical models",
                              str(refused.exception))
        for model_name in offered.mapped("model"):
            with self.case(model=model_name):
                config = self.enable(model_name)
                self.assertIn("lumq_full_spell", self.env[model_name]._fields)
                self.env[model_name].search([], limit=1).read()
                config.unlink()
                self.assertNotIn("lumq_full_spell", self.env[model_name]._fields)
                self.env[model_name].search([], limit=1).read()


@tagged("post_install", "-at_install")
class TestWhatTheModelDoesOnItsOwn(SpellCase):
    def test_a_spell_field_of_another_model_is_refused(self):
        title = self.field_id("spell.test.titled", "title")
        message = "title is a field of spell.test.titled, not of spell.test.record"
        # assertRaises, not assertRaisesRegex: Odoo rolls back what it ran
        with self.assertRaises(ValidationError) as refused:
            self.env["lumq_spell.config"].create({
                "model_id": self.env["ir.model"]._get_id("spell.test.record"),
                "spell_field_id": title,
            })
        self.assertIn(message, str(refused.exception))
        config = self.enable("spell.test.record")
        with self.assertRaises(ValidationError) as refused:
            config.write({"spell_field_id": title})
        self.assertIn(message, str(refused.exception))

    def test_only_the_start_of_a_long_text_is_transliterated(self):
        self.enable("spell.test.record")
        record = self.env["spell.test.record"].create({"name": "张" * 5000})
        self.assertEqual(spells(record), [("zhang" * 1000, "z" * 1000, "Z")])

    def test_a_create_computes_the_spells_once(self):
        if not on_postgresql(self.cr):
            self.skipTest("the stand-in computes stored fields inside create as well")
        self.enable("spell.test.record")
        with patch.object(spell_models, "lazy_pinyin", side_effect=spell_models.lazy_pinyin) as calls:
            self.env["spell.test.record"].create({"name": "张三"})
            self.env.flush_all()
        self.assertEqual(calls.call_count, 1)       # one transliteration gives both spells

    def test_users_save_their_own_preferences(self):
        self.enable("res.users")
        user = self.env["res.users"].create({
            "name": "张三", "login": "lumq_zhangsan",
            "groups_id": [(6, 0, [self.env.ref("base.group_user").id])],
        })
        user.with_user(user).write({"name": "李四"})
        self.assertEqual(user.name, "李四")
        self.assertEqual(user.lumq_simple_spell, "ls")

    def test_a_write_on_a_deleted_record_does_what_it_does_without_spells(self):
        def outcome(model_name):
            record = self.env[model_name].create({"name": "张三"})
            record.unlink()
            try:
                record.write({"code": "x"})
            except Exception as error:  # the outcome itself is compared
                return type(error)
            return None

        without = outcome("spell.test.item")
        self.enable("spell.test.record")
        self.assertEqual(outcome("spell.test.record"), without)
