"""The configuration screens and the letter bar in the web client, in
headless Chromium: an administrator enables Contacts from the menu and finds
张三 by typing zs, a user filters the Contacts list by a letter, and a
Chinese-speaking administrator sees the menu and the form in Chinese.

Each tour saves screenshots: a step logs ``lumq_spell screenshot: NAME``, the
test captures the page through the browser's DevTools connection, saves
NAME.png and marks the page, and the tour goes on once the mark is there.
The pictures go to the folder named by LUMQ_SCREENSHOTS (the README's are
made with LUMQ_SCREENSHOTS=docs/screenshots, relative to the repository),
else to the screenshots folder of Odoo's configuration.
"""
import base64
import logging
import os
from pathlib import Path

import odoo.tools
from odoo.tests import HttpCase, tagged

_logger = logging.getLogger(__name__)

SCREENSHOT_MESSAGE = "lumq_spell screenshot: "


def screenshots_dir():
    if folder := os.environ.get("LUMQ_SCREENSHOTS"):
        return Path(__file__).resolve().parents[3] / folder
    return Path(odoo.tools.config["screenshots"]) / "lumq_spell"


class TourCase(HttpCase):
    """Tours whose steps can ask for screenshots."""

    # Chrome reads the window size as width,height: a desktop-sized page, on
    # which the view switcher shows its buttons
    browser_size = "1366,768"

    def setUp(self):
        # the browser helper of Odoo's HttpCase (the stand-in, which skips
        # these tests, has none)
        from odoo.tests.common import ChromeBrowser

        # runs after the test's rollback: the models as installed again
        self.addCleanup(lambda: self.registry.setup_models(self.cr))
        super().setUp()
        self.saved_screenshots = []
        handle_console = ChromeBrowser._handle_console
        test = self

        def _handle_console(browser, type, args=None, stackTrace=None, **kw):  # noqa: A002 (Chrome's name)
            text = args[0].get("value") if args else None
            if type == "log" and isinstance(text, str) and text.startswith(SCREENSHOT_MESSAGE):
                test._take_screenshot(browser, text[len(SCREENSHOT_MESSAGE):].strip())
                return None
            return handle_console(browser, type, args, stackTrace, **kw)

        self.patch(ChromeBrowser, "_handle_console", _handle_console)

    def _take_screenshot(self, browser, name):
        """Capture the page, save it as NAME.png, then mark the page so that
        the tour goes on (this runs on the browser connection's thread, which
        must not wait for an answer: the answer comes in a callback)."""
        future = browser._websocket_send("Page.captureScreenshot", with_future=True)

        def save(done):
            try:
                data = base64.b64decode(done.result()["data"], validate=True)
                folder = screenshots_dir()
                folder.mkdir(parents=True, exist_ok=True)
                path = folder / f"{name}.png"
                path.write_bytes(data)
                self.saved_screenshots.append(path)
                _logger.info("screenshot saved: %s", path)
            except Exception:
                _logger.exception("screenshot %s could not be saved", name)
            browser._websocket_send("Runtime.evaluate", params={
                "expression": f"document.body.dataset.lumqSpellShot = {name!r}",
            })

        future.add_done_callback(save)

    def assertScreenshots(self, *names):
        saved = {path.stem for path in self.saved_screenshots}
        for name in names:
            self.assertIn(name, saved, f"the tour did not save the screenshot {name}")
            path = screenshots_dir() / f"{name}.png"
            self.assertEqual(path.read_bytes()[:8], b"\x89PNG\r\n\x1a\n", path)

    def skip_without_contacts(self):
        if not self.env.ref("contacts.action_contacts", raise_if_not_found=False):
            self.skipTest("the Contacts app is not installed")


