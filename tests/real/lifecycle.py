"""The life of an installation of lumq_spell on a real Odoo 17 server, as an
administrator lives it: install, enable two models, upgrade the addon, base
and the enabled model's own addon, restart, and uninstall.  What must hold
after each step is checked; the run ends with one line "N passed, N failed".

Module actions commit and rebuild the registry, which Odoo forbids inside its
test runner, so this runs as a script on a database of its own, the way
`odoo-bin shell` runs one:  "$LUMQ_PYTHON" tests/real/lifecycle.py DBNAME
(inside env/odoo17, which provides LUMQ_ODOO_SRC and LUMQ_ODOO_CONF).
"""
import os
import sys

sys.path.insert(0, os.environ["LUMQ_ODOO_SRC"])

import odoo  # noqa: E402
from odoo import SUPERUSER_ID, api  # noqa: E402
from odoo.modules.registry import Registry  # noqa: E402
from odoo.tools import config, sql  # noqa: E402

SPELLS = ("lumq_full_spell", "lumq_simple_spell", "lumq_first_spell")
ENABLED = {"res.partner": "res_partner", "spell.test.record": "spell_test_record"}
results = []


def check(condition, what):
    results.append(bool(condition))
    print(f"   {'ok' if condition else 'FAILED'}: {what}", flush=True)


def web_search(env, model_name, field_name, text):
    """The web client's search, as the addon's tests run it (the addon is
    importable once a registry is loaded)."""
    from odoo.addons.lumq_spell.tests.common import web_search as search

    return search(env, model_name, field_name, text)


def snapshot(env):
    """What an upgrade or a restart must keep, as comparable values."""
    cr = env.cr
    # all but the reflected inheritance of the spell mixin: the addon's own
    # bookkeeping of the class it adds, which Odoo reflects anew at set-up
    cr.execute("SELECT module, name, model, res_id FROM ir_model_data "
               "WHERE NOT (model = 'ir.model.inherit' AND name LIKE '%%lumq_spell_spell_mixin')")
    xmlids = set(cr.fetchall())
    cr.execute("SELECT model, is_spell_attached, spell_field_name FROM ir_model "
               "WHERE model IN %s ORDER BY model", [tuple(ENABLED) + ("lumq_spell.config",)])
    models = cr.fetchall()
    columns = {(table, column): sql.column_exists(cr, table, column)
               for table in ENABLED.values() for column in SPELLS}
    rows = {}
    for model_name, table in ENABLED.items():
        cr.execute(f"SELECT id, name, {', '.join(SPELLS)} FROM {table} ORDER BY id")
        rows[model_name] = cr.fetchall()
    configs = [(c.model_name, c.spell_field_name, c.show_spell_navbar,
                bool(c.extended_search_view_ids) and all(c.extended_search_view_ids.exists()))
               for c in env["lumq_spell.config"].search([], order="model_name")]
    return {"xmlids": xmlids, "models": models, "columns": columns, "rows": rows,
            "configs": configs}


def kept(env, before, what):
    after = snapshot(env)
    lost = before["xmlids"] - after["xmlids"]
    check(not lost, f"{what}: every XML id is kept" + (f" (lost: {sorted(lost)[:5]})" if lost else ""))
    for key in ("models", "columns", "rows", "configs"):
        check(after[key] == before[key], f"{what}: every {key[:-1]} is kept")
    zhang = env.ref("base.main_partner").browse(before["zhang"])
    check(web_search(env, "res.partner", "name", "zs") == zhang, f"{what}: typing 'zs' finds 张三 alone")
    check(web_search(env, "spell.test.record", "code", "ls").mapped("code") == ["李四"],
          f"{what}: the test model's records are found by pinyin")


def module(env, name):
    return env["ir.module.module"].search([("name", "=", name)])


