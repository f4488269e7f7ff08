"""The configuration model lumq_spell.config: enabling, changing and deleting
spell search on a model, and the navbar decision."""
import pytest
from spell_helpers import enable, spells

from odoo.exceptions import ValidationError
from odoo.tests.webclient import search

FLAG = {"ignore_extend_search_view": True}


def marked(env, model_name):
    """(is_spell_attached, spell_field_name) of the model's ir.model row."""
    row = env["ir.model"].search([("model", "=", model_name)])
    return row.is_spell_attached, row.spell_field_name


def extension_views(env, model_name):
    return env["ir.ui.view"].search([("name", "=", f"{model_name} search view spell extend")])


def field_id(env, model_name, name):
    return env["ir.model.fields"].search([("model", "=", model_name), ("name", "=", name)]).id


def test_enable_marks_extends_computes_and_clears_cache(env):
    records = env["spell.test.record"].create([{"name": "x", "code": "张三"}, {"name": "y", "code": "李四"}])
    other = enable(env, "spell.test.item")
    navbar_view = env.ref("spell_test_models.spell_test_record_tree")
    assert other.get_all_spell_view_view_ids() == []
    other.with_context(FLAG).spell_navbar_view_ids = [(4, navbar_view.id)]

    config = enable(env, "spell.test.record", "code")

    assert marked(env, "spell.test.record") == (True, "code")
    assert config.extended_search_view_ids == extension_views(env, "spell.test.record")
    assert len(config.extended_search_view_ids) == 1
    assert spells(records) == [("zhangsan", "zs", "Z"), ("lisi", "ls", "L")]
    assert config.get_all_spell_view_view_ids() == [navbar_view.id]


def test_second_config_for_a_model_is_refused(env):
    config = enable(env, "spell.test.record")
    views = env["ir.ui.view"].search([])
    with pytest.raises(Exception, match="model_id must be unique"):
        enable(env, "spell.test.record", "code")
    assert env["lumq_spell.config"].search([]) == config
    assert env["ir.ui.view"].search([]) == views
    assert marked(env, "spell.test.record") == (True, False)


@pytest.mark.parametrize("show", [True, False])
def test_navbar_decision(env, show):
    Config = env["lumq_spell.config"]
    tree = env.ref("spell_test_models.spell_test_record_tree")
    search_view = env.ref("spell_test_models.spell_test_record_search")
    assert Config.dislay_spell_navbar("spell.test.record", None) is False

    config = enable(env, "spell.test.record", show_spell_navbar=show)
    assert Config.dislay_spell_navbar("spell.test.record", None) is show
    assert Config.dislay_spell_navbar("spell.test.titled", tree.id) is False

    # a listed view shows the navbar, whatever the flag and the model say
    config.spell_navbar_view_ids = [(4, tree.id)]
    assert Config.dislay_spell_navbar("spell.test.record", tree.id) is True
    assert Config.dislay_spell_navbar("spell.test.titled", tree.id) is True

    # a write with the flag leaves the cached list stale until the next clear
    config.with_context(FLAG).spell_navbar_view_ids = [(4, search_view.id)]
    assert Config.dislay_spell_navbar("spell.test.titled", search_view.id) is False
    env.registry.clear_cache()
    assert Config.dislay_spell_navbar("spell.test.titled", search_view.id) is True


def test_change_model_moves_mark_field_and_views(env):
    env["spell.test.titled"].create({"title": "张三"})
    config = enable(env, "spell.test.record", "code")
    old_views = config.extended_search_view_ids

    config.write({
        "model_id": env["ir.model"]._get_id("spell.test.titled"),
        "spell_field_id": field_id(env, "spell.test.titled", "title"),
    })

    assert marked(env, "spell.test.record") == (False, "code")
    assert marked(env, "spell.test.titled") == (True, "title")
    assert not old_views.exists()
    assert config.extended_search_view_ids == extension_views(env, "spell.test.titled")
    assert search(env, "spell.test.titled", "title", "zs").title == "张三"
    assert "lumq" not in env["spell.test.record"].get_view(view_type="search")["arch"]


