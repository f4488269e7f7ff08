"""How enabled models keep their spell class across a restart, in a second
database of the same process, and through an addon's upgrade.

Not in the addon's own suite (addon/lumq_spell/tests): each of these rebuilds
a registry from scratch, as after a restart, opens a second database, or
upgrades an addon through _button_immediate_function, which real Odoo refuses
inside tests; the stand-in can do all three in a test.
"""
import pytest

from odoo.addons.base.models.res_partner import Partner
from odoo.addons.lumq_spell.models import spell_models
from odoo.addons.lumq_spell.tests.common import LISI, ZHANG, enable, spells
from odoo.addons.spell_test_models.models.test_models import SpellTestRecord
from odoo.models import MetaModel
from odoo.modules.registry import Registry
from odoo.tools import sql

MIXIN = "lumq_spell.spell_mixin"


def attached(registry, model_name):
    return "lumq_full_spell" in registry[model_name]._fields


@pytest.mark.parametrize("missing", ["table", "column"])
def test_nothing_is_attached_before_table_and_column_exist(env, missing):
    cr = env.cr
    cr.execute("UPDATE ir_model SET is_spell_attached = 1 WHERE model = 'spell.test.record'")
    renames = {
        "table": ("ALTER TABLE lumq_spell_config RENAME TO lumq_spell_config_x",
                  "ALTER TABLE lumq_spell_config_x RENAME TO lumq_spell_config"),
        "column": ("ALTER TABLE ir_model RENAME COLUMN is_spell_attached TO is_spell_x",
                   "ALTER TABLE ir_model RENAME COLUMN is_spell_x TO is_spell_attached"),
    }[missing]
    cr.execute(renames[0])
    cr.commit()
    assert not attached(Registry.new(cr.dbname), "spell.test.record")
    cr.execute(renames[1])
    cr.commit()
    assert attached(Registry.new(cr.dbname), "spell.test.record")


@pytest.mark.parametrize("definition, name", [
    (SpellTestRecord, "name"),          # no list of its own
    (Partner, "name"),                  # a list of its own
])
def test_name_search_after_a_restart_and_in_another_database(env, make_env, definition, name):
    own = definition.__dict__.get("_rec_names_search")
    model_name = definition._name
    expected = (list(own or ()) or [name]) + ["lumq_full_spell", "lumq_simple_spell"]

    def check(env):
        Model = env[model_name]
        record = Model.create({name: "制造业"})
        for text in ("制造", "zhizao", "zzy"):
            assert record.id in [id_ for id_, _name in Model.name_search(text)], text
        assert Model._rec_names_search == expected

    enable(env, model_name)
    # a new registry of the same database, as after a restart
    env.cr.commit()
    Registry.new(env.cr.dbname)
    check(env)

    # another database in the same process: first without, then with spell
    other = make_env("spell_test_models")
    assert other[model_name]._rec_names_search == own
    enable(other, model_name)
    check(other)
    check(env)
    assert definition.__dict__.get("_rec_names_search") is own


@pytest.mark.parametrize("hide_module", [False, True])
def test_upgrade_keeps_enabled_model(env, monkeypatch, hide_module):
    records = env["spell.test.record"].create([{"name": "张三"}, {"name": "李四"}])
    config = enable(env, "spell.test.record")
    row = env["ir.model"]._get("spell.test.record")
    xml_id = "spell_test_models.model_spell_test_record"
    assert env.ref(xml_id) == row
    if hide_module:
        # the fault: a spell class hiding the module of the model it extends
        instanciate = spell_models.IrModelExtend._instanciate_spell

        def hiding(self, model_data):
            cls = instanciate(self, model_data)
            if cls is not None:
                cls._module = None
            return cls
        monkeypatch.setattr(spell_models.IrModelExtend, "_instanciate_spell", hiding)

    env["ir.module.module"].search([("name", "=", "spell_test_models")]).button_immediate_upgrade()

    kept = [
        sql.table_exists(env.cr, "spell_test_record"),
        row.exists() == row,
        env.ref(xml_id, raise_if_not_found=False) == row,
        config.exists() == config,
    ]
    if hide_module:
        assert not any(kept)
        return
    assert all(kept)
    assert env.registry["spell.test.record"]._module == "spell_test_models"
    assert spells(env["spell.test.record"].search([])) == [ZHANG, LISI]
    assert env["spell.test.record"].search([]) == records
    assert row.is_spell_attached and config.model_id == row
    # the spell class is collected for no addon
    assert not [cls for classes in MetaModel.module_to_models.values()
                for cls in classes if MIXIN in cls._inherit]


def test_restart_keeps_the_module_that_last_extended_the_model(make_env):
    env = make_env("spell_test_extend")
    enable(env, "spell.test.record")
    xml_id = "spell_test_extend.model_spell_test_record"
    assert env.ref(xml_id) == env["ir.model"]._get("spell.test.record")
    env.cr.commit()
    Registry.new(env.cr.dbname)  # a restart: the spell class is built before any set-up
    assert env["spell.test.record"]._module == "spell_test_extend"
    env["ir.module.module"].search([("name", "=", "spell_test_extend")]).button_immediate_upgrade()
    assert env.ref(xml_id, raise_if_not_found=False) == env["ir.model"]._get("spell.test.record")
