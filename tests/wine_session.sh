#!/usr/bin/env bash
# Holds one wine session open while the Windows build's tests run:
#   wine_session.sh WINE start|stop     (WINEPREFIX names the prefix)
# wine starts its own system processes with the first program of a prefix and ends them when
# the last program exits; a program started while they end can be cut off before its first
# line ("wine client error:0: recvmsg: Connection reset by peer", about one start in 400 of
# the case files' quick ones). An idle cmd.exe, held for the whole run, keeps them up. Its
# standard input is a sleep that bounds its life should the stop never come.
set -eu
wine=$1
held=$WINEPREFIX.session # beside the prefix, which does not exist yet
end_session() {
  if [ -f "$held.pid" ]; then kill "$(cat "$held.pid")" 2>/dev/null || true; fi
  rm -f "$held.pid" "$held.fifo" "$held.log"
}
case $2 in
start)
  end_session # one left by a run that was interrupted
  # Creates the prefix, alone: two first starts at once can fail. The wineserver that this
  # starts outlives the test, so nothing it inherits may be ctest's output pipe.
  "$wine" wineboot --init >"$held.log" 2>&1 || { cat "$held.log" && exit 1; }
  # Then lets that first boot end before the session boots the prefix again: a service started
  # while the first boot's processes still end never answers its manager ("Service request
  # timeout", error 1053), wine's own services included.
  timeout 60 "$(dirname "$wine")/wineserver" -w >>"$held.log" 2>&1 </dev/null || true
  mkfifo "$held.fifo"
  "$wine" cmd.exe <"$held.fifo" >/dev/null 2>&1 &
  sleep 900 >"$held.fifo" 2>/dev/null &
  echo $! >"$held.pid"
  # Returns once the prefix has booted for the session. A test's program that booted it would
  # pass its output pipe on to wine's system processes, and ctest would wait for them.
  timeout 120 "$wine" cmd.exe /c exit >>"$held.log" 2>&1 </dev/null || true
  ;;
stop) end_session ;;
esac
