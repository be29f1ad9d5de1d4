#!/bin/bash
# The built exporter on the simulated board: bad command lines end with status 2; the manual
# lists --help's flags with their defaults; the built-in board's exposition with every probe
# figure has the lines other tools rely on and the families of the manual's METRICS section, and
# passes promtool; one --once collection checked against its exposition and the board's access
# trace; textfile mode writes whole files only, leaves none behind on SIGTERM and no temporary
# file when the rename fails.
# Usage: exporter_test.sh EXPORTER MANUAL
set -u
exporter=$1
manual=$2
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh" && servers_set_up

for args in --bogus "--textfile.directory=$tmp/missing" extra; do  # flags_test.cc has the rest
  timeout 10 "$exporter" "$args" > /dev/null 2> "$tmp/err"
  status=$?
  [ "$status" -eq 2 ] && grep -q '^boardstat_exporter: ' "$tmp/err" || fail "$args: status $status"
done
timeout 10 "$exporter" --version | grep -qx 'boardstat_exporter [0-9][0-9.]*' || fail "--version"

# The manual's OPTIONS and --help name the same flags, and each entry gives its flag's default.
timeout 10 "$exporter" --help | awk '/^  (-h, )?--/ { if (n) print n, d; d = "-"
    n = $1 == "-h," ? $2 : $1; sub(/=.*/, "", n) }
  n && match($0, /\(default [^,;)]+/) { d = substr($0, RSTART + 9, RLENGTH - 9) }
  END { print n, d }' > "$tmp/flags"
