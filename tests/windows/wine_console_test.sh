#!/usr/bin/env bash
# End-to-end test of the Windows console under wine.
#
#   wine_console_test.sh [BOARDSTAT_EXE [UNIT_TESTS_EXE]]
#
# Without arguments it cross-builds with the mingw preset first. boardstat.exe runs under wine
# inside a private tmux server, because wine's _getch only reads keys from a real terminal:
# keys go in with send-keys and the screen comes back with capture-pane. Every wait is
# bounded; the tmux server and the wineserver are stopped on every way out.
# Exit status: 0 passed, 1 failed, 77 skipped (no wine, tmux or cross compiler).
set -u

readonly SKIPPED=77
SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
readonly SOURCE_DIR
readonly START=$SECONDS
readonly DEADLINE=$((START + 270))  # below the ctest time-out, so the clean-up always runs

skip() {
  echo "SKIPPED: $*"
  exit "$SKIPPED"
}

WINE=${WINE:-}
if [[ -z $WINE ]]; then
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64)" "$(command -v wine)"; do
    if [[ -n $candidate && -x $candidate ]]; then
      WINE=$candidate
      break
    fi
  done
fi
[[ -n $WINE && -x $WINE ]] || skip "wine is not installed (Debian: apt-get install wine64)"
command -v tmux >/dev/null || skip "tmux is not installed"
WINESERVER=$(dirname "$WINE")/wineserver
[[ -x $WINESERVER ]] || WINESERVER=$(command -v wineserver || true)

