"""The addon suite's test case on the stand-in: what a test does to the
database and the registry is gone when the next test starts.

Not in the addon's own suite (addon/lumq_spell/tests): it runs test classes
of its own, each on a database of its own.
"""
import unittest

from odoo.addons.lumq_spell.tests import common
from odoo.tools import sql


def run(case_class):
    result = unittest.TestResult()
    unittest.defaultTestLoader.loadTestsFromTestCase(case_class).run(result)
    return result


def test_each_test_starts_from_the_installed_state():
    states = {}

    class Case(common.SpellCase):
        def state(self):
            partners = self.env["res.partner"]
            return {
                "partners": partners.search_count([]),
                "columns": [name for name in common.SPELL_FIELDS
                            if sql.column_exists(self.cr, "res_partner", name)],
                "marked": self.marked("res.partner"),
                "configs": self.env["lumq_spell.config"].search_count([]),
                "fields": [name for name in common.SPELL_FIELDS if name in partners._fields],
                "rec_names": partners._rec_names_search,
                "search_view": "lumq" in partners.get_view(view_type="search")["arch"],
            }

        def test_1_enables(self):
            states["before"] = self.state()
            self.env["res.partner"].create({"name": "张三"})
            self.enable("res.partner", "email")
            states["enabled"] = self.state()

        def test_2_enables_in_a_failing_case(self):
            states["second"] = self.state()
            with self.case(step="failing"):
                self.enable("res.partner")
                states["in the case"] = self.state()
                1 / 0
            states["after the case"] = self.state()

        def test_3_finds_the_installed_state(self):
            states["third"] = self.state()
            # enabling again starts from nothing of the earlier tests
            self.enable("res.partner", "name")
            partner = self.env["res.partner"].create({"name": "李四"})
            self.assertEqual(common.spells(partner), [common.LISI])

    result = run(Case)
    # the failing case fails its subtest, and its test goes on
    assert not result.failures and [(test.params, error.splitlines()[-1]) for test, error in result.errors] == [
        ({"step": "failing"}, "ZeroDivisionError: division by zero")]
    installed = states["before"]
    assert installed["columns"] == installed["fields"] == [] and installed["configs"] == 0
    assert installed["marked"] == (False, False) and not installed["search_view"]
    assert states["enabled"] == dict(
        installed, partners=installed["partners"] + 1, columns=list(common.SPELL_FIELDS),
        marked=(True, "email"), configs=1, fields=list(common.SPELL_FIELDS),
        rec_names=installed["rec_names"] + ["lumq_full_spell", "lumq_simple_spell"], search_view=True)
    assert states["in the case"]["fields"] == list(common.SPELL_FIELDS)
    assert states["second"] == states["after the case"] == states["third"] == installed