entries=$(sed 's/\\-/-/g' "$manual" | awk '/^\.SH/ { if (o && e) print e; e = ""; o = $2 == "OPTIONS" }
  !o { next }
  /^\.TP/ { if (e) print e; e = ""; h = 1; next }
  h { match($0, /--[a-z][a-z.-]*[a-z]/); e = substr($0, RSTART, RLENGTH) " "; h = 0; next }
  e { sub(/^\.[A-Z]+ /, ""); gsub(/"/, ""); e = e " " $0 }')
[ "$(cut -d' ' -f1 <<<"$entries" | sort)" = "$(cut -d' ' -f1 "$tmp/flags" | sort)" ] ||
  fail "the manual's OPTIONS name other flags than --help: $(cut -d' ' -f1 <<<"$entries" | xargs)"
while read -r name default; do
  [ "$default" = - ] || grep -E "^$name " <<<"$entries" | grep -qF -- " $default" ||
    fail "the manual does not give $name's default $default"
done < "$tmp/flags"

# The built-in board with every probe figure: lines that dashboards and alerts rely on; the
# families of the manual's METRICS section (names, or patterns with *) and the exposition's are
# the same, but for those only HTTP serves (the exporter's own); promtool's approval.
timeout 60 "$exporter" --once --collect.probe=all > "$tmp/all" || fail "--once: status $?"
for line in 'boardstat_up 1' 'boardstat_vfgs 3' 'boardstat_vfg_up{vfg="2"} 1' \
  'boardstat_firmware_info{vfg="0",build_date="12/05/2016",build_time="09:07"} 1' \
  '# TYPE boardstat_acquired_frames_total counter' 'boardstat_packet_error{vfg="0",flag="vidDropped"} 1' \
  'boardstat_probe_cc_width_seconds{vfg="0",cc="1"} 2.5e-05'; do
  grep -qxF "$line" "$tmp/all" || fail "no line: $line"
done
documented=$(awk '/^\.SH METRICS/ { m = 1; next } /^\.SH/ { m = 0 } m' "$manual" |
             grep -oE 'boardstat_[a-z0-9_*]+' | grep -v '^boardstat_exporter_' | sort -u)
[ "$(wc -l <<<"$documented")" -ge 20 ] || fail "only $(wc -l <<<"$documented") families in the manual"
exposed=$(awk '$1 == "#" && $2 == "TYPE" { print $3 }' "$tmp/all" | sort -u)
patterns=$(sed 's/\*/.*/g' <<<"$documented")
while read -r pattern; do
  grep -qx "$pattern" <<<"$exposed" || fail "the manual names $pattern, not the exposition"
done <<<"$patterns"
unnamed=$(grep -vx -f <(echo "$patterns") <<<"$exposed") &&
  fail "the exposition has families the manual does not name: $unnamed"
if command -v promtool > /dev/null; then
  complaints=$(timeout 30 promtool check metrics < "$tmp/all" 2>&1) && [ -z "$complaints" ] ||
    fail "promtool check metrics: $complaints"
else  # where HELP and TYPE lines are checked: CI must have it
  [ "${CI:-}" != true ] || fail "promtool is missing (apt-get install prometheus)"
  echo "promtool is missing (apt-get install prometheus): the exposition is not linted"
fi

# A VFG that cannot be opened has only boardstat_vfg_up 0; the acquired counts keep their low
# 16 bits (X in 16-byte units); a latch set before the start is not counted as set; a VFG's name
# is its label; a probe figure that runs out of time is left out; no register but the probe's
# is written.
cat > "$tmp/board" <<'BOARD'
vfg
signal 1 1us 100ns
signal 3 100ns 50ns
signal 32 25ns 12.5ns
signal 38 33.3333ms 33ms
vfg open-fails
vfg
reg 1420 0x12345
reg 1422 0x10002
reg 2702 2
reg 2714 7
BOARD
out=$(BOARDSIM_CONFIG="$tmp/board" BOARDSIM_TRACE="$tmp/trace" timeout 30 "$exporter" --once \
        --collect.probe=basic --collect.vfg-name="0=line 3 top") || fail "--once with a failing VFG"
for line in 'boardstat_up 1' 'boardstat_vfgs 3' 'boardstat_vfg_up{vfg="1"} 0' \
            'boardstat_vfg_up{vfg="2"} 1' 'boardstat_acquired_frames_total{vfg="2"} 9029' \
            'boardstat_acquired_bytes_total{vfg="2"} 32' \
            'boardstat_buffer_run_level{vfg="2",state="ABORT"} 1' \
            'boardstat_buffer_error{vfg="2",flag="cplError"} 1' \
            'boardstat_buffer_error{vfg="0",flag="cplError"} 0' \
            'boardstat_error_latch_sets_total{vfg="2",flag="cplError",panel="BufferManager"} 0' \
            'boardstat_vfg_info{vfg="0",name="line 3 top"} 1' \
            'boardstat_probe_frame_rate_hertz{vfg="0"} 30' \
            'boardstat_probe_camera_clock_hertz{vfg="0"} 4e+07'; do
  grep -qxF "$line" <<< "$out" || fail "no line: $line"
done
grep -E 'vfg="1",|frame_rate_hertz\{vfg="2"|trigger_rate' <<< "$out" && fail "series too many"
other=$(awk '$1 == "poke" && ($3 < 2898 || $3 > 2913)' "$tmp/trace")
[ -z "$other" ] || fail "writes outside the probe: $other"
for vfg in 0 2; do
  starts=$(grep -c "^poke $vfg 2908 1$" "$tmp/trace")
  [ "$starts" -eq 3 ] || fail "VFG $vfg: $starts probe starts, not the 3 basic figures"
done
# A board whose only VFG does not open: served all the same, boardstat_up 0 (one with no VFG:
# lifecycle_test.sh).
echo 'vfg open-fails' > "$tmp/broken"
out=$(BOARDSIM_CONFIG="$tmp/broken" timeout 30 "$exporter" --once 2> /dev/null) || fail "--once: no VFG open"
grep -qxF 'boardstat_up 0' <<< "$out" && grep -qxF "boardstat_vfgs 1" <<< "$out" ||
  fail "no VFG open: not boardstat_up 0 and boardstat_vfgs 1"

# Textfile mode: every read is a whole exposition, each file replaces the last, SIGTERM ends it.
mkdir "$tmp/text"
"$exporter" --textfile.directory "$tmp/text" --collect.probe=basic --collect.probe-interval=1s &
pid=$!
pids+=($!)
file="$tmp/text/boardstat.prom"
within 10 test -f "$file"
ln "$file" "$tmp/first" || fail "no $file"  # a rename replaces it, a rewrite in place does not
reads=0
end=$((SECONDS + 3))
while [ "$SECONDS" -lt "$end" ]; do
  content=$(cat "$file") || fail "read $reads failed"
  [ "${content:0:19}" = "# HELP boardstat_up" ] || fail "read $reads starts wrong"
  tail -n 1 <<< "$content" | grep -qE '^boardstat_collector_count_polls_total [0-9]+$' ||
    fail "read $reads is cut short: $(tail -n 1 <<< "$content")"
  reads=$((reads + 1))
done
[ "$file" -ef "$tmp/first" ] && fail "the file was written in place, not renamed over"
grep -q '^boardstat_probe_frame_rate_hertz{vfg="0"} 30$' "$file" || fail "no frame rate"
kill -TERM "$pid" && wait "$pid"  # lifecycle_test.sh times the end and checks its status
[ "$(ls -A "$tmp/text")" = "boardstat.prom" ] || fail "left in the folder: $(ls -A "$tmp/text")"
# A file that cannot be renamed into place (a folder of its name): status 1, the folder as it
# was, and the temporary file written beside it removed.
mkdir -p "$tmp/stuck/boardstat.prom/in"
timeout 10 "$exporter" --once --textfile.directory "$tmp/stuck" 2> "$tmp/err"
[ $? = 1 ] && grep -q "cannot rename" "$tmp/err" || fail "stuck textfile: $(cat "$tmp/err")"
[ "$(ls -A "$tmp/stuck")" = "boardstat.prom" ] || fail "left beside it: $(ls -A "$tmp/stuck")"
echo "textfile: $reads whole reads"