if (($# >= 1)); then
  EXE=$1
  UNIT_TESTS=${2:-}
else
  command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
    skip "the MinGW-w64 cross compiler is not installed (Debian: g++-mingw-w64-x86-64)"
  echo "cross-building with the mingw preset"
  (cd "$SOURCE_DIR" && cmake --preset mingw >/dev/null &&
    cmake --build --preset mingw -j2 --target boardstat unit_tests) || exit 1
  EXE=$SOURCE_DIR/build-mingw/boardstat.exe
  UNIT_TESTS=$SOURCE_DIR/build-mingw/tests/unit_tests.exe
fi
[[ -f $EXE ]] || { echo "FAIL: no executable at $EXE"; exit 1; }

WORK=$(mktemp -d)
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
readonly TMUX_SOCKET=boardstat-wine-$$
readonly PANE=console

cleanup() {
  tmux -L "$TMUX_SOCKET" kill-server 2>/dev/null
  [[ -n $WINESERVER ]] && "$WINESERVER" -k 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

FAILURES=0
fail() {
  echo "FAIL: $*"
  FAILURES=$((FAILURES + 1))
}

seconds_left() {
  local left=$((DEADLINE - SECONDS))
  ((left > 0)) && echo "$left" || echo 0
}

screen() { tmux -L "$TMUX_SOCKET" capture-pane -p -t "$PANE"; }

# Polls the pane until it holds a complete, settled screen that matches the extended regular
# expression $1 (and not $2 when given), for at most $3 seconds. Prints the screen on success.
wait_for_screen() {
  local want=$1 unwanted=${2:-} limit=$3 shot previous=""
  local end=$((SECONDS + limit))
  ((end > DEADLINE)) && end=$DEADLINE
  while ((SECONDS < end)); do
    shot=$(screen)
    # The screen is drawn line by line; it is complete once it ends with the last panel's frame
    # and two captures in a row agree.
    if [[ $(sed '/^$/d' <<<"$shot" | tail -n 1) == "--------^--" ]] &&
      grep -Eq -- "$want" <<<"$shot" &&
      { [[ -z $unwanted ]] || ! grep -Eq -- "$unwanted" <<<"$shot"; }; then
      [[ $shot == "$previous" ]] && { printf '%s\n' "$shot"; return 0; }
      previous=$shot
    fi
    sleep 0.2
  done
  return 1
}

send() {
  echo "  keys $* at $((SECONDS - START)) s"
  tmux -L "$TMUX_SOCKET" send-keys -t "$PANE" "$@"
}

readonly BOX='+--------------------------------------------------------------------+'
readonly BANNER_LINE2='^\| VFG \(([0-9]{3})\) of \(([0-9]{3})\) , Firmware Built on [0-9a-f]{2,}/[0-9a-f]{2,}/([0-9a-f]{4,}) at [0-9a-f]{2,}:[0-9a-f]{2,} +\|$'
# capture-pane drops trailing blanks, so the CameraLink title shows without its padding.
readonly -a COLLAPSED_PANELS=(
  CameraLink ------^-------- "" PixelRouter -----^----- "" AcquistionEngine ^--------------- ""
  BufferManager ^------------ "" PacketEngine ^----------- "" TimingSequencer ^-------------- ""
  IO ^- "" SystemProbe --------^-- "")

# Checks the banner box (its fixed lines and the shape of line 2) at the top of screen $1 and,
# from line $2 on, the lines given after $3 (a line starting with ~ is an extended regular
# expression for the rest); everything below them must be blank.
check_screen() {
  local shot=$1 from=$2 what=$3
  shift 3
  local -a lines expected
  mapfile -t lines <<<"$shot"
  expected=("$BOX" "" "|                                                                    |"
    "+------------------------ Options -----------------------------------+"
    "| Press the key indicated by (^) to expand/collapse each category    |"
    "| c = Clear Errors, q = Quit, [+,-] = Change VFG                     |"
    "$BOX" "")
  local i
  for i in 0 2 3 4 5 6 7; do
    [[ ${lines[i]} == "${expected[i]}" ]] || fail "$what: banner line $((i + 1)) is '${lines[i]}'"
  done
  [[ ${lines[1]} =~ $BANNER_LINE2 ]] || fail "$what: banner line 2 is '${lines[1]}'"
  local -a want=("$@")
  for i in "${!want[@]}"; do
    local line=${lines[from + i]:-}
    if [[ ${want[i]} == "~"* ]]; then
      [[ $line =~ ${want[i]#"~"} ]] || fail "$what: line $((from + i + 1)) is '$line'"
    else
      [[ $line == "${want[i]}" ]] ||
        fail "$what: line $((from + i + 1)) is '$line', expected '${want[i]}'"
    fi
  done
  for ((i = from + ${#want[@]}; i < ${#lines[@]}; ++i)); do
    [[ -z ${lines[i]} ]] || fail "$what: leftover on line $((i + 1)): '${lines[i]}'"
  done
}

start_session() {
  # A private server (-L) with no configuration file: the user's tmux is never touched.
  tmux -L "$TMUX_SOCKET" -f /dev/null new-session -d -s "$PANE" -x 100 -y 120 "$1"
}

echo "wine: $WINE"
echo "setting up a fresh wine prefix"
timeout "$(seconds_left)" "$WINE" wineboot --init >/dev/null 2>&1
echo "wineboot ended with status $? after $((SECONDS - START)) s"

# 1. Without a console: standard input at its end or a pipe ends the console after the last
#    screen (no redraw loop); each screen starts with the clear sequence.
for input in "" "lq" "l"; do
  printf '%s' "$input" >"$WORK/keys"
  # Generous: should wineboot have left work undone, the first run finishes setting up.
  limit=$(seconds_left)
  ((limit > 120)) && limit=120
  timeout "$limit" "$WINE" "$EXE" <"$WORK/keys" >"$WORK/piped.out" 2>/dev/null
  status=$?
  screens=$(grep -o $'\033\\[H\033\\[2J\033\\[3J' "$WORK/piped.out" | wc -l)
  expected_screens=$((${#input} + 1))
  [[ $input == *q ]] && expected_screens=${#input}
  [[ $status == 0 ]] || fail "keys '$input' from a pipe: exit status $status"
  [[ $screens == "$expected_screens" ]] ||
    fail "keys '$input' from a pipe: $screens screens, expected $expected_screens"
done
echo "piped input checked after $((SECONDS - START)) s"

# 2. The console-window cases of the terminal's unit tests need a console on standard output.
if [[ -n ${UNIT_TESTS:-} && -f $UNIT_TESTS ]]; then
  cat >"$WORK/unit.sh" <<EOF
"$WINE" "$UNIT_TESTS" --gtest_filter='Win32Terminal.*'
echo "EXIT=\$?" >"$WORK/unit.exit"
exec sleep 600
EOF
  start_session "bash $WORK/unit.sh"
  end=$((SECONDS + 60))
  while [[ ! -s $WORK/unit.exit ]] && ((SECONDS < end && SECONDS < DEADLINE)); do sleep 0.3; done
  unit_screen=$(tmux -L "$TMUX_SOCKET" capture-pane -p -S - -t "$PANE")
  [[ $(cat "$WORK/unit.exit" 2>/dev/null) == EXIT=0 ]] ||
    fail "terminal unit tests in a console: $(cat "$WORK/unit.exit" 2>/dev/null || echo no exit)"
  grep -q '^\[       OK \] Win32Terminal.ClearOnConsoleBlanksTheWholeBuffer' <<<"$unit_screen" ||
    fail "the console clear test did not pass in a console window"$'\n'"$unit_screen"
  tmux -L "$TMUX_SOCKET" kill-server 2>/dev/null
  echo "terminal unit tests in a console checked after $((SECONDS - START)) s"
fi

# 3. The console in a terminal, on a board with two VFGs whose firmware years differ. Lines
#    left on the terminal beforehand must be gone when the banner is drawn.
# VFG 0 has a 30 frames/s camera on its probe signals (the built-in board's first camera).
cat >"$WORK/two-vfgs.board" <<'BOARD'
vfg
reg 2655 0x2016
signal 1  1us 100ns
signal 3  100ns 50ns
signal 32 11.76ns 5.88ns
signal 38 33.3332496ms 33.149088ms
signal 41 30.6936us 11.38368us 1.9992us
signal 44 30.6936us 11.2896us 2.04624us
vfg
reg 2655 0x2017
BOARD
cat >"$WORK/console.sh" <<EOF
for i in \$(seq 1 100); do echo "LEFTOVER \$i"; done
BOARDSIM_CONFIG="$WORK/two-vfgs.board" "$WINE" "$EXE"
echo "EXIT=\$?" >"$WORK/console.exit"
exec sleep 600
EOF
start_session "bash $WORK/console.sh"

if ! first=$(wait_for_screen '^\| c = Clear Errors' '' 120); then
  fail "no complete screen after start"
  screen
  exit 1
fi
echo "first screen after $((SECONDS - START)) s"
grep -q LEFTOVER <<<"$first" && fail "lines from before the start are still on screen"
check_screen "$first" 8 "start" "${COLLAPSED_PANELS[@]}"
[[ $first =~ VFG\ \(000\) ]] || fail "the banner does not show VFG (000)"

send -l L
if camera=$(wait_for_screen '^Channel X ' '' 30); then
  check_screen "$camera" 8 "after L" CameraLink ------^-------------------- \
    '~^Channel X                 : (Enabled|Disabled)$' \
    '~^Channel Y                 : (Enabled|Disabled)$' \
    '~^Channel Z                 : (Enabled|Disabled)$' \
    '~^Mode                      : [^ ]' \
    '~^Use FVAL                  : (Yes|No)$' \
    '~^Use DVAL                  : (Yes|No)$' \
    "" "" "${COLLAPSED_PANELS[@]:3}"
else
  fail "no CameraLink values after L"
  screen
fi

# Collapsing again must give back the start screen exactly: the longer screen before it was
# cleared away, not drawn over.
send -l l
collapsed=$(wait_for_screen '^CameraLink' '^Channel X ' 30) || fail "L did not collapse CameraLink"
[[ $collapsed == "$first" ]] || fail "after L twice the screen differs from the start"

# An arrow key reaches the console as two codes, 0xE0 and then its own code; for Down that
# code is 'P', which toggles the PacketEngine panel.
send Down
if packet=$(wait_for_screen '^\^-{26}$' '' 30); then
  grep -Pzq '\nPacketEngine\n\^-{26}\n' <<<"$packet" ||
    fail "Down did not expand PacketEngine"
else
  fail "Down did not expand PacketEngine"
fi
send Down
again=$(wait_for_screen '^PacketEngine' '^\^-{26}$' 30) || fail "Down did not collapse PacketEngine"
[[ $again == "$first" ]] || fail "after Down twice the screen differs from the start"

# Every other panel expands with its key and collapses again.
declare -A PANEL_LINE=(
  [r]='^Output Pixel Depth        : 8-Bit$'
  [a]='^Window Size               : +[0-9]'
  [b]='^Max quads per fetch       : '
  [t]='^CT default state          : 0x'
  [i]='^BOX_IN_TTL\[11:0\]          : 0x'
)
for key in r a b t i; do
  send -l "$key"
  wait_for_screen "${PANEL_LINE[$key]}" '' 30 >/dev/null || fail "$key did not expand its panel"
  send -l "$key"
  back=$(wait_for_screen '^CameraLink' "${PANEL_LINE[$key]}" 30) ||
    fail "$key did not collapse its panel"
  [[ $back == "$first" ]] || fail "after $key twice the screen differs from the start"
done

# SystemProbe measures live: its figures arrive line by line, floats printed by the Windows
# runtime; the last line times out (no CC1 on this board) and shows Unknown.
send -l o
end=$((SECONDS + 60))
probe=""
while ((SECONDS < end && SECONDS < DEADLINE)); do
  probe=$(screen)
  grep -Eq '^CC1 to Frame Latency +: Unknown' <<<"$probe" && break
  sleep 0.5
done
grep -Eq '^Frame Rate                : 30\.00      Frames/sec$' <<<"$probe" ||
  fail "SystemProbe does not show 30.00 Frames/sec"$'\n'"$probe"
grep -Eq '^Lines per Frame           : 1080       Lines$' <<<"$probe" ||
  fail "SystemProbe does not show 1080 Lines per Frame"
grep -Eq '^CC1 to Frame Latency +: Unknown' <<<"$probe" || fail "SystemProbe did not finish"
send -l o
back=$(wait_for_screen '^SystemProbe' '^Frame Rate' 30) || fail "o did not collapse SystemProbe"
[[ $back == "$first" ]] || fail "after o twice the screen differs from the start"

# + shows the next VFG of the two in the description file.
banner2=$(sed -n 2p <<<"$first")
if [[ $banner2 =~ $BANNER_LINE2 && ${BASH_REMATCH[2]} == 001 ]]; then
  [[ ${BASH_REMATCH[3]} == 2016 ]] || fail "VFG 000 shows the year ${BASH_REMATCH[3]}, not 2016"
  send -l +
  if next=$(wait_for_screen '^\| VFG \(001\) of \(001\) ' '' 30); then
    [[ $(sed -n 2p <<<"$next") =~ $BANNER_LINE2 && ${BASH_REMATCH[3]} == 2017 ]] ||
      fail "VFG 001 does not show the year 2017: $(sed -n 2p <<<"$next")"
    check_screen "$next" 8 "after +" "${COLLAPSED_PANELS[@]}"
  else
    fail "+ did not change to VFG (001)"
    screen
  fi
else
  fail "the banner does not show two VFGs: $banner2"
fi

last=$(screen)
send -l q
end=$((SECONDS + 30))
while [[ ! -s $WORK/console.exit ]] && ((SECONDS < end && SECONDS < DEADLINE)); do sleep 0.3; done
[[ $(cat "$WORK/console.exit" 2>/dev/null) == EXIT=0 ]] ||
  fail "after q: $(cat "$WORK/console.exit" 2>/dev/null || echo 'the console did not end')"
# q leaves the last screen on the terminal.
[[ $(screen) == "$last" ]] || fail "the last screen did not stay after q"

echo "wine end-to-end test took $((SECONDS - START)) s"
if ((FAILURES > 0)); then
  echo "$FAILURES check(s) failed"
  exit 1
fi
echo "PASSED"
