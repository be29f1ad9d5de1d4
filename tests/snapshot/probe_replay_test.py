#!/usr/bin/env python3
"""--probe snapshots replay their SystemProbe figures.

    probe_replay_test.py CONSOLE SNAPSHOT SOURCE_DIR

For each board (the committed probe_*.board files, then generated ones): the snapshot's counts
of the 26 SystemProbe measurements on the original, read from its access trace, must come back
in the console's SystemProbe panel on the snapshot: every interval's count the same, every rate
window's within one count, the same ones Unknown. A snapshot of the snapshot must be the same
file.

Generated boards are camera-like, at odd rates and phases, with signals left out at random:
SNAPSHOT_BOARDS of them (default 3) from SNAPSHOT_SEED (default: a new seed, printed).
"""
import os
import random
import re
import subprocess
import sys
import tempfile

CONSOLE, SNAPSHOT, SOURCE = sys.argv[1:4]
TESTDATA = os.path.join(SOURCE, "tests", "snapshot", "testdata")
POKE = re.compile(r"^poke 0 (\d+) (\d+)$")
COUNT = re.compile(r"^peek 0 2912 -> (\d+)$")
MODE, START = 2906, 2908
SETUP = (2898, 2899, 2900, 2901, 2902, 2903, 2913, MODE)


def traced(work, command, stdin=""):
    """Runs COMMAND with an access trace; returns (status, [(setup, count or None)])."""
    fifo = os.path.join(work, "trace")
    kept = os.path.join(work, "trace.txt")
    if os.path.exists(fifo):
        os.remove(fifo)
    os.mkfifo(fifo)
    # grep drops the probe's busy polls as they come, which run to millions of lines.
    reader = subprocess.Popen(["sh", "-c", f"grep -v ' 2911 -> 1$' < '{fifo}' > '{kept}'"])
    env = dict(os.environ, BOARDSIM_TRACE=fifo)
    try:
        run = subprocess.run(command, input=stdin.encode(), env=env, capture_output=True,
                             timeout=240, check=False)
    finally:
        try:
            reader.wait(timeout=30)
        except subprocess.TimeoutExpired:
            reader.kill()
            reader.wait()
    measurements, registers = [], {}
    with open(kept) as lines:
        for line in lines:
            poke = POKE.match(line)
            if poke:
                register, value = int(poke[1]), int(poke[2])
                registers[register] = value
                if register == START:
                    measurements.append([tuple(registers.get(r) for r in SETUP), None])
            elif (count := COUNT.match(line)) and measurements:
                measurements[-1][1] = int(count[1])
    return run.returncode, [tuple(m) for m in measurements]


def allowed(rate_count):
    """How far a replay's count may lie from the original's: intervals exactly, a rate window
    one count; above 316000 counts in a window, periods of whole picoseconds step by about
    count^2 / 10^11 counts."""
    if rate_count is None:
        return 0
    return 1 if rate_count <= 316_000 else 1 + -(-rate_count**2 // 10**11)


def differences(original, replay):
    """What the replay's counts get wrong, as text lines."""
    if len(original) != 26 or len(replay) != 26:
        return [f"{len(original)} and {len(replay)} measurements, not 26 each"]
    wrong = []
    for i, ((setup, a), (setup_b, b)) in enumerate(zip(original, replay)):
        if setup != setup_b:
            wrong.append(f"measurement {i + 1}: set up {setup_b}, not {setup}")
        elif a is None or b is None:
            if a != b:
                wrong.append(f"measurement {i + 1}: {b} for {a}")
        elif abs(a - b) > allowed(a if setup[-1] == 1 else None):
            wrong.append(f"measurement {i + 1} {setup}: {b} for {a}")
    return wrong


def ps(value):
    return f"{value}ps"


def signal(number, period, high, phase):
    return f"signal {number} {ps(period)} {ps(high)} {ps(phase % period)}"


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
    for number, shortest, longest in ((48, 50 * 10**6, 5 * 10**9), (49, 50 * 10**6, 5 * 10**9),
                                      (50, 50 * 10**6, 5 * 10**9), (15, 10**8, 5 * 10**9)):
        if present(0.7):
            period = rng.randrange(shortest, longest)
            width = rng.randrange(1, period // 200_000) * 100_000
            lines.append(signal(number, period, width, rng.randrange(period)))
    for number, shortest, longest in ((8, 10**8, 5 * 10**10), (9, 10**6, 10**9),
                                      (10, 10**6, 10**9), (16, 20_000, 2 * 10**6),
                                      (17, 10**6, 10**9)):
        if present(0.7):
            period = rng.randrange(shortest, longest)
            lines.append(signal(number, period, rng.randrange(1, period), rng.randrange(period)))
    return "\n".join(lines) + "\n"


def check(work, name, board):
    """The failures of one board, as text lines."""
    env_board = os.path.join(work, "original.board")
    with open(env_board, "w") as out:
        out.write(board)
    first, second = os.path.join(work, "first.board"), os.path.join(work, "second.board")
    os.environ["BOARDSIM_CONFIG"] = env_board
    status, original = traced(work, [SNAPSHOT, "--probe", "-o", first])
    if status != 0:
        return [f"snapshot of the original: exit {status}"]
    os.environ["BOARDSIM_CONFIG"] = first
    status, replay = traced(work, [CONSOLE], stdin="oq")
    wrong = [f"console on the snapshot: exit {status}"] if status != 0 else []
    wrong += differences(original, replay)
    status, _ = traced(work, [SNAPSHOT, "--probe", "-o", second])
    with open(first) as a, open(second) as b:
        if status != 0 or a.read() != b.read():
            diff = subprocess.run(["diff", first, second], capture_output=True, text=True)
            wrong.append("the snapshot of the snapshot differs:\n" + diff.stdout)
    return wrong


def main():
    os.environ["SOURCE_DATE_EPOCH"] = "0"
    boards = [(name, open(os.path.join(TESTDATA, name)).read())
              for name in sorted(os.listdir(TESTDATA)) if name.startswith("probe_")]
    seed = int(os.environ.get("SNAPSHOT_SEED") or random.SystemRandom().randrange(2**32))
    rng = random.Random(seed)
    count = int(os.environ.get("SNAPSHOT_BOARDS", "3"))
    boards += [(f"generated board {i + 1} of seed {seed}", generated_board(rng))
               for i in range(count)]
    print(f"seed {seed} (SNAPSHOT_SEED={seed} SNAPSHOT_BOARDS={count} repeats this run)")
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for name, board in boards:
            wrong = check(work, name, board)
            if wrong:
                failures += 1
                print(f"FAIL {name}:\n  " + "\n  ".join(wrong) + "\n--- board:\n" + board)
            else:
                print(f"PASS {name}")
    if failures:
        print(f"{failures} board(s) failed; seed {seed}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
