#!/usr/bin/env bash
# The console in a real terminal (tmux): raw while it runs, keys without Enter, and `stty -g`
# settings exactly as before on every way out.  Usage: terminal_test.sh PATH/TO/boardstat
set -u
console=$(realpath "$1")
# shellcheck source=tests/lib.sh
source "$(dirname "$0")/../lib.sh"
require tmux tmux
w=$(mktemp -d)
tmx() { tmux -S "$w/sock" "$@"; }
trap 'tmx kill-server 2>/dev/null; rm -rf "$w"' EXIT
# A session held for the whole run: killing a row's session must not end the server, or the
# next row's new-session can meet a server that is still exiting ("server exited unexpectedly").
tmx new-session -d -s hold "sleep 600"
printf 'vfg\nreg 2655 0x2016\nreg 2854 7\nvfg\nreg 2655 0x2017\n' > "$w/board"
printf '# no VFG\n' > "$w/empty"
failures=0
fail() { echo "FAIL: $name: $*"; failures=$((failures + 1)); }
shows() { tmx capture-pane -p -t t | grep -qF -- "$1"; }
raw() { [ "$(stty -g -F "$(tmx display-message -p -t t '#{pane_tty}')")" != "$(cat "$w/before")" ]; }
cooked() { ! raw; }

# The ways out: terminal_cases.txt (its header says what the columns mean).
while IFS=$'\x1f' read -r name expected end board args shell; do
  rm -f "$w/before" "$w/after" "$w/status" "$w/pid"
  # shellcheck disable=SC2059
  printf -v command "$shell" "{ BOARDSIM_CONFIG='$w/$board' sh -c 'echo \$\$ > $w/pid; exec \
$console $args'; echo \$? > $w/status; }"
  printf 'stty -g > %s/before\n%s\nstty -g > %s/after\nsleep 30\n' "$w" "$command" "$w" > "$w/pane"
  tmx kill-session -t t 2>/dev/null
  tmx new-session -d -s t -x 100 -y 80 "bash $w/pane"
  if [ "$end" != - ]; then
    within 10 raw || fail "no raw mode while running"
    if [ "$name" != closed-output ]; then
      tmx send-keys -t t l && within 10 shows "Channel X                 : Enabled" || fail "l: no CameraLink"
      tmx send-keys -t t + && within 10 shows "VFG (001) of (001)" || fail "+: no next VFG"
    fi
    case $end in
      C-c) tmx send-keys -t t C-c ;;
      C-z)
        tmx send-keys -t t C-z && within 10 cooked || fail "settings not given back while stopped"
        kill -CONT -- "-$(ps -o pgid= "$(cat "$w/pid")" | tr -d ' ')"
        within 10 raw || fail "not raw again after it was resumed"
        tmx send-keys -t t q ;;
      [A-Z]*) kill -s "$end" "$(cat "$w/pid")" ;;
      *) for _ in $(seq 20); do [ -s "$w/status" ] || { tmx send-keys -t t "$end"; sleep 0.5; }; done ;;
    esac
  fi
  within 10 test -s "$w/after" || { fail "the console did not end"; continue; }
  [ "$(cat "$w/status")" = "$expected" ] || fail "exit status $(cat "$w/status"), not $expected"
  cmp -s "$w/before" "$w/after" || fail "terminal settings not restored"
done < <(read_table "$(dirname "$0")/terminal_cases.txt")
[ "$failures" -eq 0 ] && echo "terminal test: settings restored on every way out"
exit $((failures > 0))
