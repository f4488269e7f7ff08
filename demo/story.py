"""The whole story of lumq_spell, told and checked step by step, on the
bundled Odoo stand-in or on a real Odoo 17 server with PostgreSQL.

Every step prints what it did and checks it; the first step that does not
give what it shows ends the demo with exit status 1.

With LUMQ_ODOO_CONF set (env/odoo17 sets it, with LUMQ_ODOO_SRC), the story
runs on the real server named by that configuration: on a copy of the
database TEMPLATE (base, web and contacts installed), where it installs
lumq_spell the way an administrator does.  Otherwise it runs on the stand-in,
with the extension module taken from the build directory LUMQ_BUILD_DIR
(default: build).  Only opening the database, the web client's search and
dropping the database differ between the two; the steps are the same.
"""
import os
import sys
import unicodedata
from contextlib import closing
from pathlib import Path
from types import SimpleNamespace

ROOT = Path(__file__).resolve().parents[1]
REAL_SERVER = bool(os.environ.get("LUMQ_ODOO_CONF"))
TEMPLATE = os.environ.get("LUMQ_TEMPLATE", "")
SERVER_LOG = Path(os.environ.get("LUMQ_LOG_DIR") or ROOT / "build-real" / "logs") / "demo.log"

if REAL_SERVER:
    sys.path.insert(0, os.environ["LUMQ_ODOO_SRC"])
else:
    sys.path.insert(0, str(ROOT / "env"))
    import lumq_paths

    # the addon's test package (its web client search) imports the test addons
    lumq_paths.set_up(addons_dirs=(ROOT / "addon", ROOT / "tests" / "addons"))

from lxml import etree  # noqa: E402

import lumq_spell_base  # noqa: E402
import odoo  # noqa: E402
from odoo import SUPERUSER_ID, api  # noqa: E402
from odoo.modules.registry import Registry  # noqa: E402
from odoo.tools import sql  # noqa: E402

if REAL_SERVER:
    from odoo.service import db as database_service
    from odoo.tools import config
else:
    from odoo.tests.common import drop_database as drop_stand_in_database

CONTACTS = ["张三", "李四", "王小明 Wang", "Alice 陈", "Bob Lee"]


class StepFailed(Exception):
    """A step did not give what it shows."""


def check(condition, what):
    if not condition:
        raise StepFailed(what)


def width(text):
    """Columns the text takes in a terminal: wide (CJK) characters take two."""
    return sum(2 if unicodedata.east_asian_width(char) in "WF" else 1 for char in text)


def table(rows):
    """Print rows of texts in columns aligned by display width."""
    sizes = [max(width(row[i]) for row in rows) + 2 for i in range(len(rows[0]))]
    for row in rows:
        print("   " + "".join(text + " " * (size - width(text)) for text, size in zip(row, sizes)).rstrip())


def marked_models(env):
    return env["ir.model"].search([("is_spell_attached", "=", True)]).mapped("model")


def host_name():
    if not REAL_SERVER:
        return "the bundled Odoo stand-in on SQLite"
    with closing(odoo.sql_db.db_connect("postgres").cursor()) as cr:
        cr.execute("SHOW server_version")
        postgres = cr.fetchone()[0].split()[0]  # "17.2 (Debian 17.2-1)": the number
    return f"a real Odoo {odoo.release.version} server on PostgreSQL {postgres}"


def open_database(db_name):
    """A new database with lumq_spell installed; returns a cursor on it.

    The stand-in installs the addon as it loads a new in-memory database.  A
    real server copies the template database, as the database manager does,
    and installs the addon as an administrator does: update the apps list,
    then press Install (which commits and reloads the registry)."""
    if not REAL_SERVER:
        return Registry.new(db_name, install=["lumq_spell"]).cursor()
    database_service.exp_drop(db_name)  # left over by an interrupted run
    database_service.exp_duplicate_database(TEMPLATE, db_name)
    cr = Registry(db_name).cursor()
    Module = api.Environment(cr, SUPERUSER_ID, {})["ir.module.module"]
    Module.update_list()
    Module.search([("name", "=", "lumq_spell")]).button_immediate_install()
    return cr


def drop_database(db_name, cr=None):
    if cr is not None:
        cr.close()
    if REAL_SERVER:
        database_service.exp_drop(db_name)
    else:
        drop_stand_in_database(db_name)


def web_search(env, model_name, field_name, text):
    """The records the web client finds by typing text into a field of the
    model's search view, as the addon's tests search on either host (the
    addon is importable once the database is open)."""
    from odoo.addons.lumq_spell.tests.common import web_search as search

    return search(env, model_name, field_name, text)