def test_write_with_flag_changes_stored_values_only(env):
    config = enable(env, "spell.test.record")
    views = config.extended_search_view_ids
    cached = config.get_all_spell_view_view_ids()
    tree = env.ref("spell_test_models.spell_test_record_tree")

    config.with_context(FLAG).write({
        "model_id": env["ir.model"]._get_id("spell.test.item"),
        "spell_navbar_view_ids": [(4, tree.id)],
    })

    assert config.model_name == "spell.test.item"
    assert marked(env, "spell.test.record") == (True, False)
    assert marked(env, "spell.test.item") == (False, False)
    assert config.extended_search_view_ids == views and views.exists()
    assert config.get_all_spell_view_view_ids() == cached == []


@pytest.mark.parametrize("context", [{}, FLAG])
def test_unlink_removes_only_its_own_views_and_mark(env, context):
    env["spell.test.record"].create({"name": "张三"})
    config = enable(env, "spell.test.record")
    other = enable(env, "spell.test.titled", "title")
    other_views = other.extended_search_view_ids

    assert config.with_context(context).unlink() is True

    assert not extension_views(env, "spell.test.record")
    assert marked(env, "spell.test.record")[0] is False
    assert other.extended_search_view_ids == other_views and other_views.exists()
    assert marked(env, "spell.test.titled") == (True, "title")
    arch = env["spell.test.record"].get_view(view_type="search")["arch"]
    assert "lumq" not in arch
    assert search(env, "spell.test.record", "name", "张").name == "张三"


def test_write_and_unlink_of_several_records(env):
    configs = enable(env, "spell.test.record") | enable(env, "spell.test.titled", "title")
    views = configs.mapped("extended_search_view_ids")

    configs.write({"show_spell_navbar": False})

    # each record's views were rebuilt on their own
    assert not views.exists()
    assert [len(c.extended_search_view_ids) for c in configs] == [1, 1]
    assert configs.unlink() is True
    assert not extension_views(env, "spell.test.record") | extension_views(env, "spell.test.titled")
    assert not env["ir.model"].search([("is_spell_attached", "=", True)])


@pytest.mark.parametrize("model_name", [
    "spell.test.wizard", "spell.test.abstract", "spell.test.report", "lumq_spell.config", None,
])
def test_model_that_cannot_carry_spells_is_refused(make_env, model_name):
    env = make_env("spell_test_extend")
    expected = f"cannot be enabled on {model_name}" if model_name else "needs a model"
    model_id = model_name and env["ir.model"]._get_id(model_name)
    with pytest.raises(ValidationError, match=expected):
        env["lumq_spell.config"].create({"model_id": model_id})
    assert not env["lumq_spell.config"].search([])

    config = enable(env, "spell.test.record")
    for context in ({}, FLAG):
        with pytest.raises(ValidationError, match=expected):
            config.with_context(context).write({"model_id": model_id})
    assert config.model_name == "spell.test.record"
    assert marked(env, "spell.test.record") == (True, False)
    if model_name:
        assert marked(env, model_name) == (False, False)


def test_a_configured_model_whose_code_is_gone_blocks_nothing(env):
    config = enable(env, "spell.test.record")
    # an addon removed without being uninstalled leaves its ir.model row and
    # the configuration behind
    env.cr.execute("INSERT INTO ir_model (model, name, \"order\", state, is_spell_attached) "
                   "VALUES ('gone.model', 'Gone', 'id', 'base', true)")
    env.cr.execute("INSERT INTO lumq_spell_config (model_id, model_name, show_spell_navbar) "
                   "SELECT id, model, true FROM ir_model WHERE model = 'gone.model'")
    gone = env["lumq_spell.config"].search([("model_name", "=", "gone.model")])
    config.write({"show_spell_navbar": False})
    gone.unlink()
    assert env["lumq_spell.config"].search([]) == config
    assert spells(env["spell.test.record"].create({"name": "张三"})) == [("zhangsan", "zs", "Z")]
