"""Reads the log of an Odoo test run and says how it went, in one closing
line ("WHAT: N passed, N failed, N skipped"), after the log lines of every failure
and error.  Exits 1 when a test failed, none ran, or anything was logged at
ERROR or CRITICAL level (Odoo logs a failed install that way, not as a test)."""
import re
import sys

RESULT = re.compile(r"(\d+) failed, (\d+) error\(s\) of (\d+) tests when loading database")
LEVEL = re.compile(r"^\S+ \S+ \d+ (ERROR|CRITICAL) ")
SKIPPED = re.compile(r" INFO \S+ odoo\.addons\.\S+: skipped ")


def main(path, what="lumq_spell on a real Odoo 17 server"):
    failed = errors = run = skipped = 0
    problems = []
    with open(path, encoding="utf-8", errors="replace") as log:
        lines = log.read().splitlines()
    for number, line in enumerate(lines):
        if match := RESULT.search(line):
            failed, errors, run = map(int, match.groups())
        elif SKIPPED.search(line):
            skipped += 1
            print("  " + line.split(": ", 1)[-1])
        if LEVEL.match(line) and not RESULT.search(line):
            # the record and its traceback, up to the next log record
            problems.append(line)
            for more in lines[number + 1:]:
                if re.match(r"^\d{4}-\d\d-\d\d ", more):
                    break
                problems.append(more)
    for line in problems:
        print("  " + line)
    bad = failed + errors
    print(f"{what}: {run - bad - skipped} passed, {bad} failed, {skipped} skipped")
    return 1 if bad or not run or problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
