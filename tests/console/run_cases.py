#!/usr/bin/env python3
# Runs the console on the cases of one case file: run_cases.py [--wine WINE] BOARDSTAT FILE
#
# With --snapshot SNAPSHOT first, it checks the snapshot tool instead: every board of the file
# that the console takes without a word on standard error and without arguments, and that has
# nothing that moves or reacts (counter, clears, signal), snapshot once and then again, gives
# the same file twice and the same screens, every panel but SystemProbe expanded on every VFG,
# as the board itself.
#
# Python, not C++: the runner is text in, text out, and a subprocess with pipes and timeouts is a
# few lines here against a page of POSIX calls; the same script drives boardstat.exe under wine.
#
# A case file holds cases, each beginning with "case NAME". Lines starting with # are comments.
# Within a case, one directive a line (TEXT may use \xNN, \n and \\ for any byte):
#
#   vfg / reg / router / seq / counter / clears / signal ...
#                     a line of the board description, as the simulated board reads it
#   board TEXT        any line of the description, broken ones too
#   repeat N TEXT     TEXT as N lines of the description
#   builtin           the built-in board (no description file); config PATH: that file
#   args TEXT         the console's command line, words split at blanks (nothing: no argument)
#   output PATH       standard output goes to PATH (/dev/full: a full disk) instead of the runner
#   tracefile PATH    the access trace goes to PATH instead of the runner's file
#   keys TEXT         keys for standard input (several lines add up); wait SECONDS: a pause;
#                     until TEXT: a pause until the trace has a line that starts with TEXT (at
#                     most a minute); kill: end the console with SIGKILL there (its exit status
#                     is not checked)
#   screen N          the checks below look at screen N (1 = first, -1 = last; the clear
#                     sequence cuts screens; without it they look at all of standard output)
#   expect TEXT       a line equal to TEXT, after the line matched last
#   next TEXT         the line right after the line matched last equals TEXT
#   trace TEXT        a trace line that is TEXT or starts with TEXT and a blank, after the last
#   tracenext TEXT    the same, right after the trace line matched last
#   reads VFG ID...   "trace peek VFG ID" for the first ID, "tracenext peek VFG ID" for the rest
#   count N TEXT      N trace lines are TEXT or start with TEXT and a blank; N+: N or more
#   varies N TEXT     the trace lines that start with TEXT and a blank are N or more different
#                     lines (a count that moves from one read to the next)
#   only ID...        cut the trace down to the calls on these registers first; the trace
#                     lines then have to match it line for line, nothing left over
#   stdout TEXT       standard output is exactly TEXT
#   stderr TEXT       the next line of standard error (BOARD stands for the description file);
#                     without stderr lines standard error must be empty
#   status N          exit status (default 0; -1 is 255)
#   screens N         the number of screens; N+: N or more
import os
import re
import subprocess
import sys
import tempfile
import time

BOARD_WORDS = {"vfg", "reg", "router", "seq", "counter", "clears", "signal"}
CLEAR = b"\033[H\033[2J\033[3J"


def unescape(text):
    return re.sub(rb"\\(x[0-9a-fA-F]{2}|n|\\)",
                  lambda m: b"\n" if m[1] == b"n" else b"\\" if m[1] == b"\\"
                  else bytes([int(m[1][1:], 16)]), text.encode()).decode("latin-1")


