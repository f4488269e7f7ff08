"""Reads the log of an Odoo test run and says how it went, in one closing
line ("WHAT: N passed, N failed, N skipped"), after the log lines of every
failure and error.  Exits 1 when a test failed, none ran, or anything was
logged at ERROR or CRITICAL level (Odoo logs a failed install that way, not
as a test).

    "$LUMQ_PYTHON" tests/real/summary.py LOG [WHAT] [--baseline OTHER_LOG]

With a baseline (the log of the same tests run without what is being
tried), only the tests that fail in LOG and not in the baseline count as
failed: the others fail on this machine whatever is installed.
"""
import re
import sys

RESULT = re.compile(r"(\d+) failed, (\d+) error\(s\) of (\d+) tests when loading database")
RECORD = re.compile(r"^\d{4}-\d\d-\d\d \S+ \d+ (\w+) ")
SKIPPED = re.compile(r" INFO \S+ odoo\.addons\.\S+: skipped ")
FAILED_TEST = re.compile(r" (?:ERROR|FAIL): (\S+)")


def read(path):
    """(failed, errors, run, skipped, {failed test: its log record}, [other problems])"""
    failed = errors = run = skipped = 0
    tests, problems = {}, []
    with open(path, encoding="utf-8", errors="replace") as log:
        lines = log.read().splitlines()
    for number, line in enumerate(lines):
        if match := RESULT.search(line):
            failed, errors, run = map(int, match.groups())
            continue
        if SKIPPED.search(line):
            skipped += 1
        match = RECORD.match(line)
        if not match or match.group(1) not in ("ERROR", "CRITICAL"):
            continue
        # the record and its traceback, up to the next log record
        record = [line]
        for more in lines[number + 1:]:
            if RECORD.match(more):
                break
            record.append(more)
        if test := FAILED_TEST.search(line):
            tests[test.group(1)] = record
        elif not any(test in line for test in tests):
            problems.append(record)
    return failed, errors, run, skipped, tests, problems


def main(path, what="lumq_spell on a real Odoo 17 server", *options):
    failed, errors, run, skipped, tests, problems = read(path)
    bad, note = failed + errors, ""
    if options:
        if options[0] != "--baseline" or len(options) != 2:
            sys.exit(f"usage: {sys.argv[0]} LOG [WHAT] [--baseline OTHER_LOG]")
        _, _, base_run, _, base_tests, _ = read(options[1])
        known = set(tests) & set(base_tests)
        note = f" (and {len(known)} that fail without it too)"
        # failures of their own, and the errors they log, are the baseline's
        tests = {test: record for test, record in tests.items() if test not in known}
        problems = [] if base_run else [["the baseline ran no test"]]
        bad = len(tests)
        run -= len(known)
    for record in [*tests.values(), *problems]:
        print("\n".join("  " + line for line in record))
    print(f"{what}: {max(run - bad - skipped, 0)} passed, {bad} failed{note}, {skipped} skipped")
    return 1 if bad or not run or problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
