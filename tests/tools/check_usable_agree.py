#!/usr/bin/env python3
"""Coverage counts exactly the positions the plan report leaves unflagged.

usage: check_usable_agree.py QUORVEL_CLI MODEL PLANS_DIR

For plans whose framing and grazing limit flag more than the defaults do,
`report --json` and `coverage --json` on the same plan must agree on the
number of usable positions, and that number must differ from what the
default report options give (or the check would prove nothing).
"""
import json
import subprocess
import sys

cli, model, plans = sys.argv[1:4]


def run(*args):
    out = subprocess.run([cli, *args], check=True, capture_output=True, text=True).stdout
    return json.loads(out)


cases = [
    ["--plan", f"{plans}/framed.qplan"],
    ["--plan", f"{plans}/spiral-framed.qplan", "--grazing", "30"],
    ["--plan", f"{plans}/grid_steps.qplan", "--sensor", "36x24", "--focal", "24", "--grazing", "20"],
]
failed = False
for case in cases:
    report = run("report", "--json", *case)["usable"]
    coverage = run("coverage", model, "--json", *case)["usable_positions"]
    plain = run("report", "--json", "--plan", case[1])["usable"]
    if report != coverage:
        print(f"{case}: report {report} usable, coverage {coverage}")
        failed = True
    # Only the options beside the plan change what the plain plan judges.
    if len(case) > 2 and plain == report:
        print(f"{case}: the options changed nothing ({plain}); the case tests nothing")
        failed = True
    print(f"{' '.join(case)}: {report} usable in both")
sys.exit(1 if failed else 0)
