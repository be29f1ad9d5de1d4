#include "exporter/extended_count.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace boardstat {
namespace {

// A simulated board count: `start` plus `rate` a second, or, after a clear, `rate` a second
// from the clear. The collector reads it every `interval` seconds, give or take `jitter`.
struct SimulatedCount {
  double rate;
  uint64_t start;
};

struct CountRun {
  const char* name;
  std::vector<SimulatedCount> counts;  // cleared together
  uint32_t mask;
  double interval;
  double jitter;         // each poll comes up to this much late
  double seconds;        // how long the collector polls
  double clear_at;       // negative: never
  double stall_at = -1;  // from here on every poll comes `stall` later: one long gap
  double stall = 0;
};

uint64_t true_count(const SimulatedCount& c, double t, double clear_at) {
  if (clear_at >= 0 && t >= clear_at)
    return static_cast<uint64_t>(std::floor(c.rate * (t - clear_at)));
  return c.start + static_cast<uint64_t>(std::floor(c.rate * t));
}

// The collector's totals must equal what the board really counted: since the first reading
// when nothing was cleared, since the clear when it was.
TEST(ExtendedCount, TotalsFollowTheBoardThroughWrapsAndClears) {
  constexpr uint32_t k16 = 0xFFFF;
  constexpr uint32_t k32 = 0xFFFFFFFF;
  // The built-in board's VFG 0: volumes and frames in step, lines, 16-byte units.
  const auto vfg0 = [](uint64_t v, uint64_t y, uint64_t x) {
    return std::vector<SimulatedCount>{{30, v}, {30, v}, {32400, y}, {3888000, x}};
  };
  const auto one = [](double rate, uint64_t start) {
    return std::vector<SimulatedCount>{{rate, start}};
  };
  // X at 1000 units at the last poll before the clear at 2.5025 s: its first reading after the
  // clear (9720) lies above the one before it, so only the slower counts can show the clear.
  const uint64_t x_low_at_clear = (1000 + (uint64_t{1} << 32) - 9720000) & k16;
  for (const CountRun& run : {
           CountRun{"X wraps every 17 ms", one(3888000, 0), k16, 0.005, 0, 2, -1},
           CountRun{"VFG 2's X, a poll 20 ms late", one(4915200, 3), k16, 0.005, 0.001, 3, -1, 1.5,
                    0.02},
           CountRun{"VFG 0 stalls 40 ms", vfg0(100, 100, 100), k16, 0.005, 0.001, 3, -1, 1.5, 0.04},
           CountRun{"X every 10 ms, up to 6 ms late", one(3888000, 777), k16, 0.010, 0.006, 3, -1},
           CountRun{"the first step wraps", one(3888000, 60000), k16, 0.005, 0, 0.006, -1},
           CountRun{"V and Z wrap, Y and X go on", vfg0(65530, 7, 9), k16, 0.005, 0.001, 3, -1},
           CountRun{"cleared in the upper half", vfg0(60000, 50000, 40000), k16, 0.005, 0, 3,
                    2.5025},
           CountRun{"cleared, X above its last", vfg0(100, 100, x_low_at_clear), k16, 0.005, 0, 3,
                    2.5025},
           CountRun{"cleared, only Z shows it",
                    std::vector<SimulatedCount>{{0, 0}, {30, 40000}, {0, 0}, {0, 0}}, k16, 0.005, 0,
                    3, 2.5},
           CountRun{"slow count cleared near its top", one(30, 65000), k16, 0.005, 0, 3, 2.5},
           CountRun{"idle counts", vfg0(0, 0, 0), k16, 0.005, 0, 2, -1},
           CountRun{"32-bit packets wrap", one(243000, k32 - 100000), k32, 1, 0.1, 5, -1},
           CountRun{"32-bit dropped packets cleared", one(31, 3000000000u), k32, 1, 0.1, 5, 3.2},
       }) {
    SCOPED_TRACE(run.name);
    std::vector<ExtendedCount> counts(run.counts.size(), ExtendedCount(run.mask));
    std::vector<uint32_t> raws(run.counts.size());
    uint64_t clears = 0;
    double last_poll = 0;
    for (int poll = 0;; ++poll) {
      // Late by a varying part of the jitter, never early.
      const double on_time = poll * run.interval;
      const double t = on_time + run.jitter * ((poll * 7919) % 11) / 10.0 +
                       (run.stall_at >= 0 && on_time >= run.stall_at ? run.stall : 0);
      if (t > run.seconds) break;
      for (size_t i = 0; i < counts.size(); ++i) {
        raws[i] = static_cast<uint32_t>(true_count(run.counts[i], t, run.clear_at) & run.mask);
      }
      clears += update_together(counts.data(), raws.data(), counts.size(), t);
      last_poll = t;
    }
    EXPECT_EQ(clears, run.clear_at >= 0 ? 1u : 0u);
    for (size_t i = 0; i < counts.size(); ++i) {
      SCOPED_TRACE(i);
      const SimulatedCount& c = run.counts[i];
      const uint64_t expected = run.clear_at >= 0
                                    ? true_count(c, last_poll, run.clear_at)
                                    : (c.start & run.mask) + true_count(c, last_poll, -1) - c.start;
      EXPECT_EQ(counts[i].total(), expected);
    }
  }
}

}  // namespace
}  // namespace boardstat
