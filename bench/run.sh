#!/usr/bin/env bash
# Builds boardstat and its benchmarks (default preset) and prints every performance figure as
# one Markdown table: redraw against its floor, board calls per panel, clearing, start-up,
# memory, idle processor time and the SystemProbe panel's wall time against the board's.
# Takes about a minute; needs Google Benchmark (libbenchmark-dev).
set -euo pipefail
cd "$(dirname "$0")/.."

echo "building (cmake --preset default) ..." >&2
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target boardstat redraw_bench board_figures \
  process_figures boardsim_shared >/dev/null
bin=build/boardstat
bench=build/bench
# The simulated board asked for by name: the console loads the build's libboardsim.so.
export BOARDSTAT_BOARD_LIBRARY=sim
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "redraw, floor and clearing (Google Benchmark) ..." >&2
"$bench/redraw_bench" --benchmark_format=csv --benchmark_enable_random_interleaving=true >"$tmp/redraw.csv" 2>/dev/null
# figure NAME STATISTIC: real time in microseconds of one aggregate row
figure() {
  awk -F, -v want="\"$1_$2\"" '$1 ~ /^"/ {
      name = $1; sub(/\/min_time:[^\/]*|\/iterations:[^\/]*/, "", name);
      sub(/\/repeats:[0-9]+\/real_time/, "", name);
      if (name == want) { t = $3; u = $5;
        if (u == "ns") t /= 1000; else if (u == "ms") t *= 1000; printf "%.1f", t } }' \
    "${3:-$tmp/redraw.csv}"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
spread() { echo "$(figure "$1" median) us ($(figure "$1" min) to $(figure "$1" max))"; }

redraw=$(figure BM_Redraw median)
floor=$(figure BM_Floor median)
clear_ours=$(figure BM_ClearScreen median)
clear_system=$(figure BM_ClearBySystem median)
read -r lines flushes allocations < <("$bench/redraw_bench" --screen)
# The same two with the pipe's reader on the other processor.
REDRAW_BENCH_READER=other "$bench/redraw_bench" --benchmark_format=csv \
  --benchmark_enable_random_interleaving=true --benchmark_filter='BM_Redraw/|BM_Floor' \
  >"$tmp/other.csv" 2>/dev/null
redraw_other=$(figure BM_Redraw median "$tmp/other.csv")
floor_other=$(figure BM_Floor median "$tmp/other.csv")

echo "board calls per panel (access trace) ..." >&2
"$bench/board_figures" calls >"$tmp/calls.txt"
# The same screen through the real console and boardsim: calls of one redraw from the trace.
trace_count() {
  printf '%s' "$1" | BOARDSIM_TRACE="$tmp/trace" "$bin" >/dev/null
  wc -l <"$tmp/trace"
}
one_screen=$(trace_count "q")
two_screens=$(trace_count "sq")
full_screen=$(trace_count "lrabptiq")
collapsed_calls=$((two_screens - one_screen))
# One more redraw (s) of the expanded screen: the difference is that screen's calls.
expanded_calls=$(($(trace_count "lrabptisq") - full_screen))

echo "start-up and memory (101 runs each) ..." >&2
read -r start_median start_min start_max rss_median rss_max < <("$bench/process_figures" startup "$bin" 101)
read -r true_median _ < <("$bench/process_figures" startup /bin/true 101)

echo "idle processor time (5 s without a key) ..." >&2
read -r idle_cpu idle_whole idle_switches _ < <("$bench/process_figures" idle "$bin" 5)
# The same with a timed redraw every second: the processor time is that of the redraws.
read -r delay_cpu _ _ delay_screens < <("$bench/process_figures" idle "$bin" 5 1)

echo "SystemProbe panel (3 expanded panels, about 2 s each) ..." >&2
"$bench/board_figures" probe 3 >"$tmp/probe.txt"
probe_median() { sort -n -k"$1" "$tmp/probe.txt" | awk -v k="$1" 'NR == 2 { print $k }'; }
probe_wall=$(probe_median 1)
probe_board=$(probe_median 2)
probe_ratio=$(probe_median 3)
probe_runs=$(awk 'NR == 1 { print $4 }' "$tmp/probe.txt")
probe_limits=$(awk 'NR == 1 { print $5 }' "$tmp/probe.txt")

