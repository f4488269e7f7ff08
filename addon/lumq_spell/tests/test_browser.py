"""Pinyin search in the web client, in headless Chromium."""
from odoo.tests import HttpCase, tagged


@tagged("post_install", "-at_install")
class TestSearchInTheBrowser(HttpCase):
    def setUp(self):
        # runs after the test's rollback: the models as installed again
        self.addCleanup(lambda: self.registry.setup_models(self.cr))
        super().setUp()

    def test_typing_zs_in_contacts_finds_zhang_san_alone(self):
        if not self.env.ref("contacts.action_contacts", raise_if_not_found=False):
            self.skipTest("the Contacts app is not installed")
        self.env["res.partner"].create([{"name": name} for name in ("张三", "李四", "王小明")])
        self.env["lumq_spell.config"].create({"model_id": self.env.ref("base.model_res_partner").id})
        self.start_tour("/web", "lumq_spell_search_by_pinyin", login="admin")
