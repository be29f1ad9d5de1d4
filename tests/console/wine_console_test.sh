#!/usr/bin/env bash
# The Windows console under wine: wine_console_test.sh BOARDSTAT_EXE [TERMINAL_TEST_EXE] (the
# mingw preset's ctest runs it so). wine's _getch reads keys only from a real terminal, so
# the programs run in a private tmux server: keys go in with send-keys, screens come back
# with capture-pane. Every wait is bounded; tmux and wineserver stop on every way out.
# Exit status: 0 passed, 1 failed, 77 skipped (a failure under CI=true).
set -u
readonly START=$SECONDS DEADLINE=$((SECONDS + 270)) # below the ctest time-out
# shellcheck source=tests/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

WINE=${WINE:-$(command -v /usr/lib/wine/wine64 wine64 wine | head -n 1)}
[[ -n $WINE && -x $WINE ]] || skip "wine is not installed (Debian: apt-get install wine64)"
command -v tmux >/dev/null || skip "tmux is not installed"
WINESERVER=$(dirname "$WINE")/wineserver
[[ -x $WINESERVER ]] || WINESERVER=$(command -v wineserver || echo true)
EXE=$1 UNIT_TESTS=${2:-}
[[ -f $EXE ]] || { echo "FAIL: no executable at $EXE" && exit 1; }

WORK=$(mktemp -d)
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tmx() { tmux -L "boardstat-wine-$$" "$@"; }
SESSION=$(dirname "${BASH_SOURCE[0]}")/../wine_session.sh
trap 'tmx kill-server 2>/dev/null; bash "$SESSION" "$WINE" stop; "$WINESERVER" -k 2>/dev/null
      rm -rf "$WORK"' EXIT
trap 'exit 1' INT TERM HUP

FAILURES=0
check() { # check WHAT COMMAND...: a failure when COMMAND fails
  "${@:2}" && return 0
  echo "FAIL: $1" && FAILURES=$((FAILURES + 1)) && return 1
}

# Prints the pane once it matches $1 and not $2 and two captures in a row agree; at most $3
# (default 30) seconds.
wait_for() {
  local shot previous="" end=$((SECONDS + ${3:-30}))
  while ((SECONDS < end && SECONDS < DEADLINE)); do
    shot=$(tmx capture-pane -p -t console)
    if grep -Eq -- "$1" <<<"$shot" && { [[ -z ${2:-} ]] || ! grep -Eq -- "$2" <<<"$shot"; }; then
      [[ $shot == "$previous" ]] && printf '%s\n' "$shot" && return 0
      previous=$shot
    fi
    sleep 0.3
  done
  echo "no screen with '$1' after $((SECONDS - START)) s:" >&2
  tmx capture-pane -p -t console >&2
  return 1
}

# A session held for the whole run: ending a part's session must not end the server, or the
# next part's new-session can meet a server that is still exiting ("server exited unexpectedly").
tmx -f /dev/null new-session -d -s hold "exec sleep 600" || { echo "FAIL: no tmux server" && exit 1; }
run() {
  tmx kill-session -t console 2>/dev/null
  tmx new-session -d -s console -x 100 -y 120 "$1; echo EXIT=\$?; exec sleep 600"
}

# Its own prefix and session: the wineserver of this prefix is stopped on the way out.
echo "setting up a wine prefix with $WINE"
timeout $((DEADLINE - SECONDS)) bash "$SESSION" "$WINE" start || exit 1

# The console-window cases of the terminal's own tests.
if [[ -n $UNIT_TESTS ]]; then
  run "$(printf "%q %q '--gtest_filter=Win32Terminal.*'" "$WINE" "$UNIT_TESTS")"
  check "terminal unit tests in a console" grep -q '^EXIT=0$' <<<"$(wait_for '^EXIT=' '' 120)"
  check "the console clear test ran in a console" grep -q \
    '^\[       OK \] Win32Terminal.ClearOnConsole' <<<"$(tmx capture-pane -p -S - -t console)"
fi

# The console on two VFGs, over a screen full of leftovers. Every panel's lines and every key
# under wine are the case files' job (keys from a pipe); here the keys come from a console: a
# letter and the Down arrow (0xE0 then P) each expand a panel and collapse it again.
printf 'vfg\nvfg\n' >"$WORK/two.board"
run "seq -f 'LEFTOVER %g' 100; $(printf 'BOARDSIM_CONFIG=%q %q %q' "$WORK/two.board" "$WINE" "$EXE")"
first=$(wait_for '^--------\^--$' '' 120)
check "a start screen" [ -n "$first" ] || exit 1
check "the start screen's 31 lines alone: $first" [ "$(wc -l <<<"$first")" = 31 ]
while IFS='|' read -r expand collapse line; do
  tmx send-keys -t console "$expand"
  shot=$(wait_for "$line" '' 60)
  check "$expand shows '$line'" [ -n "$shot" ]
  tmx send-keys -t console "$collapse"
  check "$collapse gives back the start screen" [ "$(wait_for '^SystemProbe$' "$line")" = "$first" ]
done <<'KEYS'
L|l|^Use DVAL                  : No$
Down|Down|^Max PCIe payload \(System\)
KEYS
tmx send-keys -t console q
check "q ends with status 0" grep -q '^EXIT=0$' <<<"$(wait_for '^EXIT=')"

# With -d the console waits on its console input with a time-out: the counts move on screen
# with no key, and keys still act at once, the Down arrow's second code included.
printf 'vfg\ncounter 1421 32400\n' >"$WORK/counting.board"
run "$(printf 'BOARDSIM_CONFIG=%q %q %q -d 0.2' "$WORK/counting.board" "$WINE" "$EXE")"
check "a start screen with -d 0.2" [ -n "$(wait_for '^--------\^--$' '' 120)" ]
tmx send-keys -t console a
counts=""
for _ in $(seq 40); do # 10 s at most
  counts=$(printf '%s\n%s' "$counts" "$(tmx capture-pane -p -t console | grep '^Y Acquired')")
  (($(sort -u <<<"$counts" | grep -c .) >= 3)) && break
  sleep 0.25
done
check "with -d 0.2 and no key the Y count moves: $(sort -u <<<"$counts" | tr '\n' ' ')" \
  [ "$(sort -u <<<"$counts" | grep -c .)" -ge 3 ]
tmx send-keys -t console Down
check "Down expands PacketEngine between timed redraws" [ -n "$(
  for _ in $(seq 40); do
    tmx capture-pane -p -t console | grep '^Max PCIe payload (System)' && break
    sleep 0.25
  done)" ]
tmx send-keys -t console q
check "q ends with -d too, status 0" grep -q '^EXIT=0$' <<<"$(wait_for '^EXIT=')"

echo "took $((SECONDS - START)) s, $FAILURES failure(s)"
((FAILURES == 0)) && echo PASSED
