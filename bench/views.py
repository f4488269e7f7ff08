"""List views: ``get_view`` of a list view through the addon's hook against
the same call with the hook's decision skipped, that is the parent alone
(``super(IrViewExtend, model).get_view``), once the navbar view list is in
the method cache; and the SQL statements that each call runs.
"""
from harness import (
    StatementCounter, chinese_names, create_partners, emit, enable, new_env, rate_row, ratio_row,
    side_by_side, timed,
)

from odoo.addons.lumq_spell.models.spell_models import IrViewExtend

SECTION = "4 list views"


def calls(func, count):
    def run():
        for _ in range(count):
            func()
    return run


def count_row(figure, count):
    return {"section": SECTION, "figure": figure, "unit": "per call", "n": 1, "min": count,
            "median": count, "target": ""}


def main(repeats=21):
    env = new_env("bench_views")
    create_partners(env, chinese_names(20))
    enable(env, "res.partner")
    cases = [
        ("res.partner, enabled (navbar shown)", "res.partner", True),
        ("res.partner.industry, not enabled", "res.partner.industry", False),
    ]
    rows = []
    for label, model_name, shown in cases:
        model = env[model_name]

        def hook():
            return model.get_view(None, "tree")

        def parent():
            return super(IrViewExtend, model).get_view(None, "tree")

        described = hook()
        assert described["display_spell_navbar"] is shown, label
        assert "display_spell_navbar" not in parent(), label
        statements = {}
        for name, func in (("hook", hook), ("parent", parent)):
            func()              # the cache is warm
            with StatementCounter(env) as counter:
                func()
            statements[name] = counter.count
        count = max(10, int(0.05 / (timed(calls(hook, 10)) / 10)))
        times = side_by_side({"hook": calls(hook, count), "parent": calls(parent, count)}, repeats)
        rows += [
            rate_row(SECTION, f"{label}: get_view of the list view, hook", "calls/s", count,
                     times["hook"]),
            rate_row(SECTION, f"{label}: the parent alone", "calls/s", count, times["parent"]),
            ratio_row(SECTION, f"{label}: hook / parent", times["hook"], times["parent"]),
            count_row(f"{label}: SQL statements, parent alone", statements["parent"]),
            count_row(f"{label}: SQL statements added by the hook",
                      statements["hook"] - statements["parent"]),
        ]
    emit(rows)


if __name__ == "__main__":
    main()
