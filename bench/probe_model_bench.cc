// What one rate probe count costs the simulated board, for signals from a 30 Hz frame to an
// 85 MHz camera clock: the count is computed in closed form, so the cost must not grow with
// the number of edges in the measurement's window.
#include <benchmark/benchmark.h>

#include "sim/probe_model.h"

namespace {

using boardsim::Measurement;
using boardsim::Picoseconds;
using boardsim::ProbeSettings;
using boardsim::Signal;
using boardsim::SignalTable;

constexpr uint32_t kTick = 1;    // the 1 us rate window tick
constexpr uint32_t kClock = 32;  // the camera clock, 85 MHz
constexpr uint32_t kFrame = 38;  // the frame signal, 30 Hz
constexpr uint32_t kCountEdges = 0;
constexpr uint32_t kCountClockWhileHigh = 2;
constexpr uint64_t kSecond = 1'000'000'000'000;

// One count over a one-second window (a million ticks), as the rate lines of the SystemProbe
// panel measure: the edges of `counted`, or the camera clock's edges while `counted` is high.
void count_over_one_second(benchmark::State& state, uint32_t counted, uint32_t count_edge) {
  const SignalTable signals = {{kTick, Signal{1'000'000, 100'000, 0}},
                               {kClock, Signal{11'760, 5'880, 0}},
                               {kFrame, Signal{33'333'249'600, 33'149'088'000, 0}}};
  ProbeSettings settings;
  settings.start_source = kTick;
  settings.stop_source = kTick;
  settings.stop_count = 1'000'000;
  settings.count_source = counted;
  settings.count_edge = count_edge;
  Picoseconds t0 = 12'345'678'901;
  uint32_t count = 0;
  for (auto _ : state) {
    const Measurement measurement(settings, signals, t0);
    count = measurement.count(t0 + 2 * kSecond);
    benchmark::DoNotOptimize(count);
    t0 += 7'777'777;  // a new start time each round
  }
  state.counters["edges"] = count;  // how many edges the closed form stood for
}

BENCHMARK_CAPTURE(count_over_one_second, frame_edges_30Hz, kFrame, kCountEdges);
BENCHMARK_CAPTURE(count_over_one_second, clock_edges_85MHz, kClock, kCountEdges);
BENCHMARK_CAPTURE(count_over_one_second, clock_edges_while_frame_high, kFrame,
                  kCountClockWhileHigh);

}  // namespace

BENCHMARK_MAIN();
