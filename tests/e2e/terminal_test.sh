#!/usr/bin/env bash
# The console in a real terminal (tmux): keys without Enter, the screen as a user sees it, and
# the terminal's settings exactly as before on every way out: q, Ctrl-C, SIGTERM, SIGHUP, the
# end of input, a start-up failure, and a reader of its output that went away (SIGPIPE).
# Usage: terminal_test.sh PATH/TO/boardstat      Exit 77 (skipped) without tmux.
set -u
console=$(realpath "$1")
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed"; exit 77; }

work=$(mktemp -d)
session="boardstat-term-$$"
socket="$work/tmux.sock"
tmx() { tmux -S "$socket" "$@"; }
cleanup() { tmx kill-server 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

cat > "$work/board" <<'BOARD'
vfg
reg 2655 0x2016
reg 2854 7
vfg
reg 2655 0x2017
BOARD

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Polls until FILE exists, for at most 10 seconds.
wait_for_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  return 1
}

# Polls until the pane shows TEXT, for at most 10 seconds.
wait_for_screen() {
  for _ in $(seq 100); do
    tmx capture-pane -p -t "$session" 2>/dev/null | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  return 1
}

# One run: the shell in the pane saves the settings, runs the console, records its status and
# the settings afterwards. HOW ends it: a key, Ctrl-C, or a signal sent from outside.
run_once() {
  local how=$1 expected=$2
  rm -f "$work/before" "$work/after" "$work/status" "$work/pid"
  tmx kill-session -t "$session" 2>/dev/null
  tmx new-session -d -s "$session" -x 100 -y 80 \
    "stty -g > '$work/before'; \
     BOARDSIM_CONFIG='$work/board' sh -c 'echo \$\$ > \"$work/pid\"; exec \"$console\"'; \
     echo \$? > '$work/status'; stty -g > '$work/after'; sleep 30"
  if ! wait_for_screen "VFG (000) of ("; then fail "$how: no first screen"; return; fi
  tmx send-keys -t "$session" l
  wait_for_screen "Channel X                 : Enabled" || fail "$how: L did not expand CameraLink"
  # While the console runs its terminal is in raw mode, so the restore check below is not
  # comparing two untouched states.
  tty=$(tmx display-message -p -t "$session" '#{pane_tty}')
  [ "$(stty -g -F "$tty")" != "$(cat "$work/before")" ] || fail "$how: no raw mode while running"
  tmx send-keys -t "$session" +
  wait_for_screen "VFG (001) of (001)" || fail "$how: + did not change the VFG"
  case $how in
    q) tmx send-keys -t "$session" q ;;
    ctrl-c) tmx send-keys -t "$session" C-c ;;
    *) kill -s "$how" "$(cat "$work/pid")" ;;
  esac
  if ! wait_for_file "$work/after"; then fail "$how: the console did not end"; return; fi
  [ "$(cat "$work/status")" = "$expected" ] ||
    fail "$how: exit status $(cat "$work/status"), expected $expected"
  cmp -s "$work/before" "$work/after" || fail "$how: terminal settings not restored"
}

run_once q 0
run_once ctrl-c 130
run_once TERM 143
run_once HUP 129

# One run of a shell COMMAND in the pane, which records the console's status itself. KEY, when
# given, is sent (again every half second) once the console has its terminal in raw mode.
run_command() {
  local name=$1 expected=$2 key=$3 command=$4
  rm -f "$work/before" "$work/after" "$work/status"
  tmx kill-session -t "$session" 2>/dev/null
  tmx new-session -d -s "$session" -x 100 -y 80 \
    "stty -g > '$work/before'; $command; stty -g > '$work/after'; sleep 30"
  if [ -n "$key" ]; then
    wait_for_file "$work/before" || { fail "$name: the pane did not start"; return; }
    local tty raw=0
    tty=$(tmx display-message -p -t "$session" '#{pane_tty}')
    for _ in $(seq 100); do
      [ "$(stty -g -F "$tty")" != "$(cat "$work/before")" ] && { raw=1; break; }
      sleep 0.1
    done
    [ "$raw" = 1 ] || fail "$name: no raw mode while running"
    for _ in $(seq 20); do
      [ -s "$work/status" ] && break
      tmx send-keys -t "$session" "$key"
      sleep 0.5
    done
  fi
  if ! wait_for_file "$work/after"; then fail "$name: the console did not end"; return; fi
  [ "$(cat "$work/status")" = "$expected" ] ||
    fail "$name: exit status $(cat "$work/status"), expected $expected"
  cmp -s "$work/before" "$work/after" || fail "$name: terminal settings not restored"
}

printf '# no VFG\n' > "$work/empty"
run_command end-of-input 0 "" \
  "printf 'l+' | BOARDSIM_CONFIG='$work/board' '$console'; echo \$? > '$work/status'"
run_command no-input 0 "" \
  "BOARDSIM_CONFIG='$work/board' '$console' < /dev/null; echo \$? > '$work/status'"
run_command start-up-failure 255 "" \
  "BOARDSIM_CONFIG='$work/empty' '$console'; echo \$? > '$work/status'"
run_command bad-description 255 "" \
  "BOARDSIM_CONFIG=/nonexistent '$console' 2>/dev/null; echo \$? > '$work/status'"
# The screen goes to a reader that stops after 1000 bytes, within the second screen (the first
# is 723 bytes); a screen after that meets a closed pipe while the keys still come from the
# terminal.
run_command closed-output 141 l \
  "(BOARDSIM_CONFIG='$work/board' '$console'; echo \$? > '$work/status') | head -c 1000 > /dev/null"

if [ "$failures" -eq 0 ]; then echo "terminal test: 9 ways out, settings restored on each"; fi
exit $((failures > 0))
