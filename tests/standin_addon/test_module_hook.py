"""The module hook: uninstalling lumq_spell first removes every spell
configuration and detaches the spell class from every model; other module
actions, and actions on other modules, only pass through.

Not in the addon's own suite (addon/lumq_spell/tests): these drive the module
buttons' _button_immediate_function, which real Odoo refuses inside tests,
or uninstall the addon; and the calls they watch the hook make (flush_model,
flush_all) are ones that real Odoo's ORM also makes on its own.
"""
import pytest

from odoo import api
from odoo.addons.base.models.ir_module import Module as HostModule
from odoo.addons.lumq_spell.tests.common import INTERNAL_SWITCH, enable, web_search as search
from odoo.modules.registry import Registry

CLEAN_UP = ["unlink", "write", "flush_model", "flush_all", "setup_models"]


def state(env):
    """(configured models, marked models), read from the database, where
    pending changes do not count."""
    env.cr.execute("SELECT model_name FROM lumq_spell_config ORDER BY id")
    configured = [row[0] for row in env.cr.fetchall()]
    env.cr.execute("SELECT model FROM ir_model WHERE is_spell_attached ORDER BY model")
    marked = [row[0] for row in env.cr.fetchall()]
    return configured, marked


class Watch:
    """The calls that the hook makes itself (not those nested in them), with
    a step that can be made to fail, and what the host's action was given."""

    def __init__(self):
        self.log, self.failing, self.flags, self.depth = [], [], [], 0
        self.started = None

    def spy(self, monkeypatch, cls, name):
        original = getattr(cls, name)

        def method(*args, **kwargs):
            if not self.depth:
                self.log.append(name)
                if name == "unlink":
                    self.flags.append(args[0].env.context.get("ignore_extend_search_view"))
                if name in self.failing:
                    raise RuntimeError(name)
            self.depth += 1
            try:
                return original(*args, **kwargs)
            finally:
                self.depth -= 1

        monkeypatch.setattr(cls, name, method)

    def parent(self, modules, function):
        """Instead of the host's action: note the state it would start from."""
        self.log.append("parent")
        self.started = (function, modules.mapped("name"), state(modules.env))
        return "done"


@pytest.fixture
def watch(env, monkeypatch):
    watch = Watch()
    watch.spy(monkeypatch, env.registry["lumq_spell.config"], "unlink")
    watch.spy(monkeypatch, env.registry["ir.model"], "write")
    watch.spy(monkeypatch, env.registry["ir.module.module"], "flush_model")
    watch.spy(monkeypatch, api.Environment, "flush_all")
    watch.spy(monkeypatch, Registry, "setup_models")
    monkeypatch.setattr(HostModule, "_button_immediate_function",
                        lambda modules, function: watch.parent(modules, function))
    return watch


def modules(env, *names):
    """Those module records, lumq_spell last of them."""
    return env["ir.module.module"].search([("name", "in", names)], order="name desc")


def action(name):
    """A stand-in for the host's module action of that name."""
    def function(modules):
        raise AssertionError("the host's action is not run here")
    function.__name__ = name
    return function


@pytest.mark.parametrize("names", [("lumq_spell",), ("lumq_spell", "spell_test_models")])
@pytest.mark.parametrize("configured", [True, False])
def test_uninstall_cleans_up_before_the_action(env, watch, names, configured):
    if configured:
        enable(env, "res.partner")
        assert state(env) == (["res.partner"], ["res.partner"])
    watch.log.clear()
    uninstall = action("button_uninstall")
    assert modules(env, *names)._button_immediate_function(uninstall) == "done"
    assert watch.log == CLEAN_UP + ["parent"]
    assert watch.flags == [INTERNAL_SWITCH]
    assert watch.started == (uninstall, sorted(names, reverse=True), ([], []))


@pytest.mark.parametrize("names, function", [
    (("spell_test_models",), "button_uninstall"),
    (("base", "spell_test_models"), "button_uninstall"),
    (("lumq_spell",), "button_upgrade"),
    (("lumq_spell",), "button_install"),
    (("lumq_spell", "spell_test_models"), "button_upgrade"),
])
def test_other_actions_only_pass_through(env, watch, names, function):
    enable(env, "res.partner")
    watch.log.clear()
    function = action(function)
    assert modules(env, *names)._button_immediate_function(function) == "done"
    assert watch.log == ["parent"]
    assert watch.started == (function, sorted(names, reverse=True), (["res.partner"], ["res.partner"]))


@pytest.mark.parametrize("step", CLEAN_UP)
def test_a_failing_step_stops_the_hook(env, watch, step):
    enable(env, "res.partner")
    watch.log.clear()
    watch.failing.append(step)
    with pytest.raises(RuntimeError, match=step):
        modules(env, "lumq_spell")._button_immediate_function(action("button_uninstall"))
    assert watch.log == CLEAN_UP[:CLEAN_UP.index(step) + 1]


def test_uninstall_with_several_configurations(env, monkeypatch):
    """The real uninstall, watched as it starts."""
    enable(env, "res.partner")
    enable(env, "spell.test.record")
    env["res.partner"].create({"name": "张三"})
    Module = env.registry["ir.module.module"]
    uninstall, started = Module.button_uninstall, []

    def button_uninstall(modules):
        started.append(state(modules.env))
        return uninstall(modules)

    monkeypatch.setattr(Module, "button_uninstall", button_uninstall)
    modules(env, "lumq_spell").button_immediate_uninstall()
    assert started == [([], [])]
    assert modules(env, "lumq_spell").state == "uninstalled"
    assert env["res.partner"].search([]).mapped("name") == ["张三"]


def test_scheduled_uninstall_removes_configuration_and_its_views(env):
    """Marked for removal and carried out by a registry update, as the apps
    screen or a script does: the module buttons' hook does not run."""
    enable(env, "res.partner")
    partner = env["res.partner"].create({"name": "张三"})
    views = env["lumq_spell.config"].search([]).extended_search_view_ids
    env["ir.module.module"].search([("name", "=", "lumq_spell")]).button_uninstall()
    env.cr.commit()
    Registry.new(env.cr.dbname, update_module=True)
    env = api.Environment(env.cr, env.uid, {})
    assert views and not views.exists()
    assert "lumq_spell.config" not in env
    assert search(env, "res.partner", "name", "张三") == partner
