#!/usr/bin/env python3
# --probe snapshots replay their SystemProbe figures.
#
#     probe_replay_test.py CONSOLE SNAPSHOT SOURCE_DIR
#
# For each board (the committed probe_*.board files, camera-like ones at odd rates and phases
# among them, and the built-in board with window selectors left set on its last VFG): the
# snapshot's counts of the 26 SystemProbe
# measurements on the original, read from its access trace, must come back in the console's
# SystemProbe panel on the snapshot: every interval's count the same, every rate window's within
# one count, the same ones Unknown, on every VFG. A snapshot of the snapshot must be the same
# file. The snapshot may write only window selectors (put back as the board had them) and the
# rate probe.
import os
import re
import subprocess
import sys
import tempfile

CONSOLE, SNAPSHOT, SOURCE = sys.argv[1:4]
TESTDATA = os.path.join(SOURCE, "tests", "snapshot", "testdata")
POKE = re.compile(r"^poke (\d+) (\d+) (\d+)$")
COUNT = re.compile(r"^peek (\d+) 2912 -> (\d+)$")
MODE, START = 2906, 2908
SETUP = (2898, 2899, 2900, 2901, 2902, 2903, 2913, MODE)
SELECTORS = (2819, 2878, 2879, 2880)


def traced(command, config, stdin=""):
    """Runs COMMAND on the board CONFIG with an access trace; returns (status,
    {VFG: [(setup, count or None)]}, [(VFG, register, value) written])."""
    # grep drops the probe's busy polls as they come, which run to millions of lines.
    pipeline = 'BOARDSIM_TRACE=/dev/stderr timeout 240 "$@" 2>&1 >/dev/null | ' \
        "grep -v ' 2911 -> 1$'; exit ${PIPESTATUS[0]}"
    run = subprocess.run(["bash", "-c", pipeline, "traced", *command],
                         input=stdin, env=dict(os.environ, BOARDSIM_CONFIG=config),
                         capture_output=True, text=True, timeout=300, check=False)
    measurements, registers, pokes = {}, {}, []
    for line in run.stdout.splitlines():
        poke = POKE.match(line)
        if poke:
            vfg, register, value = map(int, poke.groups())
            pokes.append((vfg, register, value))
            registers[vfg, register] = value
            if register == START:
                setup = tuple(registers.get((vfg, r)) for r in SETUP)
                measurements.setdefault(vfg, []).append([setup, None])
        elif (count := COUNT.match(line)) and measurements.get(int(count[1])):
            measurements[int(count[1])][-1][1] = int(count[2])
    return run.returncode, {vfg: [tuple(m) for m in ms] for vfg, ms in measurements.items()}, pokes


def differences(original, replay):
    """What the replay's counts on one VFG get wrong, as text lines."""
    if len(original) != 26 or len(replay) != 26:
        return [f"{len(original)} and {len(replay)} measurements, not 26 each"]
    wrong = []
    for i, ((setup, a), (setup_b, b)) in enumerate(zip(original, replay)):
        # Intervals exactly, a rate window (mode 1) within one count; above 316000 counts in a
        # window, periods of whole picoseconds step by about count^2 / 10^11 counts.
        slack = 0 if setup[-1] != 1 or a is None else 1 if a <= 316_000 else 1 + -(-a**2 // 10**11)
        if setup != setup_b:
            wrong.append(f"measurement {i + 1}: set up {setup_b}, not {setup}")
        elif a != b and (None in (a, b) or abs(a - b) > slack):
            wrong.append(f"measurement {i + 1} {setup}: {b} for {a}")
    return wrong


def check(work, board):
    """The failures of one board, as text lines."""
    files = [os.path.join(work, f"{name}.board") for name in ("original", "first", "second")]
    with open(files[0], "w") as out:
        out.write(board)
    status, original, pokes = traced([SNAPSHOT, "--probe", "-o", files[1]], files[0])
    if status != 0:
        return [f"snapshot of the original: exit {status}"]
    wrong = [f"wrote {p}" for p in pokes if p[1] not in SELECTORS and not 2898 <= p[1] <= 2913]
    described = [{}]  # the registers as the board describes them, by VFG from 1
    for words in (line.split("#")[0].split() for line in board.splitlines()):
        if words[:1] == ["vfg"]:
            described.append({})
        elif words[:1] == ["reg"]:
            described[-1][int(words[1], 0)] = int(words[2], 0)
    last = {(vfg, register): value for vfg, register, value in pokes if register in SELECTORS}
    wrong += [f"VFG {vfg}: selector {register} left at {value}, not as described"
              for (vfg, register), value in last.items()
              if value != described[vfg + 1].get(register, 0)]
    keys = "o" + "+" * (len(described) - 2) + "q"  # the SystemProbe panel of every VFG
    status, replay, _ = traced([CONSOLE], files[1], stdin=keys)
    wrong += [f"console on the snapshot: exit {status}"] if status != 0 else []
    for vfg in sorted(original.keys() | replay.keys()):
        wrong += [f"VFG {vfg}: {line}"
                  for line in differences(original.get(vfg, []), replay.get(vfg, []))]
    status, _, _ = traced([SNAPSHOT, "--probe", "-o", files[2]], files[1])
    diff = subprocess.run(["diff", files[1], files[2]], capture_output=True, text=True)
    if status != 0 or diff.returncode != 0:
        wrong.append(f"the snapshot of the snapshot differs (exit {status}):\n" + diff.stdout)
    return wrong


def main():
    os.environ["SOURCE_DATE_EPOCH"] = "0"
    boards = [(name, open(os.path.join(TESTDATA, name)).read())
              for name in sorted(os.listdir(TESTDATA)) if name.startswith("probe_")]
    boards.append(("the built-in board, window selectors set on its last VFG",
                   open(os.path.join(SOURCE, "sim", "default.board")).read() +
                   "reg 2880 3\nreg 2879 5\nreg 2878 7\nreg 2819 9\n"))
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for name, board in boards:
            wrong = check(work, board)
            failures += bool(wrong)
            print(f"FAIL {name}:\n  " + "\n  ".join(wrong) + "\n--- board:\n" + board
                  if wrong else f"PASS {name}")
    if failures:
        print(f"{failures} board(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