@tagged("post_install", "-at_install")
class TestUiTours(TourCase):

    def test_enable_contacts_from_the_menu_then_find_zhang_san_by_zs(self):
        self.skip_without_contacts()
        self.env["res.partner"].create([{"name": name} for name in ("张三", "李四", "王小明")])
        self.assertFalse(self.env["lumq_spell.config"].search([]))

        self.start_tour("/web?debug=1", "lumq_spell_enable_from_menu", login="admin")

        config = self.env["lumq_spell.config"].search([])
        self.assertEqual(config.model_id, self.env.ref("base.model_res_partner"))
        zhang = self.env["res.partner"].search([("name", "=", "张三")])
        self.assertEqual((zhang.lumq_full_spell, zhang.lumq_simple_spell, zhang.lumq_first_spell),
                         ("zhangsan", "zs", "Z"))
        self.assertScreenshots("config_form_saved", "contacts_search_zs")

    def test_letter_bar_filters_the_contacts_list(self):
        self.skip_without_contacts()
        self.env["res.partner"].create([{"name": name} for name in (
            "张三", "赵六", "Zoe Ward", "李四", "王小明", "1号仓库")])
        self.env["lumq_spell.config"].create({"model_id": self.env.ref("base.model_res_partner").id})

        self.start_tour("/web", "lumq_spell_letter_bar", login="admin")

        self.assertScreenshots("contacts_letter_z", "contacts_kanban_letter_z")

    def test_letter_bar_dims_the_letters_without_contacts(self):
        self.skip_without_contacts()
        self.env["res.partner"].create([{"name": name} for name in (
            "张三", "赵六", "李四", "王小明", "1号仓库")])
        self.env["lumq_spell.config"].create({
            "model_id": self.env.ref("base.model_res_partner").id, "show_letter_counts": True})
        # what the tour expects of the contacts that the database has
        Partner = self.env["res.partner"]
        self.assertEqual([Partner.search_count([("lumq_first_spell", "=", letter)])
                          for letter in "ZQL"], [2, 0, 1])

        self.start_tour("/web", "lumq_spell_letter_counts", login="admin")

        self.assertScreenshots("contacts_letter_counts")

    def test_letter_bar_counts_a_letter_on_hover_past_the_pagers_limit(self):
        self.skip_without_contacts()
        self.env["res.partner"].create([{"name": name} for name in (
            "张三", "赵六", "李四", "王小明", "1号仓库")])
        self.env["lumq_spell.config"].create({
            "model_id": self.env.ref("base.model_res_partner").id, "show_letter_counts": True})
        # the contacts list shows 2 contacts a page and counts no further than 3
        self.env["ir.ui.view"].create({
            "name": "lumq_spell test: the pager counts 3 contacts",
            "model": "res.partner",
            "inherit_id": self.env.ref("base.view_partner_tree").id,
            "arch": '<xpath expr="/tree" position="attributes">'
                    '<attribute name="limit">2</attribute>'
                    '<attribute name="count_limit">3</attribute></xpath>',
        })
        Partner = self.env["res.partner"]
        self.assertGreater(Partner.search_count([]), 3)
        self.assertEqual([Partner.search_count([("lumq_first_spell", "=", letter)])
                          for letter in "ZQ"], [2, 0])

        self.start_tour("/web", "lumq_spell_letter_counts_beyond_the_pager", login="admin")

    def test_the_screens_show_a_computation_in_the_background(self):
        self.skip_without_contacts()
        self.env["res.partner"].create([{"name": f"张三{index}"} for index in range(12)])
        # a dozen contacts stand for a large model; one batch is done
        self.patch(type(self.env["ir.model"]), "_spell_request_limit", 5)
        self.patch(type(self.env["lumq_spell.config"]), "_spell_sweep_batch", 5)
        config = self.env["lumq_spell.config"].create(
            {"model_id": self.env.ref("base.model_res_partner").id})
        config._sweep_spells(0)
        # started a little while ago, so that the form can tell when it ends
        self.cr.execute("UPDATE lumq_spell_config SET spell_started_at = "
                        "spell_started_at - interval '10 seconds' WHERE id = %s", [config.id])
        config.invalidate_recordset()
        self.assertEqual(config.spell_state, "computing")

        self.start_tour("/web?debug=1", "lumq_spell_enabling_in_background", login="admin")

        self.assertScreenshots("config_list_computing", "config_form_computing")

    def test_screens_in_chinese(self):
        self.env["res.lang"]._activate_lang("zh_CN")
        self.env["ir.module.module"].search([("name", "in", ["base", "web", "lumq_spell"])]) \
            ._update_translations("zh_CN")
        self.env.ref("base.user_admin").lang = "zh_CN"

        self.start_tour("/web?debug=1", "lumq_spell_screens_in_chinese", login="admin")

        self.assertScreenshots("config_form_zh_CN")

    def test_contacts_in_pinyin_order(self):
        self.skip_without_contacts()
        self.env["res.partner"].create([{"name": name} for name in (
            "张三", "李四", "王五", "赵六", "阿明", "陈七", "周八", "Bob")])
        self.env["lumq_spell.config"].create({
            "model_id": self.env.ref("base.model_res_partner").id, "pinyin_order": True})

        self.start_tour("/web", "lumq_spell_pinyin_order", login="admin")

        self.assertScreenshots("contacts_pinyin_order")

    def test_fuzzy_pinyin(self):
        self.skip_without_contacts()
        self.env["res.partner"].create([{"name": name} for name in (
            "张三", "李四", "王五", "赵六", "阿明", "陈七", "周八", "Bob")])
        config = self.env["lumq_spell.config"].create({
            "model_id": self.env.ref("base.model_res_partner").id})

        self.start_tour("/web?debug=1", "lumq_spell_fuzzy_pinyin", login="admin")

        self.assertScreenshots("config_form_fuzzy", "contacts_fuzzy_search")
        self.env.invalidate_all()
        self.assertEqual(config.model_id.spell_fuzzy_pairs, "zh ch sh l f ng")
