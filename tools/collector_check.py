#!/usr/bin/env python3
"""Checks a collector's database after a load run: exactly the expected number of event rows, and
every report the generator saw acknowledged (tools/collector_load.py --acknowledged) stored once.

    collector_check.py --db SQLITE-FILE|POSTGRESQL-URL --acknowledged JSON [--reports N]

Prints the figures and ends with 0 when the database is as it must be, else with 1 and what is
wrong.
"""

import argparse
import json
import os
import sys
from collections import Counter

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, ROOT)
from collector.store import open_store  # noqa: E402 (the collector package of this tree)


def stored_reports(store):
    """How often each (device, seq) is stored, counted once per message: a message of several
    items has several rows, with item_index 0 for its first."""
    return Counter((row["device"], row["client_seq"]) for row in store.events() if row["item_index"] == 0)


def check(store, acknowledged, reports):
    """The figures of the check and the list of what is wrong (empty when all is well)."""
    counts = stored_reports(store)
    rows = store.count_events()
    acknowledged = {tuple(pair) for pair in acknowledged}
    missing = sorted(pair for pair in acknowledged if counts[pair] == 0)
    twice = sorted(pair for pair, count in counts.items() if count > 1)
    problems = []
    if reports is not None and rows != reports:
        problems.append("%d rows stored, %d expected" % (rows, reports))
    if missing:
        problems.append("%d acknowledged reports are missing, e.g. %s" % (len(missing), missing[:5]))
    if twice:
        problems.append("%d reports are stored more than once, e.g. %s" % (len(twice), twice[:5]))
    figures = {"rows": rows, "acknowledged": len(acknowledged), "missing": len(missing),
               "stored_twice": len(twice)}
    return figures, problems


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--db", required=True, help="the collector's SQLite file or PostgreSQL URL")
    parser.add_argument("--acknowledged", required=True, help="the generator's --acknowledged file")
    parser.add_argument("--reports", type=int, help="the number of rows the database must hold")
    args = parser.parse_args(argv)
    with open(args.acknowledged) as data:
        acknowledged = json.load(data)["acknowledged"]
    figures, problems = check(open_store(args.db, create=False), acknowledged, args.reports)
    for name, value in figures.items():
        print("%-24s %s" % (name, value))
    for problem in problems:
        print("collector_check: %s" % problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
