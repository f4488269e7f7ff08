"""The part of Odoo's test framework on the stand-in: test classes get a
database with the addons of config['init'], each test a savepoint rolled
back after it, assertRaises a savepoint of its own; tags are recorded and
HttpCase tests are skipped."""
import unittest

import pytest

from odoo.modules.registry import Registry
from odoo.sql_db import _connections
from odoo.tests import common
from odoo.tools import config, sql


def run(*case_classes):
    result = unittest.TestResult()
    unittest.TestSuite(unittest.defaultTestLoader.loadTestsFromTestCase(cls) for cls in case_classes).run(result)
    return result


@pytest.fixture
def installing(monkeypatch):
    """installing(*addons): what `odoo-bin -i` names for the test classes."""
    def install(*addons):
        monkeypatch.setitem(config, "init", dict.fromkeys(addons, 1))
    return install


def test_each_test_starts_from_the_class_state(installing):
    installing("standin_demo")
    seen = {}

    class Case(common.TransactionCase):
        @classmethod
        def setUpClass(cls):
            super().setUpClass()
            seen["db"] = cls.cr.dbname
            cls.env["res.partner"].create({"name": "made by the class"})

        def state(self):
            return (sorted(self.env["res.partner"].search([]).mapped("name")),
                    bool(sql.column_exists(self.cr, "res_partner", "x_probe")),
                    "standin.thing" in self.env)

        def test_1_changes_rows_and_columns(self):
            seen["first"] = self.state()
            self.env["res.partner"].create({"name": "made by a test"})
            self.cr.execute("ALTER TABLE res_partner ADD COLUMN x_probe varchar")
            seen["changed"] = self.state()

        def test_2_raises_in_an_assert(self):
            partner = self.env["res.partner"].create({"name": "kept"})
            with self.assertRaises(ZeroDivisionError):
                partner.write({"name": "written, then rolled back"})
                1 / 0
            seen["kept"] = partner.name
            with self.assertRaises(ZeroDivisionError):
                with self.assertRaises(KeyError):
                    1 / 0

        def test_3_sees_the_class_state(self):
            seen["third"] = self.state()

    result = run(Case)
    assert result.wasSuccessful(), result.errors + result.failures
    class_state = (["made by the class"], False, True)
    assert seen["first"] == seen["third"] == class_state
    assert seen["changed"] == (["made by a test", "made by the class"], True, True)
    assert seen["kept"] == "kept"
    # the class's database is dropped after its tests
    assert seen["db"] not in Registry.registries and seen["db"] not in _connections


def test_databases_have_the_addons_of_the_setting(installing):
    found = []

    class Case(common.TransactionCase):
        def test_addons(self):
            found.append(sorted(self.env["ir.module.module"].search([("state", "=", "installed")]).mapped("name")))

    # with the addons they depend on
    installing("standin_extra")
    assert run(Case).wasSuccessful()
    assert found == [["base", "standin_demo", "standin_extra"]]


def test_tags_and_http_cases():
    class Tagged(common.TransactionCase):
        __module__ = "odoo.addons.probe.tests.test_probe"

    assert (Tagged.test_tags, Tagged.test_module) == ({"standard", "at_install"}, "probe")
    assert common.tagged("post_install", "-at_install")(Tagged) is Tagged
    assert Tagged.test_tags == {"standard", "post_install"}

    class Browser(common.HttpCase):
        def test_tour(self):
            raise AssertionError("runs only on a real server")

    result = run(Browser)
    assert [reason for _test, reason in result.skipped] == [
        "HttpCase needs a real Odoo 17 server with HTTP and a browser; the stand-in has neither"]
    assert result.testsRun == 1 and not result.errors and not result.failures