def parse(path):
    cases = []
    for number, line in enumerate(open(path, encoding="latin-1").read().split("\n"), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        word, _, rest = line.partition(" ")
        if word == "case":
            cases.append({"name": rest, "line": number, "board": [], "keys": [], "checks": [],
                          "config": None, "output": None, "tracefile": None, "args": []})
        elif not cases:
            sys.exit(f"{path}:{number}: '{word}' before the first case")
        elif word in BOARD_WORDS:
            cases[-1]["board"].append(line)
        elif word == "board":
            cases[-1]["board"].append(unescape(rest))
        elif word == "repeat":
            times, _, text = rest.partition(" ")
            cases[-1]["board"] += [text] * int(times)
        elif word in ("builtin", "config"):
            cases[-1]["config"] = rest if word == "config" else ""
        elif word == "args":
            cases[-1]["args"] = unescape(rest).split()
        elif word in ("output", "tracefile"):
            cases[-1][word] = rest
        elif word == "keys":
            cases[-1]["keys"].append(unescape(rest).encode("latin-1"))
        elif word in ("wait", "kill", "until"):
            kinds = {"wait": float, "kill": lambda _: None, "until": str}
            cases[-1]["keys"].append(kinds[word](rest))
        elif word == "reads":
            vfg, *ids = rest.split()
            cases[-1]["checks"] += [(number, "tracenext" if n else "trace", f"peek {vfg} {i}")
                                    for n, i in enumerate(ids)]
        elif word in ("screen", "expect", "next", "trace", "tracenext", "count", "only", "stdout",
                      "stderr", "status", "screens", "varies"):
            cases[-1]["checks"].append((number, word, unescape(rest)))
        else:
            sys.exit(f"{path}:{number}: unknown directive '{word}'")
    return cases


def write_board(case, path):
    with open(path, "w", encoding="latin-1", newline="") as out:
        out.write("".join(line + "\n" for line in case["board"]))


def counted(found, wanted):
    """FOUND against WANTED: "N" exactly N, "N+" N or more."""
    return found >= int(wanted[:-1]) if wanted.endswith("+") else found == int(wanted)


def wait_for_trace(path, text):
    for _ in range(1200):
        if os.path.exists(path) and any(line.startswith(text) for line in open(path)):
            return
        time.sleep(0.05)


def run(console, case, folder):
    env = dict(os.environ, BOARDSIM_TRACE=case["tracefile"] or os.path.join(folder, "trace"))
    board = os.path.join(folder, "board")  # BOARD in the expected messages
    env.pop("BOARDSIM_CONFIG", None)
    if case["config"] is None:
        write_board(case, board)
        env["BOARDSIM_CONFIG"] = board
    elif case["config"]:
        env["BOARDSIM_CONFIG"] = case["config"]
    open(os.path.join(folder, "out"), "wb").close()  # empty when the output goes elsewhere
    with open(case["output"] or os.path.join(folder, "out"), "wb") as out, \
            open(os.path.join(folder, "err"), "wb") as err:
        process = subprocess.Popen(console + case["args"], stdin=subprocess.PIPE, stdout=out, stderr=err, env=env)
        try:
            for keys in case["keys"]:
                if keys is None:
                    process.kill()
                elif isinstance(keys, float):
                    process.stdin.flush()
                    time.sleep(keys)
                elif isinstance(keys, str):
                    process.stdin.flush()
                    wait_for_trace(env["BOARDSIM_TRACE"], keys)
                else:
                    process.stdin.write(keys)
            process.stdin.close()
        except BrokenPipeError:
            pass  # the console quit before it read every key
        try:
            status = process.wait(timeout=120)
        except subprocess.TimeoutExpired:
            process.kill()  # reported as the status of a killed process
            status = process.wait()
    windows = len(console) > 1  # its runtime ends the lines of text streams with \r\n
    read = lambda name: open(os.path.join(folder, name), "rb").read().decode("latin-1").replace(
        "\r\n" if windows else "\n", "\n")
    trace = read("trace").splitlines() if os.path.exists(os.path.join(folder, "trace")) else []
    status = None if None in case["keys"] else status & 0xFF
    return status, read("out"), read("err").replace(board, "BOARD"), trace


def around(lines, at):
    """The lines near index `at`, the one at `at` marked."""
    return "".join(f"  {'>' if i == at else ' '} {i + 1:4}: {lines[i]!r}\n"
                   for i in range(max(0, at - 2), min(len(lines), at + 3)))


def check(case, status, output, errors, trace):
    """The first failed check as (line number, message), or None."""
    screens = output.split(CLEAR.decode())[1:]
    lines, at, errs = output.split("\n"), -1, errors.splitlines()
    want_trace, want_errs, only = [], [], None
    for number, word, text in case["checks"]:
        if word == "screen":
            index = int(text) - 1 if int(text) > 0 else len(screens) + int(text)
            if not 0 <= index < len(screens):
                return number, f"there are only {len(screens)} screens"
            lines, at = screens[index].split("\n"), -1
        elif word == "expect":
            found = [i for i in range(at + 1, len(lines)) if lines[i] == text]
            if not found:
                return number, f"no line {text!r} after line {at + 1}:\n{around(lines, at + 1)}"
            at = found[0]
        elif word == "next":
            if at + 1 >= len(lines) or lines[at + 1] != text:
                return number, f"expected {text!r} as line {at + 2}:\n{around(lines, at + 1)}"
            at += 1
        elif word in ("trace", "tracenext"):
            want_trace.append((number, word, text))
        elif word == "count":
            times, _, text = text.partition(" ")
            found = sum(1 for t in trace if t == text or t.startswith(text + " "))
            if not counted(found, times):
                return number, f"{found} trace lines {text!r}, expected {times}"
        elif word == "only":
            only = text.split()
        elif word == "stdout" and output != text:
            return number, f"standard output is {output[:300]!r} (status {status}, " + \
                f"standard error {errors[:300]!r})"
        elif word == "stderr":
            want_errs.append(text)
        elif word == "status" and status != int(text) & 0xFF:
            return number, f"exit status {status}, expected {int(text) & 0xFF}\n{errors}"
        elif word == "screens" and not counted(len(screens), text):
            return number, f"{len(screens)} screens, expected {text}"
        elif word == "varies":
            times, _, text = text.partition(" ")
            found = {t for t in trace if t.startswith(text + " ")}
            if len(found) < int(times):
                return number, f"{len(found)} different trace lines {text!r}, expected " + \
                    f"{times} or more: {sorted(found)}"
    if errs != want_errs:
        first = next((i for i, (a, b) in enumerate(zip(errs, want_errs)) if a != b),
                     min(len(errs), len(want_errs)))
        return case["line"], f"standard error line {first + 1} differs:\n{around(errs, first)}" + \
            f"  expected: {want_errs[first] if first < len(want_errs) else 'nothing'!r}"
    if status not in (0, None) and not any(word == "status" for _, word, _ in case["checks"]):
        return case["line"], f"exit status {status}\n{errors}"
    if only is not None:
        trace = [t for t in trace if len(t.split()) > 2 and t.split()[2] in only]
    at = -1
    for number, word, text in want_trace:
        match = lambda t: t == text or t.startswith(text + " ")
        found = [i for i in range(at + 1, len(trace)) if match(trace[i])]
        if not found or ((only is not None or word == "tracenext") and found[0] != at + 1):
            return number, f"no trace line {text!r} after trace line {at + 1}:\n" + \
                around(trace, at + 1)
        at = found[0]
    if only is not None and at + 1 < len(trace):
        return case["line"], f"more calls on {' '.join(only)} than expected:\n" + \
            around(trace, at + 1)
    return None


def round_trip(console, snapshot, case, folder):
    """Why the snapshot of the case's board is not as good as the board, or None."""
    first_words = {" ".join(line.split()[:1]) for line in case["board"]}  # "" for a blank line
    if case["config"] is not None or case["args"] or \
            not first_words <= BOARD_WORDS - {"counter", "clears", "signal"}:
        return None
    board = os.path.join(folder, "board")
    write_board(case, board)
    keys = b"lrabpti" + b"+" * 33 + b"q"
    env = dict(os.environ, SOURCE_DATE_EPOCH="0")
    env.pop("BOARDSIM_TRACE", None)
    shown = lambda path: subprocess.run(console, input=keys, capture_output=True, timeout=60,
                                        env=dict(env, BOARDSIM_CONFIG=path))
    original = shown(board)
    if original.stderr:
        return None  # a description the console does not take has nothing to snapshot
    taken = lambda source: subprocess.run(snapshot, capture_output=True, timeout=60,
                                          env=dict(env, BOARDSIM_CONFIG=source)).stdout
    first = taken(board)
    with open(board + ".1", "wb") as out:
        out.write(first)
    if taken(board + ".1") != first:
        return "a snapshot of the snapshot is another file"
    again = shown(board + ".1")
    if (again.returncode, again.stdout) != (original.returncode, original.stdout):
        return "the console shows other screens on the snapshot"
    return None


def main():
    args = sys.argv[1:]
    snapshot = None
    if args[0] == "--snapshot":
        snapshot, args = [os.path.abspath(args[1])], args[2:]
    console = []
    if args[0] == "--wine":
        console, args = [args[1]], args[2:]
    console.append(os.path.abspath(args[0]))
    path, failures = args[1], 0
    cases = parse(path)
    for case in cases:
        with tempfile.TemporaryDirectory(prefix="boardstat-case-") as folder:
            if snapshot:
                failed = round_trip(console, snapshot, case, folder)
                failed = failed and (case["line"], failed)
            else:
                failed = check(case, *run(console, case, folder))
        if failed:
            failures += 1
            print(f"{path}:{failed[0]}: case '{case['name']}': {failed[1]}")
    print(f"{len(cases) - failures} of {len(cases)} cases passed")
    return 1 if failures or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
