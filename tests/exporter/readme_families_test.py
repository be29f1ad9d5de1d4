#!/usr/bin/env python3
"""Every metric family that the README's metrics table names is in the exporter's exposition.

Usage: readme_families_test.py README.md EXPORTER

The table's first column names families in backquotes: a name, a name with {a,b} choices
(every combination is a family), or a pattern with * followed by further `_suffix` items, each
of which stands for the same pattern with that suffix; a pattern needs at least one family.
The exposition is one `--once --collect.probe=all` of the built-in board, its # TYPE lines.
"""
import fnmatch
import itertools
import os
import re
import subprocess
import sys


def table_names(readme):
    text = open(readme, encoding="utf-8").read()
    section = re.search(r"^### Metrics\n(.*?)^#", text, re.S | re.M)
    if not section:
        sys.exit(f"{readme}: no '### Metrics' section")
    names = []
    # The first table only: the exporter's own metrics, in a table of their own, are served
    # over HTTP and not in the --once exposition.
    first_table = re.search(r"^\|.*?(?=^[^|])", section[1], re.S | re.M)
    for row in first_table[0].splitlines():
        cells = row.split("|")
        if len(cells) < 3 or not cells[1].strip() or set(cells[1].strip()) <= set("-: "):
            continue
        names += re.findall(r"`([^`]+)`", cells[1])
    return names


def expand(name):
    """The families that a name of the table stands for: {a,b} gives each choice."""
    parts = re.split(r"\{([^}]*)\}", name)
    choices = [[p] if i % 2 == 0 else p.split(",") for i, p in enumerate(parts)]
    return ["".join(c) for c in itertools.product(*choices)]


def wanted(names):
    """(pattern, is_wildcard) for every family the table names."""
    out, stem = [], None
    for name in names:
        if name.startswith("_") and stem:
            out.append((stem + name, True))
        elif name.startswith("boardstat_"):
            stem = name[: name.rindex("*") + 1] if "*" in name else None
            out += [(family, "*" in family) for family in expand(name)]
    return out


def main():
    readme, exporter = sys.argv[1:3]
    env = {k: v for k, v in os.environ.items() if not k.startswith("BOARDSIM_")}
    run = subprocess.run([exporter, "--once", "--collect.probe=all"], capture_output=True,
                         timeout=120, env=env)
    exposition = run.stdout.decode("utf-8", "replace")
    families = set(re.findall(r"^# TYPE (\S+) ", exposition, re.M))
    if run.returncode != 0 or not families:
        print(f"the exporter gave status {run.returncode} and {len(families)} families:\n"
              f"{run.stderr.decode('utf-8', 'replace')}")
        return 1
    patterns = wanted(table_names(readme))
    missing = [p for p, wild in patterns
               if not (fnmatch.filter(families, p) if wild else p in families)]
    for pattern in missing:
        print(f"README names {pattern}, the exposition has no such family")
    print(f"{len(patterns) - len(missing)} of {len(patterns)} families of the README's table "
          f"are in the exposition ({len(families)} families)")
    return 1 if missing or len(patterns) < 20 else 0


if __name__ == "__main__":
    sys.exit(main())
