"""The demo's story, end to end: every step checks what it shows.

Not in the addon's own suite (addon/lumq_spell/tests): the story makes and
drops its own databases and runs module actions on them.
"""
import sys
from pathlib import Path

from odoo.addons.lumq_spell.models.spell_models import LumqSpellConfig
from odoo.modules.registry import Registry
from odoo.tests.common import new_db_name

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "demo"))
import story  # noqa: E402


def test_the_story(capsys):
    db_name = new_db_name("story")
    story.tell(db_name)     # each step raises StepFailed when it does not give what it shows
    assert capsys.readouterr().out.endswith("All steps gave what they showed.\n")
    assert db_name not in Registry.registries


def test_a_step_that_fails_ends_the_story_with_status_1(capsys, monkeypatch):
    monkeypatch.setattr(LumqSpellConfig, "dislay_spell_navbar", lambda self, model_id, view_id: False)
    db_name = new_db_name("story")
    assert story.main(db_name) == 1
    out = capsys.readouterr().out
    assert "FAILED: the contacts' tree view shows the navbar" in out
    assert "All steps" not in out and db_name not in Registry.registries
