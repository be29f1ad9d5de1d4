#!/usr/bin/env bash
# The Windows zip as a user gets it: cpack makes it from the mingw build; it holds the three
# programs, the example board description, README.txt (CRLF) and the licence where the
# sources have one, nothing else; then every command that README.txt gives (its lines indented
# by four spaces that start with a program, sc.exe, net, set or copy) runs under wine in the
# unpacked folder, in order, as written but for one thing: the address :10208 becomes
# 127.0.0.1 and a free port. The two that serve until Ctrl-C run in the background, are
# checked and get SIGINT, which wine delivers as Ctrl-C.
#   wine_zip_test.sh WINE BUILD_DIR SOURCE_DIR        (WINEPREFIX names a prefix in use)
# Exit 77 (skipped) where curl or promtool is missing, except under CI=true: there it fails.
set -u
wine=$1 build=$(realpath "$2") source=$3
for tool in curl promtool python3; do
  command -v "$tool" >/dev/null && continue
  echo "SKIPPED: $tool is missing (apt-get install curl prometheus python3)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
done
prefix=${WINEPREFIX:-$HOME/.wine}
inputs="$prefix/drive_c/Program Files/windows_exporter/textfile_inputs"
w=$(mktemp -d)
pid=
service=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  if [ -n "$service" ]; then
    timeout 60 "$wine" net.exe stop "$service" >/dev/null 2>&1
    timeout 60 "$wine" sc.exe delete "$service" >/dev/null 2>&1
  fi
  [ -n "${made_inputs:-}" ] && rm -rf "$prefix/drive_c/Program Files/windows_exporter"
  rm -rf "$w"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
within() { # SECONDS COMMAND...: true as soon as COMMAND succeeds, false after SECONDS
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.3
  done
}

cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$w/out" >"$w/cpack.log" 2>&1 ||
  { cat "$w/cpack.log" && echo "FAIL: cpack -G ZIP" && exit 1; }
zips=("$w"/out/boardstat-*-win64.zip)
[ -f "${zips[0]}" ] && [ "${#zips[@]}" -eq 1 ] || { echo "FAIL: no single zip: ${zips[*]}" && exit 1; }
top=$(basename "${zips[0]}" .zip)
want="boardstat.exe boardstat_exporter.exe boardstat_snapshot.exe default.board README.txt"
[ -f "$source/LICENSE" ] && want="$want LICENSE"
python3 -m zipfile -e "${zips[0]}" "$w/unpacked" || { echo "FAIL: cannot unpack" && exit 1; }
dir=$w/unpacked/$top
have=$(cd "$dir" 2>/dev/null && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
[ "$have" = "$(tr ' ' '\n' <<<"$want" | sort | tr '\n' ' ')" ] ||
  fail "the zip holds '$have', not '$want' under $top/"
[ -f "$dir/README.txt" ] || { echo "FAIL: no README.txt" && exit 1; }
grep -qv $'\r$' "$dir/README.txt" && fail "README.txt has lines without CRLF"
for file in $want; do
  grep -q "^$file " "$dir/README.txt" || fail "README.txt does not list $file"
done

port=$((20000 + RANDOM % 30000))
metrics() { curl -sf -m 5 -o "$w/http.prom" "http://127.0.0.1:$port/metrics"; }
exposition() { # NAME FILE: promtool takes it, LF line ends only
  grep -q $'\r' "$2" && fail "$1: carriage returns"
  promtool check metrics <"$2" >/dev/null 2>&1 || fail "$1: promtool rejects it"
}
# Runs COMMAND through cmd.exe from a batch file (CRLF) in the unpacked folder.
cmd() {
  printf '@echo off\r\n%s\r\n' "$1" >"$w/step.cmd"
  (cd "$dir" && timeout 120 "$wine" cmd.exe /c "$("$wine" winepath.exe -w "$w/step.cmd" | tr -d '\r')")
}
# Runs COMMAND in the background as the shell reads it (no cmd.exe syntax in these) and stops it
# with Ctrl-C once CHECK passes: status 0.
serve() { # COMMAND CHECK...
  local command=$1
  shift
  (cd "$dir" && eval "exec \"\$wine\" $command") >"$w/serve.log" 2>&1 &
  pid=$!
  within 60 "$@" || fail "$command: no output in 60 s: $(cat "$w/serve.log")"
  kill -INT "$pid"
  if within 20 eval '! kill -0 $pid 2>/dev/null'; then
    wait "$pid" || fail "$command: status $? after Ctrl-C"
  else
    fail "$command: still running 20 s after Ctrl-C"
  fi
  pid=
}
# net start, again while the manager still starts the prefix's own services (database locked).
start_service() {
  local out
  for _ in $(seq 30); do
    out=$(cmd "$1" 2>&1)
    grep -q "started successfully" <<<"$out" && return 0
    grep -q locked <<<"$out" || break
    sleep 2
  done
  echo "$out"
  return 1
}

ran=0
while IFS= read -r line; do
  command=${line//:10208/127.0.0.1:$port}
  echo "> $command"
  ran=$((ran + 1))
  case $command in
    "set "*=*)
      export "${command#set }" ;;
    boardstat.exe*)
      out=$(cmd "$command" <<<q 2>&1) || fail "$command: status $?"
      grep -q "VFG" <<<"$out" || fail "$command: no VFG on the screen: $out" ;;
    *--textfile.directory*)
      mkdir -p "$inputs" && made_inputs=1
      serve "$command" test -s "$inputs/boardstat.prom"
      exposition "$command" "$inputs/boardstat.prom" ;;
    boardstat_exporter.exe*--web.listen-address*)
      serve "$command" metrics
      exposition "$command" "$w/http.prom" ;;
    "sc.exe create "*)
      service=$(awk '{print $3}' <<<"$command")
      cmd "$command" || fail "$command: status $?" ;;
    "net start "*)
      start_service "$command" || fail "$command did not start the service"
      within 30 metrics || fail "$command: no /metrics on 127.0.0.1:$port"
      exposition "$command" "$w/http.prom" ;;
    "net stop "*)
      cmd "$command" | grep -q "stopped successfully" || fail "$command did not stop the service"
      metrics && fail "$command: /metrics still answers"
      grep -q "stopped with status 0" "$dir/boardstat_exporter.log" ||
        fail "$command: no status 0 in boardstat_exporter.log" ;;
    "sc.exe delete "*)
      cmd "$command" || fail "$command: status $?"
      service= ;;
    *)
      cmd "$command" || fail "$command: status $?" ;;
  esac
  case $command in
    *" > "*) exposition "$command" "$dir/${command##*> }" ;;
    *" -o "*) [ -s "$dir/${command##* -o }" ] || fail "$command: no ${command##* -o }" ;;
  esac
done < <(tr -d '\r' <"$dir/README.txt" |
  grep -E '^    (boardstat(_exporter|_snapshot)?\.exe|sc\.exe|net|set|copy)( |$)' | sed 's/^    //')
[ "$ran" -ge 10 ] || fail "only $ran commands found in README.txt"
[ "$failures" -eq 0 ] && echo PASS
exit $((failures > 0))
