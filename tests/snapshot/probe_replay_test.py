#!/usr/bin/env python3
# --probe snapshots replay their SystemProbe figures.
#
#     probe_replay_test.py CONSOLE SNAPSHOT SOURCE_DIR
#
# For each board (the committed probe_*.board files, the built-in board with window selectors
# left set on its last VFG, then generated ones): the snapshot's counts of the 26 SystemProbe
# measurements on the original, read from its access trace, must come back in the console's
# SystemProbe panel on the snapshot: every interval's count the same, every rate window's within
# one count, the same ones Unknown, on every VFG. A snapshot of the snapshot must be the same
# file. The snapshot may write only window selectors (put back as the board had them) and the
# rate probe.
#
# Generated boards are camera-like, at odd rates and phases, with signals left out at random:
# SNAPSHOT_BOARDS of them (default 3) from SNAPSHOT_SEED (default: a new seed, printed).
import os
import random
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


def signal(number, period, high, phase):
    return f"signal {number} {period}ps {high}ps {phase % period}ps"


def generated_board(rng):
    """A camera (clock; lines, data valid and frames on its edges), CC1 with the frame, and the
    board's other signals at odd rates and phases; some of them left out. Widths and the CC1
    latency are whole counts of the reference: the original's own figures would vary else."""
    present = lambda chance: rng.random() < chance
    # The window tick rises with the reference, as both come from the board's oscillator.
    reference = rng.randrange(100_000)
    lines = ["vfg",
             signal(1, rng.randrange(5, 200) * 100_000, 50_000,
                    reference + rng.randrange(10**4) * 100_000),
             signal(3, 100_000, 50_000, reference)]
    clock = rng.randrange(11_000, 50_000)
    per_line = rng.randrange(40, 400)
    line = per_line * clock
    per_frame = rng.randrange(max(3, 2 * 10**9 // line + 1), 40 * 10**9 // line)
    frame = per_frame * line
    on_clock = rng.randrange(clock)  # when the camera's signals change after a clock edge
    frame_phase = rng.randrange(10**6) * clock + rng.randrange(clock) + on_clock
    line_high = per_line - rng.randrange(4, per_line // 3)
    line_phase = frame_phase + rng.randrange(1, per_line + 1) * clock
    has_line, has_frame = present(0.85), present(0.9)
    if present(0.9):
        lines.append(signal(32, clock, clock // 2, frame_phase - on_clock))
    if has_line:
        lines.append(signal(41, line, line_high * clock, line_phase))
        if present(0.8):
            start = rng.randrange(line_high // 4)
            lines.append(signal(44, line, rng.randrange(1, line_high - start) * clock,
                                line_phase + start * clock))
    if has_frame:
        low = rng.randrange(per_line, per_frame // 3 * per_line)
        lines.append(signal(38, frame, frame - low * clock, frame_phase))
        if present(0.8):
            before = rng.randrange(1, min(frame // 100_000, 20_000))
            lines.append(signal(47, frame, rng.randrange(1, min(before, 500) + 1) * 100_000,
                                frame_phase - before * 100_000))
    # Signals whose width is measured (whole counts of the reference), then rates only.
    for number, shortest, longest, wide in (
            (48, 50 * 10**6, 5 * 10**9, 1), (49, 50 * 10**6, 5 * 10**9, 1),
            (50, 50 * 10**6, 5 * 10**9, 1), (15, 10**8, 5 * 10**9, 1), (8, 10**8, 5 * 10**10, 0),
            (9, 10**6, 10**9, 0), (10, 10**6, 10**9, 0), (16, 20_000, 2 * 10**6, 0),
            (17, 10**6, 10**9, 0)):
        if present(0.7):
            period = rng.randrange(shortest, longest)
            high = rng.randrange(1, period // 200_000) * 100_000 if wide else \
                rng.randrange(1, period)
            lines.append(signal(number, period, high, rng.randrange(period)))
    return "\n".join(lines) + "\n"


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
    seed = int(os.environ.get("SNAPSHOT_SEED") or random.SystemRandom().randrange(2**32))
    rng = random.Random(seed)
    count = int(os.environ.get("SNAPSHOT_BOARDS", "3"))
    boards += [(f"generated board {i + 1} of seed {seed}", generated_board(rng))
               for i in range(count)]
    print(f"seed {seed} (SNAPSHOT_SEED={seed} SNAPSHOT_BOARDS={count} repeats this run)")
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for name, board in boards:
            wrong = check(work, board)
            failures += bool(wrong)
            print(f"FAIL {name}:\n  " + "\n  ".join(wrong) + "\n--- board:\n" + board
                  if wrong else f"PASS {name}")
    if failures:
        print(f"{failures} board(s) failed; seed {seed}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