STEPS = []


def step(title):
    def register(function):
        STEPS.append((title, function))
        return function
    return register


@step("Load the addon")
def load(story):
    story.cr = open_database(story.db_name)
    story.env = env = api.Environment(story.cr, SUPERUSER_ID, {})
    story.module = env["ir.module.module"].search([("name", "=", "lumq_spell")])
    models = env["ir.model"].search([("model", "like", "lumq_spell.")]).mapped("model")
    print(f"   lumq_spell_base {lumq_spell_base.__version__}; module lumq_spell: "
          f"{story.module.state}; models: {', '.join(models)}")
    check(story.module.state == "installed" and "lumq_spell.config" in env, "the addon is installed")


@step("Create contacts with Chinese, mixed and Latin names")
def create_contacts(story):
    partners = story.env["res.partner"].create([{"name": name} for name in CONTACTS])
    story.partner_ids = partners.ids
    print("   " + ", ".join(partners.mapped("name")))
    check("lumq_full_spell" not in partners._fields, "contacts carry no spell before enabling")


@step("Enable spell for contacts with a configuration record")
def enable(story):
    env = story.env
    story.config = env["lumq_spell.config"].create({"model_id": env.ref("base.model_res_partner").id})
    print(f"   marked models: {marked_models(env)}; extension views: "
          f"{story.config.extended_search_view_ids.mapped('name')}")
    check(marked_models(env) == ["res.partner"] and story.config.extended_search_view_ids,
          "res.partner is marked and its search view extended")
    for view in story.config.extended_search_view_ids:
        print(f"   {view.name}, inheriting {view.inherit_id.name}:")
        print("\n".join(f"      {line}" for line in view.arch_db.splitlines()))
        check("lumq_full_spell" in view.arch_db and "lumq_simple_spell" in view.arch_db,
              "the extension view matches either spell")


@step("The stored spells")
def stored_spells(story):
    Partner = story.env["res.partner"]
    partners = Partner.browse(story.partner_ids)
    table([("name", "full spell", "simple", "first")] + [
        (p.name, p.lumq_full_spell or "", p.lumq_simple_spell or "", p.lumq_first_spell or "")
        for p in partners])
    zhang = partners[0]
    check((zhang.lumq_full_spell, zhang.lumq_simple_spell, zhang.lumq_first_spell)
          == ("zhangsan", "zs", "Z"), "张三 is zhangsan, zs, Z")
    newcomer = Partner.create({"name": "赵六"})
    print(f"   created afterwards: {newcomer.name} -> {newcomer.lumq_full_spell}, "
          f"{newcomer.lumq_simple_spell}, {newcomer.lumq_first_spell}")
    check(newcomer.lumq_full_spell == "zhaoliu", "a new contact gets its spell on create")


@step("Search through the contacts' search view, the way the web client does")
def search(story):
    zhang = story.env["res.partner"].browse(story.partner_ids[0])
    for text in ("zs", "zhangsan", "张"):
        found = web_search(story.env, "res.partner", "name", text)
        print(f"   name field, typed {text!r}: {', '.join(found.mapped('name'))}")
        check(found == zhang, f"{text!r} finds 张三 alone")


@step("A list view carries the navbar decision and the spell attribute")
def list_view(story):
    Partner = story.env["res.partner"]
    for view_type in ("tree", "kanban"):
        view = Partner.get_view(view_type=view_type)
        root_tag = view["arch"][: view["arch"].index(">") + 1]
        print(f"   {view_type}: display_spell_navbar {view['display_spell_navbar']}; root: {root_tag}")
        check(view["display_spell_navbar"] is True
              and etree.fromstring(view["arch"]).get("spell") == "lumq_spell",
              f"the contacts' {view_type} view shows the navbar")
    form = Partner.get_view(view_type="form")
    print(f"   form: display_spell_navbar {form.get('display_spell_navbar', 'absent')}")
    check("display_spell_navbar" not in form, "a form view carries no navbar decision")


@step("Add a navbar view of another model")
def navbar_view(story):
    env = story.env
    tree = env.ref("base.res_partner_industry_view_tree")
    before = env["res.partner.industry"].get_view(tree.id, "tree")["display_spell_navbar"]
    story.config.spell_navbar_view_ids = [(4, tree.id)]
    after = env["res.partner.industry"].get_view(tree.id, "tree")
    print(f"   {tree.name}: navbar {before} before, {after['display_spell_navbar']} after; root: "
          f"{after['arch'][: after['arch'].index('>') + 1]}")
    check(before is False and after["display_spell_navbar"] is True, "a listed navbar view shows the navbar")