def main(db_name):
    config.parse_config(["-c", os.environ["LUMQ_ODOO_CONF"], "-d", db_name, "--no-http"])
    registry = Registry.new(db_name)
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})

        print("== install lumq_spell and the test models")
        env["ir.module.module"].update_list()
        (module(env, "lumq_spell") | module(env, "spell_test_models")).button_immediate_install()
        check(module(env, "lumq_spell").state == "installed", "lumq_spell is installed")

        print("== enable contacts and the test records")
        zhang = env["res.partner"].create([{"name": "张三"}, {"name": "李四"}])[0]
        env["spell.test.record"].create([{"name": "a", "code": "张三"}, {"name": "b", "code": "李四"}])
        env["lumq_spell.config"].create([
            {"model_id": env["ir.model"]._get_id("res.partner")},
            {"model_id": env["ir.model"]._get_id("spell.test.record"),
             "spell_field_id": env["ir.model.fields"]._get("spell.test.record", "code").id},
        ])
        # a customization module's manual model (as Studio makes one): its ids
        # are that module's, whatever the registry loads and upgrades do
        foo = env["ir.model"].create({"name": "Foo", "model": "x_foo", "field_id": [
            (0, 0, {"name": "x_name", "field_description": "Name", "ttype": "char"})]})
        env["ir.model.data"].create([
            {"module": "studio_customization", "name": "model_x_foo", "model": "ir.model",
             "res_id": foo.id},
            {"module": "studio_customization", "name": "field_x_foo__x_name",
             "model": "ir.model.fields", "res_id": foo.field_id.filtered(lambda f: f.name == "x_name").id},
        ])
        cr.commit()
        before = snapshot(env)
        before["zhang"] = zhang.id
        check(zhang.lumq_full_spell == "zhangsan", "张三's full spell is zhangsan")
        kept(env, before, "after enabling")

        for name in ("lumq_spell", "base", "spell_test_models"):
            print(f"== upgrade {name}")
            module(env, name).button_immediate_upgrade()
            kept(env, before, f"after upgrading {name}")
            cr.execute("SELECT module || '.' || name FROM ir_model_data WHERE model = 'ir.model' "
                       "AND name IN ('model_lumq_spell_config', 'model_lumq_spell_spell_mixin') "
                       "AND module != 'lumq_spell'")
            stray = [row[0] for row in cr.fetchall()]
            check(not stray, f"after upgrading {name}: no XML id of the addon's models in "
                  f"another module" + (f" ({stray})" if stray else ""))

        print("== restart")
    registry = Registry.new(db_name)
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        kept(env, before, "after a restart")

        print("== uninstall lumq_spell")
        module(env, "lumq_spell").button_immediate_uninstall()
        check(module(env, "lumq_spell").state == "uninstalled", "lumq_spell is uninstalled")
        check(not sql.table_exists(cr, "lumq_spell_config"), "the configuration table is gone")
        check(not sql.column_exists(cr, "ir_model", "is_spell_attached"), "the mark column is gone")
        cr.execute("SELECT name FROM ir_ui_view WHERE name LIKE '%% search view spell extend'")
        check(not cr.fetchall(), "no extension view is left")
        check(env["res.partner"].browse(before["zhang"]).name == "张三", "the contacts are kept")
        columns = [f"{table}.{column}" for table in ENABLED.values() for column in SPELLS
                   if sql.column_exists(cr, table, column)]
        check(not columns, "no spell column is left" + (f" ({columns})" if columns else ""))
        leftovers = {
            "ir_model rows": "SELECT model FROM ir_model WHERE model LIKE 'lumq_spell.%%'",
            "field rows": "SELECT model || '.' || name FROM ir_model_fields WHERE name LIKE 'lumq\\_%%'",
            "inherit rows": "SELECT m.model FROM ir_model_inherit i JOIN ir_model m ON m.id = i.model_id "
                            "JOIN ir_model p ON p.id = i.parent_id WHERE p.model LIKE 'lumq_spell.%%'",
            "XML ids": "SELECT module || '.' || name FROM ir_model_data "
                       "WHERE (module = 'lumq_spell' OR name LIKE '%%lumq_spell%%') "
                       "AND model != 'ir.module.module'",
            "tables": "SELECT tablename FROM pg_tables WHERE tablename LIKE 'lumq_spell%%'",
            "triggers or functions": "SELECT proname FROM pg_proc WHERE proname LIKE 'lumq_spell%%' "
                                     "UNION SELECT tgname FROM pg_trigger WHERE tgname LIKE '%%lumq_spell%%'",
            "indexes": "SELECT indexname FROM pg_indexes WHERE indexname LIKE '%%lumq_spell%%'",
        }
        for what, query in leftovers.items():
            cr.execute(query)
            rows = [row[0] for row in cr.fetchall()]
            check(not rows, f"no {what} of the addon are left" + (f" ({rows[:5]})" if rows else ""))
    # the server starts again and serves the views of the models that were enabled
    registry = Registry.new(db_name)
    with registry.cursor() as cr:
        env = api.Environment(cr, SUPERUSER_ID, {})
        for model_name in ENABLED:
            for view_type in ("search", "tree", "form"):
                arch = env[model_name].get_view(view_type=view_type)["arch"]
                check("lumq" not in arch, f"after a restart, the {view_type} view of {model_name} "
                      f"loads and names no spell field")
        check(env["res.partner"].search([("name", "=", "张三")]), "contacts are searched as before")
    failed = results.count(False)
    print(f"lifecycle: {len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
