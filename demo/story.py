"""The whole story of lumq_spell, told and checked on the bundled Odoo stand-in.

Every step prints what it did and checks it; the first step that does not
give what it shows ends the demo with exit status 1.
"""
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path[:0] = [str(ROOT / "build" / "python"), str(ROOT / "host")]

import odoo.addons  # noqa: E402

odoo.addons.__path__.append(str(ROOT / "addon"))

from odoo import SUPERUSER_ID, api  # noqa: E402
from odoo.modules.registry import Registry  # noqa: E402
from odoo.tests.webclient import search as web_search  # noqa: E402

import lumq_spell_base  # noqa: E402

CONTACTS = ["张三", "李四", "王小明 Wang", "Alice 陈", "Bob Lee"]


def step(title):
    print(f"\n== {title}")


def check(condition, what):
    if not condition:
        print(f"   FAILED: {what}")
        sys.exit(1)


def show_contacts(env, partners):
    print(f"   {'name':<14}{'full spell':<18}{'simple':<10}first")
    for partner in partners:
        print(f"   {partner.name:<14}{partner.lumq_full_spell or '':<18}"
              f"{partner.lumq_simple_spell or '':<10}{partner.lumq_first_spell or ''}")


def marked_models(env):
    return env["ir.model"].search([("is_spell_attached", "=", True)]).mapped("model")


def main():
    step(f"Load the addon: lumq_spell_base {lumq_spell_base.__version__} on the Odoo stand-in")
    registry = Registry.new("lumq_spell_demo", install=["lumq_spell"])
    cr = registry.cursor()
    env = api.Environment(cr, SUPERUSER_ID, {})
    module = env["ir.module.module"].search([("name", "=", "lumq_spell")])
    print(f"   module lumq_spell: {module.state}; models: "
          f"{', '.join(env['ir.model'].search([('model', 'like', 'lumq_spell.')]).mapped('model'))}")
    check(module.state == "installed" and "lumq_spell.config" in env, "the addon is installed")

    step("Create contacts with Chinese, mixed and Latin names")
    Partner = env["res.partner"]
    partners = Partner.create([{"name": name} for name in CONTACTS])
    print("   " + ", ".join(partners.mapped("name")))
    check("lumq_full_spell" not in Partner._fields, "contacts carry no spell before enabling")

    step("Enable spell for contacts with a configuration record")
    config = env["lumq_spell.config"].create({"model_id": env.ref("base.model_res_partner").id})
    Partner = env["res.partner"]
    print(f"   marked models: {marked_models(env)}; extension views: "
          f"{config.extended_search_view_ids.mapped('name')}")
    check(marked_models(env) == ["res.partner"], "res.partner is marked")

    step("The stored spells")
    partners = Partner.browse(partners.ids)
    show_contacts(env, partners)
    zhang = partners[0]
    check((zhang.lumq_full_spell, zhang.lumq_simple_spell, zhang.lumq_first_spell)
          == ("zhangsan", "zs", "Z"), "张三 is zhangsan, zs, Z")
    newcomer = Partner.create({"name": "赵六"})
    print(f"   created afterwards: {newcomer.name} -> {newcomer.lumq_full_spell}")
    check(newcomer.lumq_full_spell == "zhaoliu", "a new contact gets its spell on create")

    step("Search through the contacts' search view, the way the web client does")
    for text in ("zs", "zhangsan", "张"):
        found = web_search(env, "res.partner", "name", text)
        print(f"   name field, typed {text!r}: {', '.join(found.mapped('name'))}")
        check(zhang in found, f"{text!r} finds 张三")
    check(not web_search(env, "res.partner", "name", "ls") - partners[1], "'ls' finds only 李四")

    step("A list view carries the navbar decision and the spell attribute")
    tree = Partner.get_view(view_type="tree")
    root_tag = tree["arch"][: tree["arch"].index(">") + 1]
    print(f"   display_spell_navbar: {tree['display_spell_navbar']}; root: {root_tag}")
    check(tree["display_spell_navbar"] is True and 'spell="lumq_spell"' in root_tag,
          "the contacts' list view shows the navbar")
    form = Partner.get_view(view_type="form")
    check("display_spell_navbar" not in form, "a form view carries no navbar decision")

    step("Add a navbar view of another model")
    industry_tree = env["ir.ui.view"].search(
        [("model", "=", "res.partner.industry"), ("type", "=", "tree")], limit=1)
    before = env["res.partner.industry"].get_view(industry_tree.id, "tree")["display_spell_navbar"]
    config.spell_navbar_view_ids = [(4, industry_tree.id)]
    after = env["res.partner.industry"].get_view(industry_tree.id, "tree")["display_spell_navbar"]
    print(f"   {industry_tree.name}: navbar {before} before, {after} after")
    check(not before and after, "a listed navbar view shows the navbar")

    step("Change the configuration: move it to industries")
    old_views = config.extended_search_view_ids
    config.model_id = env.ref("base.model_res_partner_industry")
    print(f"   marked models: {marked_models(env)}; contacts' extension views left: "
          f"{len(old_views.exists())}; new: {config.extended_search_view_ids.mapped('name')}")
    check(marked_models(env) == ["res.partner.industry"] and not old_views.exists(),
          "the mark and the extension views moved")

    step("Delete the configuration")
    views = config.extended_search_view_ids
    config.unlink()
    print(f"   configurations: {env['lumq_spell.config'].search_count([])}; marked models: "
          f"{marked_models(env)}; extension views left: {len(views.exists())}")
    check(not marked_models(env) and not views.exists(), "deleting removes mark and views")

    step("Upgrade, then uninstall lumq_spell with the immediate module buttons")
    env["lumq_spell.config"].create({"model_id": env.ref("base.model_res_partner").id})
    module.button_immediate_upgrade()
    env = api.Environment(cr, SUPERUSER_ID, {})
    kept = env["lumq_spell.config"].search([]).mapped("model_name")
    print(f"   after the upgrade: configurations for {kept}; marked models: {marked_models(env)}")
    check(kept == ["res.partner"] and marked_models(env) == ["res.partner"],
          "an upgrade keeps configuration and marks")
    module.button_immediate_uninstall()
    env = api.Environment(cr, SUPERUSER_ID, {})
    cr.execute("SELECT name FROM sqlite_master WHERE name = 'lumq_spell_config'")
    config_table = cr.fetchall()
    module = env["ir.module.module"].search([("name", "=", "lumq_spell")])
    print(f"   module lumq_spell: {module.state}; configuration table: "
          f"{'present' if config_table else 'gone'}; 'lumq_spell.config' in registry: "
          f"{'lumq_spell.config' in env}")
    check(module.state == "uninstalled" and not config_table, "uninstalling removes everything")
    partner = env["res.partner"].search([("name", "=", "张三")])
    check(partner, "the contacts themselves are kept")

    print("\nAll steps gave what they showed.")


if __name__ == "__main__":
    main()
