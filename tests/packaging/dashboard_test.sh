#!/usr/bin/env bash
# The shipped Grafana dashboard: its JSON parses and has what Grafana's import needs (title,
# uid, schemaVersion, the job, instance and VFG variables, panels with ids and positions); then
# every query, its variables replaced as Grafana replaces them with All selected (a multi-value
# variable by its allValue, a constant by its text) and $__rate_interval by its least, four
# scrape intervals, must return series from a real Prometheus scraping the exporter on the
# built-in board (VFG 0 named) every 15 s, and from another scraping every minute. A rate needs
# two scrapes, the second server's up to two minutes after its start: each waits up to 150 s.
# Usage: dashboard_test.sh EXPORTER DASHBOARD
# Exit 77 (skipped) where a program is missing, except under CI=true: there it fails.
set -uo pipefail
# shellcheck source=tests/lib.sh
source "$(dirname "$(realpath "$0")")/../lib.sh" && servers_set_up
require "prometheus python3 curl" prometheus python3 curl

# The panels' queries and, for each query variable's label_values(SERIES, LABEL), count by
# (LABEL) (SERIES), with the variables replaced; one a line.
queries() {  # SCRAPE_SECONDS
  python3 - "$2" "$1" <<'PY' || fail "the dashboard is not one Grafana imports"
import json, re, sys
board = json.load(open(sys.argv[1]))
variables = {v["name"]: v for v in board["templating"]["list"]}
assert board["title"] and board["uid"] and board["schemaVersion"], "no title, uid or schema"
assert {"job", "instance", "vfg"} <= variables.keys(), "a variable is missing"
def replaced(text):
    text = text.replace("$__rate_interval", f"{4 * int(sys.argv[2])}s")
    for name, v in variables.items():
        value = v["query"] if v["type"] == "constant" else v.get("allValue") or "boardstat"
        text = text.replace("$" + name, value)
    assert "$" not in text, f"a variable is left in {text}"
    return text
for v in variables.values():
    if v["type"] == "query":
        print(replaced(re.sub(r"label_values\((.+), (\w+)\)", r"count by (\2) (\1)",
                              v["query"]["query"])))
ids = [panel["id"] for panel in board["panels"] if panel["gridPos"]]
assert len(set(ids)) == len(ids), "a panel id twice"
for panel in board["panels"]:
    for target in panel.get("targets", []):
        assert target["refId"] and target["datasource"]["uid"] == "${datasource}", target
        print(replaced(target["expr"]))
PY
}
queries 15 "$2" > /dev/null || exit 1

start exporter /metrics "$1" --web.listen-address=127.0.0.1:@PORT@ --collect.vfg-name="0=line 3 top"
target=127.0.0.1:$port
has_series() {  # QUERY: true when the query returns at least one series
  curl -sf "$api" --data-urlencode "query=$1" | grep -q '"result":\[{'
}
all_answer() {  # SCRAPE_SECONDS DASHBOARD
  while IFS= read -r silent; do has_series "$silent" || return 1; done < <(queries "$@")
}
for seconds in 15 60; do
  prometheus_name=prometheus_$seconds start_prometheus "$target" ", scrape_interval: ${seconds}s"
  apis[seconds]=$api
done
for seconds in 15 60; do
  api=${apis[seconds]}
  within 150 all_answer "$seconds" "$2" || fail "scraped every $seconds s, no series for: $silent"
  echo "scraped every $seconds s: every query returns series after $SECONDS s"
done
has_series 'boardstat_vfg_info{vfg="0",name="line 3 top"}' || fail "VFG 0 has no name"
echo PASS
