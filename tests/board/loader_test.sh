#!/usr/bin/env bash
# The programs and the board access libraries they may meet (library_cases.txt), then the exporter
# started without one, which takes up the vendor pair once it is installed.
#   loader_test.sh WINE|- BOARDSTAT EXPORTER SNAPSHOT SIMULATED_BOARD LMD KVD INIT_FAILS
# (the three programs, the simulated board's library, the stand-in Lmd and KvD, init_fails).
# Everything is copied into a scratch folder, outside the build, so that nothing falls back to
# the simulated board. Under wine the libraries go beside the .exe files, on Linux on LD_LIBRARY_PATH. The
# 32-bit library is compiled here (gcc -m32, or i686-w64-mingw32-gcc for wine).
set -u
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh"
wine=$1 programs=("$2" "$3" "$4") libraries=("$5" "$6" "$7")
declare -A built
for program in "${programs[@]}"; do built[./$(basename "$program")]=$program; done
here=$(cd "$(dirname "$0")" && pwd)
w=$(mktemp -d) && trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$w"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ "$wine" = - ]; then
  pre=lib ext=so exe= run=() sim_place=lib/boardstat
  command -v gcc >/dev/null || skip "gcc is missing"
  lib32() { gcc -m32 -shared -nostdlib -fPIC -x c - -o "$1"; }
  path_of() { printf '%s' "$1"; }
else
  pre= ext=dll exe=.exe run=("$wine") sim_place=bin
  command -v i686-w64-mingw32-gcc >/dev/null || skip "i686-w64-mingw32-gcc is missing (apt-get install g++-mingw-w64-i686)"
  lib32() { i686-w64-mingw32-gcc -shared -x c - -o "$1"; }
  path_of() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }
fi
echo 'int LmSysBrdFind(void) { return 1; }' | lib32 "$w/lmd32.$ext" || skip "cannot build a 32-bit library"

# Installed as the packages lay them out, the simulated board's library in its own place.
mkdir -p "$w/alone" "$w/pair" "$w/wrong-arch" "$w/sim/bin" "$w/sim/$sim_place"
cp "${programs[@]}" "$w/alone/" && cp "${programs[@]}" "${libraries[@]}" "$w/pair/" &&
  cp "${programs[@]}" "$w/sim/bin/" && cp "$5" "$w/sim/$sim_place/" &&
  cp "${programs[@]}" "${libraries[@]}" "$w/wrong-arch/" &&
  cp "$w/lmd32.$ext" "$w/wrong-arch/${pre}Lmd.$ext" && cp "$8" "$w/init_fails.$ext" || exit 1

# run SETUP PROGRAM ARGS...: the program in the setup's folder with its environment; keys q.
run() {
  local setup=$1 folder=$w/alone
  shift
  local env=(-u BOARDSTAT_BOARD_LIBRARY -u BOARDSIM_CONFIG -u BOARDSIM_TRACE -u LD_LIBRARY_PATH)
  case $setup in
    empty) env+=(BOARDSTAT_BOARD_LIBRARY=) ;;
    missing) env+=(BOARDSTAT_BOARD_LIBRARY="$(path_of "$w/nothing-here")") ;;
    folder) env+=(BOARDSTAT_BOARD_LIBRARY="$(path_of "$w")") ;;
    lacks-call) env+=(BOARDSTAT_BOARD_LIBRARY="$(path_of "$w/pair/${pre}Lmd.$ext")") ;;
    wrong-arch) env+=(BOARDSTAT_BOARD_LIBRARY="$(path_of "$w/lmd32.$ext")") ;;
    wrong-arch-pair) folder=$w/wrong-arch env+=(LD_LIBRARY_PATH="$w/wrong-arch") ;;
    init-fails) env+=(BOARDSTAT_BOARD_LIBRARY="$(path_of "$w/init_fails.$ext")") ;;
    no-vendor) ;;
    vendor-pair) folder=$w/pair env+=(LD_LIBRARY_PATH="$w/pair") ;;
    sim) folder=$w/sim/bin env+=(BOARDSTAT_BOARD_LIBRARY=sim) ;;
    sim-missing) env+=(BOARDSTAT_BOARD_LIBRARY=sim) ;;
    build-folder) ;;
    *) echo "unknown setup $setup" && exit 2 ;;
  esac
  local program=./$1$exe
  shift
  # The build's own program, in its build folder: the one place where it may fall back.
  [ "$setup" = build-folder ] && program=${built[$program]}
  (cd "$folder" && printf q | timeout 60 env "${env[@]}" "${run[@]}" "$program" "$@")
}

while IFS=$'\x1f' read -r setup command status stderr stdout; do
  # A build without the fall-back (BOARDSTAT_SIM_FALLBACK=OFF) has nothing to show here.
  [[ $setup == build-folder && ${BOARDSTAT_SIM_FALLBACK_BUILT:-1} != 1 ]] && continue
  stderr=${stderr//EXT/$ext} stdout=${stdout//EXT/$ext}
  name="$setup: $command"
  # shellcheck disable=SC2086  # the command's words
  run "$setup" $command >"$w/out" 2>"$w/err"
  got=$?
  tr -d '\r' <"$w/out" >"$w/out.txt" && tr -d '\r' <"$w/err" >"$w/err.txt"
  [ "$got" = "$status" ] || fail "$name: status $got, not $status ($(head -c 300 "$w/err.txt"))"
  if [ "$stderr" = - ]; then
    [ -s "$w/err.txt" ] && fail "$name: standard error is not empty: $(head -c 300 "$w/err.txt")"
  else
    [ "$(wc -l <"$w/err.txt")" = 1 ] && grep -Eq -- "$stderr" "$w/err.txt" ||
      fail "$name: standard error is not one line like $stderr: $(head -c 500 "$w/err.txt")"
  fi
  [ "$stdout" = - ] || grep -Eq -- "$stdout" "$w/out.txt" ||
    fail "$name: no line of standard output like $stdout"
done < <(read_table "$here/library_cases.txt")

# The exporter started before the vendor's libraries are installed takes them up at its next
# look for VFGs (every 10 s), and says so.
mkdir "$w/later" "$w/text"
cp "$3" "$w/later/"
(cd "$w/later" && exec env -u BOARDSTAT_BOARD_LIBRARY -u BOARDSIM_CONFIG LD_LIBRARY_PATH="$w/later" \
  "${run[@]}" "./boardstat_exporter$exe" --textfile.directory "$(path_of "$w/text")" 2>"$w/later.err") &
up() { grep -qx "boardstat_up $1" "$w/text/boardstat.prom" 2>/dev/null; }
if within 30 up 0; then
  cp "${libraries[@]}" "$w/later/"
  within 30 up 1 || fail "the exporter did not take up the libraries installed after its start"
  grep -q "board access library loaded: .*Lmd" "$w/later.err" ||
    fail "the exporter did not say it loaded the library: $(cat "$w/later.err")"
else
  fail "the exporter without a library wrote no boardstat_up 0: $(cat "$w/later.err")"
fi
[ "$failures" -eq 0 ] && echo "all board access library cases passed"
[ "$failures" -eq 0 ]