ok() { awk -v v="$1" -v goal="$2" 'BEGIN { print (v <= goal) ? "met" : "missed" }'; }

echo
echo "| Figure | Measured | Goal |"
echo "|---|---|---|"
echo "| Redraw, every panel expanded but SystemProbe, VFG 0, into a pipe read on the same processor: median (lowest to highest of 15) | $(spread BM_Redraw) | |"
echo "| Floor: the same $lines lines, one write each, no board call | $(spread BM_Floor) | |"
echo "| Redraw / floor | $(ratio "$redraw" "$floor") | 1.5 or less: $(ok "$(ratio "$redraw" "$floor")" 1.5) |"
echo "| The same with the pipe's reader on the other processor: redraw / floor | $redraw_other us / $floor_other us = $(ratio "$redraw_other" "$floor_other") | |"
echo "| Flushes per redraw / lines per screen | $flushes / $lines | one per line |"
echo "| Heap allocations per redraw | $allocations | |"
echo "| Console work per redraw without output (board calls and formatting) | $(spread BM_RedrawWithoutOutput) | |"
echo "| Board calls per redraw, all collapsed / this screen (boardstat + boardsim trace) | $collapsed_calls / $expanded_calls | |"
echo "| Clear: ours (11 bytes, one write) | $(spread BM_ClearScreen) | |"
echo "| Clear: \`system(\"clear\")\` | $(spread BM_ClearBySystem) | |"
echo "| Clear: system / ours | $(ratio "$clear_system" "$clear_ours") | |"
echo "| Start-up to the first screen, \`printf q \| boardstat\`: median (lowest to highest of 101) | $start_median ms ($start_min to $start_max) | under 10 ms: $(ok "$start_median" 10) |"
echo "| The same for /bin/true (starting any process here) | $true_median ms | |"
echo "| Start-up / /bin/true (the console loads libboardsim.so) | $(ratio "$start_median" "$true_median") | under 2: $(ok "$(ratio "$start_median" "$true_median")" 2) |"
echo "| Peak resident memory: median (highest) | $(awk -v k="$rss_median" 'BEGIN { printf "%.2f", k / 1024 }') MiB ($(awk -v k="$rss_max" 'BEGIN { printf "%.2f", k / 1024 }')) | under 8 MiB: $(ok "$rss_max" 8192) |"
echo "| Processor time while waiting 5 s for a key | $(awk -v s="$idle_cpu" 'BEGIN { printf "%.2f s (%.0f us)", s, s * 1e6 }') | 0.00 s: $(ok "$(awk -v s="$idle_cpu" 'BEGIN { printf "%.2f", s }')" 0) |"
echo "| The same with \`-d 1\`: processor time over 5 s, with the redraws it made | $(awk -v s="$delay_cpu" -v n="$delay_screens" 'BEGIN { printf "%.4f s (%.0f us) for %d redraws, %.0f us each", s, s * 1e6, n, n ? s * 1e6 / n : 0 }') | the redraws only |"
echo "| SystemProbe expanded, VFG 0: wall / sum of the board durations of its $probe_runs measurements ($probe_limits ends at its time limit) | $probe_wall s / $probe_board s = $probe_ratio (median of 3) | |"
echo
echo "Board calls per panel, VFG 0 of the built-in board (from the access trace):"
echo
echo "| Panel | Collapsed | Expanded | Reads | Writes | Repeated reads | Lines | Registers read / written |"
echo "|---|---|---|---|---|---|---|---|"
awk '{ reads = ""; writes = ""; side = 0
       for (i = 8; i <= NF; i++) { if ($i == "|") { side = 1; continue }
         if (side) writes = writes " " $i; else reads = reads " " $i }
       printf "| %s | %s | %s | %s | %s | %s | %s | %s /%s |\n", $1, $2, $3, $4, $5, $6, $7, reads, writes }' \
  "$tmp/calls.txt"