@step("Change the configuration: move it to industries")
def change(story):
    env, config = story.env, story.config
    old_views = config.extended_search_view_ids
    config.model_id = env.ref("base.model_res_partner_industry")
    print(f"   marked models: {marked_models(env)}; removed contacts' extension views: "
          f"{len(old_views - old_views.exists())} of {len(old_views)}; new: "
          f"{config.extended_search_view_ids.mapped('name')}")
    check(marked_models(env) == ["res.partner.industry"] and not old_views.exists()
          and config.extended_search_view_ids, "the mark and the extension views moved")
    found = web_search(env, "res.partner", "name", "zs")
    print(f"   contacts' name field, typed 'zs': {', '.join(found.mapped('name')) or 'nothing'}")
    check(not found, "contacts are no longer found by their spell")


@step("Delete the configuration")
def delete(story):
    env = story.env
    views = story.config.extended_search_view_ids
    story.config.unlink()
    print(f"   configurations: {env['lumq_spell.config'].search_count([])}; marked models: "
          f"{marked_models(env)}; removed extension views: {len(views - views.exists())} of {len(views)}")
    check(not env["lumq_spell.config"].search_count([]) and not marked_models(env) and not views.exists(),
          "deleting removes configuration, mark and views")


@step("Upgrade lumq_spell with the immediate module button: configuration stays")
def upgrade(story):
    env = story.env
    env["lumq_spell.config"].create({"model_id": env.ref("base.model_res_partner").id})
    story.module.button_immediate_upgrade()
    kept = env["lumq_spell.config"].search([]).mapped("model_name")
    zhang = env["res.partner"].browse(story.partner_ids[0])
    print(f"   configurations for {kept}; marked models: {marked_models(env)}; "
          f"张三's full spell: {zhang.lumq_full_spell}")
    check(kept == ["res.partner"] and marked_models(env) == ["res.partner"]
          and zhang.lumq_full_spell == "zhangsan", "an upgrade keeps configuration, marks and spells")


@step("Uninstall lumq_spell as an immediate module action: no configuration or mark remains")
def uninstall(story):
    env, cr = story.env, story.cr
    Module = env.registry["ir.module.module"]
    seen = []

    # The uninstall action, watched as it starts: by then the module hook
    # has removed every configuration and mark.
    def button_uninstall(modules):
        seen.append((modules.env["lumq_spell.config"].search_count([]), marked_models(modules.env)))
        return Module.button_uninstall(modules)

    story.module._button_immediate_function(button_uninstall)
    print(f"   as the uninstall started: configurations {seen[0][0]}; marked models: {seen[0][1]}")
    check(seen == [(0, [])], "the module hook cleaned up before the uninstall")
    left = {
        "configuration table": sql.table_exists(cr, "lumq_spell_config"),
        "mark column": sql.column_exists(cr, "ir_model", "is_spell_attached"),
        "lumq_spell.config model": "lumq_spell.config" in env,
    }
    contacts = env["res.partner"].browse(story.partner_ids).exists()
    print(f"   module lumq_spell: {story.module.state}; "
          + "; ".join(f"{what}: {'present' if there else 'gone'}" for what, there in left.items()))
    print(f"   contacts kept: {', '.join(contacts.mapped('name'))}")
    check(story.module.state == "uninstalled" and not any(left.values()), "uninstalling removes everything")
    check(len(contacts) == len(CONTACTS), "the contacts themselves are kept")


def tell(db_name="lumq_spell_demo"):
    """Run every step on a new database; a step that fails raises StepFailed."""
    story = SimpleNamespace(db_name=db_name, cr=None)
    try:
        for title, function in STEPS:
            print(f"\n== {title}")
            function(story)
    finally:
        drop_database(db_name, story.cr)
    print("\nAll steps gave what they showed.")


def main(db_name="lumq_spell_demo"):
    if REAL_SERVER:
        # The server's own configuration (database access, addons path); its
        # log goes to a file, so that the output is the story alone.
        SERVER_LOG.parent.mkdir(parents=True, exist_ok=True)
        config.parse_config(["-c", os.environ["LUMQ_ODOO_CONF"], "--no-http",
                             "--log-level=warn", f"--logfile={SERVER_LOG}"])
    print(f"Host: {host_name()}")
    try:
        tell(db_name)
    except StepFailed as failure:
        print(f"   FAILED: {failure}")
        if REAL_SERVER:
            print(f"   the server's warnings and errors: {SERVER_LOG}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
