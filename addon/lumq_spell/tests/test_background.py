"""Enabling a large model: its spells are computed in the background, a batch
at a time, while its records are read, searched and saved as usual; the
configuration tells how far the computation is."""
import time
from unittest.mock import patch

from odoo.addons.lumq_spell.models import spell_sql
from odoo.tests import tagged

from .common import LISI, ZHANG, SpellCase, leave_index_invalid, on_postgresql, spells

NAMES = ["张三", "李四", "王五", "赵六", "阿明", "陈七", "Bob"]


@tagged("post_install", "-at_install")
class TestBackgroundEnabling(SpellCase):
    def setUp(self):
        super().setUp()
        Record = self.env["spell.test.record"]
        self.records = Record.create([{"name": name, "code": f"c{index}"}
                                      for index, name in enumerate(NAMES)])
        # seven records stand for a large model: two a batch, a note of the
        # position after every batch
        for owner, name, value in ((self.env["ir.model"], "_spell_request_limit", 3),
                                   (self.env["lumq_spell.config"], "_spell_sweep_batch", 2),
                                   (self.env["lumq_spell.config"], "_spell_sweep_note_interval", 0)):
            patcher = patch.object(type(owner), name, value)
            patcher.start()
            self.addCleanup(patcher.stop)

    def one_batch(self, config):
        """Let the background computation do one batch (its deadline is past
        once the batch is done); returns whether work is left."""
        return config._sweep_spells(time.monotonic())

    def index_states(self):
        """The table's spell indexes and what the catalog says of each: None
        when it is missing, else whether it is valid.  That of the records
        still to compute and (PostgreSQL) those of the records with
        capitals."""
        names = [spell_sql.missing_index_name("spell_test_record")]
        if on_postgresql(self.cr):
            names += [index.name for index in spell_sql.cased_indexes("spell_test_record")]
        return {name: spell_sql.index_state(self.cr, name) for name in names}

    def test_a_large_model_is_computed_in_the_background_while_in_use(self):
        config = self.enable("spell.test.record")
        self.assertEqual((config.spell_state, config.spell_background), ("computing", True))
        self.assertEqual(spells(self.records), [(False, False, False)] * len(NAMES))
        self.assertIn("counting the records", config.spell_status)
        # a registry load leaves the records to the background computation
        self.env["ir.model"]._register_hook()
        self.assertEqual(spells(self.records[:1]), [(False, False, False)])
        # the indexes of the spells come once all is computed
        self.assertEqual(set(self.index_states().values()), {None})

        self.assertTrue(self.one_batch(config))
        self.assertEqual((config.spell_done, config.spell_total), (2, 7))
        self.assertAlmostEqual(config.spell_progress, 200 / 7)
        self.assertIn("2 of 7 records", config.spell_status)
        self.assertEqual(spells(self.records[:2]), [ZHANG, LISI])
        self.assertEqual(spells(self.records[2:3]), [(False, False, False)])
        # search by pinyin finds what is computed already
        self.assertEqual(self.web_search("spell.test.record", "name", "ls"), self.records[1])

        # records saved meanwhile get their spells at once
        self.records[6].write({"name": "周八"})
        added = self.records.create({"name": "孙九"})
        self.assertEqual(spells(self.records[6] | added), [("zhouba", "zb", "Z"), ("sunjiu", "sj", "S")])
        # a record left behind the position (saved by a process without the
        # spells) is computed at the end
        self.cr.execute("UPDATE spell_test_record SET lumq_full_spell = NULL WHERE id = %s",
                        [self.records[0].id])
        self.env.invalidate_all()

        self.env["ir.model"]._spell_cron()
        self.assertEqual((config.spell_state, config.spell_done), ("ready", 8))
        self.assertEqual(config.spell_progress, 100)
        self.assertIn("8 records were computed in the background", config.spell_status)
        self.assertEqual([spell[1] for spell in spells(self.records | added)],
                         ["zs", "ls", "ww", "zl", "am", "cq", "zb", "sj"])
        self.assertEqual(set(self.index_states().values()), {True})

    def test_the_computation_resumes_where_it_stopped(self):
        config = self.enable("spell.test.record")
        self.one_batch(config)
        self.one_batch(config)
        self.assertEqual(config.spell_sweep_id, self.records[3].id)
        if on_postgresql(self.cr):
            # the killed process was building the index of the records with
            # capitals concurrently
            leave_index_invalid(self.cr, spell_sql.cased_index("spell_test_record"))
            self.assertEqual(list(self.index_states().values()), [None, False, None])
        Record = type(self.env["spell.test.record"])
        with patch.object(Record, "_store_spells", autospec=True,
                          side_effect=Record._store_spells) as stored:
            # a run of another process after this one was killed
            self.env.invalidate_all()
            self.env["ir.model"]._spell_cron()
        computed = [id_ for call in stored.call_args_list for id_ in call.args[1]]
        self.assertEqual(computed[:3], self.records[4:].ids)
        self.assertEqual(config.spell_state, "ready")
        # an invalid index is built anew
        self.assertEqual(set(self.index_states().values()), {True})

    def test_small_models_are_computed_while_enabling(self):
        self.records[3:].unlink()
        config = self.enable("spell.test.record")
        self.assertEqual((config.spell_state, config.spell_background), ("ready", False))
        self.assertEqual(spells(self.records[:2]), [ZHANG, LISI])
        self.assertIn("3 records were computed while enabling", config.spell_status)

    def test_disabling_stops_the_computation(self):
        config = self.enable("spell.test.record")
        self.one_batch(config)
        config.unlink()
        self.assertEqual(self.env["lumq_spell.config"]._spell_sweeping_models(), set())
        self.env["ir.model"]._spell_cron()
        self.assertNotIn("lumq_full_spell", self.env["spell.test.record"]._fields)
        # enabled again: computed again from the start
        config = self.enable("spell.test.record")
        self.assertEqual((config.spell_state, config.spell_done, config.spell_sweep_id),
                         ("computing", 0, 0))

    def test_a_change_of_source_is_computed_again_in_the_background(self):
        config = self.enable("spell.test.record")
        self.env["ir.model"]._spell_cron()
        config.write({"spell_field_id": self.field_id("spell.test.record", "code")})
        self.assertEqual((config.spell_state, config.spell_done), ("computing", 0))
        # the former spells serve until the new ones are computed
        self.assertEqual(spells(self.records[:1]), [ZHANG])
        self.one_batch(config)
        self.assertEqual(spells(self.records[:1]), [("c0", "c0", "C")])
        self.assertEqual(spells(self.records[2:3]), [("wangwu", "ww", "W")])
        self.env["ir.model"]._spell_cron()
        self.assertEqual(spells(self.records[2:3]), [("c2", "c2", "C")])

    def test_a_run_with_a_registry_older_than_the_configuration_waits(self):
        config = self.enable("spell.test.record")
        # as another process changed the source and this one has not loaded
        # its registry anew
        self.cr.execute("UPDATE ir_model SET spell_field_name = 'code' WHERE id = %s",
                        [config.model_id.id])
        self.env.invalidate_all()
        self.assertFalse(self.one_batch(config))
        self.assertEqual(config.spell_done, 0)
        self.assertEqual(spells(self.records[:1]), [(False, False, False)])

    def test_the_progress_is_the_addons_own(self):
        config = self.enable("spell.test.record", spell_state="ready", spell_done=99)
        self.assertEqual((config.spell_state, config.spell_done), ("computing", 0))
        config.write({"spell_state": "ready", "spell_sweep_id": 10**9})
        self.assertEqual((config.spell_state, config.spell_sweep_id), ("computing", 0))
