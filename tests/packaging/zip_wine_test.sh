#!/usr/bin/env bash
# The Windows zip as a user gets it: cpack makes it from the mingw build; it holds the three
# programs, the example board description, the Grafana dashboard, README.txt (CRLF) and the
# licence where the sources have one, nothing else; unpacked, the console refuses to start
# without vendor DLLs; with the stand-in pair beside the programs, every command that README.txt
# gives (its lines indented by four spaces that start with a program, set or copy) runs under
# wine in the unpacked folder, in order, as written but for one thing: the address :10208
# becomes 127.0.0.1 and a free port. Every exposition (/metrics, --once, the textfile) passes
# promtool byte for byte (an LF written as CR LF is a fault: promtool then reads a type
# "gauge\r") and says boardstat_up 1. The two that serve until Ctrl-C run in the background and
# end with status 0 on SIGINT, which wine delivers as Ctrl-C. Its service commands are the
# exporter's to run (tests/exporter/service_wine_test.sh).
#   zip_wine_test.sh WINE BUILD_DIR SOURCE_DIR        (WINEPREFIX names a prefix in use)
# Skipped where curl or promtool is missing (failed under CI=true).
set -u
wine=$1 build=$(realpath "$2") source=$3
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh"
require "curl prometheus python3" curl promtool python3
servers_set_up
inputs="${WINEPREFIX:-$HOME/.wine}/drive_c/Program Files/windows_exporter/textfile_inputs"
trap '[ -n "${made_inputs:-}" ] && rm -rf "${inputs%/*}"; cleanup' EXIT

cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  fail "cpack -G ZIP"
zips=("$tmp"/out/boardstat-*-win64.zip)
[ -f "${zips[0]}" ] && [ "${#zips[@]}" -eq 1 ] || fail "no single zip: ${zips[*]}"
top=$(basename "${zips[0]}" .zip)
want="boardstat.exe boardstat_exporter.exe boardstat_snapshot.exe boardsim.dll default.board README.txt"
want="$want boardstat_dashboard.json"
[ -f "$source/LICENSE" ] && want="$want LICENSE"
python3 -m zipfile -e "${zips[0]}" "$tmp/unpacked" || fail "cannot unpack"
dir=$tmp/unpacked/$top
have=$(cd "$dir" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
[ "$have" = "$(tr ' ' '\n' <<<"$want" | sort | tr '\n' ' ')" ] ||
  fail "the zip holds '$have', not '$want' under $top/"
! grep -qv $'\r$' "$dir/README.txt" || fail "README.txt has lines without CRLF"
for file in $want; do
  grep -q "^$file " "$dir/README.txt" || fail "README.txt does not list $file"
done

# Unpacked, with no vendor DLL and nothing asked for, the console names what it looked for and
# ends with 255: the simulated board never stands in unasked. Then the stand-in vendor DLLs go
# beside the programs, where README.txt says they may be copied.
out=$(cd "$dir" && env -u BOARDSTAT_BOARD_LIBRARY -u BOARDSIM_CONFIG timeout 60 "$wine" \
  boardstat.exe </dev/null 2>&1)
status=$?
[ "$status" = 255 ] && grep -q "^boardstat: no board access library: Lmd.dll and KvD.dll" <<<"$out" ||
  fail "unpacked without vendor DLLs: status $status, $out"
cp "$build/tests/board/Lmd.dll" "$build/tests/board/KvD.dll" \
  "$build/sim/boardsim.dll" "$dir/" || fail "no stand-in vendor DLLs in the build"

port=$((20000 + RANDOM % 30000))
metrics() { curl -sf -m 5 -o "$tmp/http.prom" "http://127.0.0.1:$port/metrics"; }
# Runs COMMAND in the background as the shell reads it (no cmd.exe syntax in these) and stops it
# with Ctrl-C once CHECK passes: status 0.
serve() { # COMMAND CHECK...
  local command=$1 pid
  shift
  (cd "$dir" && eval "exec \"\$wine\" $command") >"$tmp/serve.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  within 60 "$@" || fail "$command: no output in 60 s"
  kill -INT "$pid"
  within 20 stopped "$pid" || fail "$command: still running 20 s after Ctrl-C"
  wait "$pid" || fail "$command: status $? after Ctrl-C"
}

step() {  # COMMAND
  local command=$1
  case $command in
    "set "*=*)
      export "${command#set }" ;;
    boardstat.exe*)
      out=$(wine_cmd "$dir" "$command" <<<q 2>&1) || fail "$command: status $?"
      grep -q "VFG" <<<"$out" || fail "$command: no VFG on the screen: $out" ;;
    *--textfile.directory*)
      mkdir -p "$inputs" && made_inputs=1
      serve "$command" test -s "$inputs/boardstat.prom"
      good_exposition "$command" "$inputs/boardstat.prom" ;;
    boardstat_exporter.exe*--web.listen-address*)
      serve "$command" metrics
      good_exposition "$command" "$tmp/http.prom" ;;
    *)
      wine_cmd "$dir" "$command" || fail "$command: status $?" ;;
  esac
  case $command in
    *" > "*) good_exposition "$command" "$dir/${command##*> }" ;;
    *" -o "*) [ -s "$dir/${command##* -o }" ] || fail "$command: no ${command##* -o }" ;;
  esac
}
readme_steps "$dir/README.txt" 'boardstat(_exporter|_snapshot)?\.exe|set|copy' step boardstat.exe \
  --web.listen-address "--once >" --textfile.directory boardstat_snapshot.exe

echo PASS
