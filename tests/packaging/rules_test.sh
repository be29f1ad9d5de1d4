#!/usr/bin/env bash
# promtool's unit tests of the alert rules at scrape and evaluation intervals of 15 s, 30 s and
# 1 m: rules_test.yml.in rendered once per interval, then promtool test rules on it.
# Exit 77 (skipped) where promtool is missing, except under CI=true: there it fails.
# Usage: rules_test.sh RULES
set -u
here=$(dirname "$(realpath "$0")")
rules=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# {{ EXPRESSION }}: a Python expression of i, the interval in seconds, with n(s) the scrapes in
# s seconds, dur(s) as Prometheus's humanizeDuration writes s, and the times at which the
# stale-data alerts must fire: the first evaluation past 90 s of standing data (600 s on), and
# one minute after the first past 120 s.
render='
import re, sys
i = int(sys.argv[1])
n = lambda s: s // i
dur = lambda s: f"{s // 60}m {s % 60}s" if s >= 60 else f"{s}s"
stale_at = (690 // i + 1) * i
probe_stale_at = (720 // i + 1) * i + 60
text = open(sys.argv[2]).read().replace("@RULES@", sys.argv[3])
sys.stdout.write(re.sub(r"\{\{(.+?)\}\}", lambda m: str(eval(m.group(1))), text))'
for i in 15 30 60; do
  python3 -c "$render" "$i" "$here/rules_test.yml.in" "$rules" > "$tmp/rules_test_${i}s.yml" ||
    exit 1
  echo "scrapes and evaluations every $i s:"
  bash "$here/tool_test.sh" prometheus promtool test rules "$tmp/rules_test_${i}s.yml" || exit
done
