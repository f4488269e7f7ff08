"""Spell computation: ``_compute_spell`` on 10,000 contacts with Chinese names
on the stand-in, against the raw pypinyin calls on the same names (two per
record, as the mixin makes).  The gap is the cost of the mixin and the host.
"""
from pypinyin import Style, lazy_pinyin

from harness import (
    StatementCounter, chinese_names, create_partners, emit, enable, new_env, rate_row, ratio_row,
    side_by_side,
)

SECTION = "2 spell computation"
RECORDS = 10_000
CHUNK = 500             # records per timed call of _compute_spell
RAW_CHUNKS = 10         # chunks of names per timed run of the raw calls (a similar time)


def raw_calls(names):
    for name in names:
        lazy_pinyin(name)
        lazy_pinyin(name, style=Style.FIRST_LETTER)


def main(passes=2):
    env = new_env("bench_spell")
    names = chinese_names(RECORDS)
    ids = create_partners(env, names)
    enable(env)
    records = env["res.partner"].browse(ids)
    assert records[0].lumq_full_spell == "".join(lazy_pinyin(names[0])), "spells not computed"

    with StatementCounter(env) as statements:
        records[:100]._compute_spell()

    # The 10,000 records in chunks, each chunk's computation timed side by
    # side with raw calls on as many names as take about as long, so that
    # both see the same moments of the shared machine; seconds per record.
    starts = range(0, RECORDS, CHUNK)
    compute, raw = [], []
    for _ in range(passes):
        for number, start in enumerate(starts):
            chunk = records[start:start + CHUNK]
            raw_names = []
            for other in range(number, number + RAW_CHUNKS):
                other_start = starts[other % len(starts)]
                raw_names += names[other_start:other_start + CHUNK]
            times = side_by_side({"compute": chunk._compute_spell,
                                  "raw": lambda: raw_calls(raw_names)}, 1)
            compute.append(times["compute"][0] / len(chunk))
            raw.append(times["raw"][0] / len(raw_names))
    emit([
        rate_row(SECTION, "raw lazy_pinyin, two calls per record", "records/s", 1, raw),
        rate_row(SECTION, f"_compute_spell on {RECORDS:,} contacts, {CHUNK} at a time",
                 "records/s", 1, compute),
        ratio_row(SECTION, "_compute_spell / raw lazy_pinyin, per record", compute, raw),
        {"section": SECTION, "figure": "SQL statements of _compute_spell",
         "unit": "per record", "n": 1, "min": statements.count / 100,
         "median": statements.count / 100, "target": ""},
    ])


if __name__ == "__main__":
    main()
