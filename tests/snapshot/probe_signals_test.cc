// Turning probe figures back into signals: what the figures leave open stays out.
#include "snapshot/probe_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace boardstat::snapshot {
namespace {

using Counts = std::initializer_list<std::pair<std::string_view, float>>;

ProbeCounts counts_of(Counts figures) {
  ProbeCounts counts;
  for (const auto& [label, count] : figures) {
    for (size_t i = 0; i < counts.size(); ++i) {
      if (system_probe::kMeasurements[i].label == label) counts[i] = count;
    }
  }
  return counts;
}

// What the figures give is checked end to end by the snapshot round trips (every SystemProbe
// figure of a snapshot against the original's); here what they cannot give.
TEST(ProbeSignals, WhatTheFiguresDoNotFixIsLeftOut) {
  struct Case {
    const char* name;
    Counts figures;
    std::initializer_list<uint32_t> absent;
  };
  const Case cases[] = {
      {"nothing measured: no signal at all", {}, {1, 3, 32, 38, 41}},
      {"a rate of 0 gives no period", {{"Trigger Rate", 0}, {"CC2 Rate", 0}}, {8, 48}},
      {"a line too long for 64 bits of picoseconds and no line rate",
       {{"CL CLock", 1}, {"Clocks per Line", 4294967295.0f}, {"Clocks between Lines", 1}},
       {41, 44}},
      {"data valid longer than its line",
       {{"CL CLock", 4000000},
        {"Clocks per Line", 10},
        {"Clocks between Lines", 10},
        {"DVAL per Line", 11}},
       {44}},
  };
  for (const Case& c : cases) {
    for (const ProbeSignal& t : signals_from_counts(counts_of(c.figures))) {
      EXPECT_EQ(std::count(c.absent.begin(), c.absent.end(), t.number), 0)
          << c.name << ": " << t.number;
      EXPECT_TRUE(t.high_ps > 0 && t.high_ps < t.period_ps && t.phase_ps < t.period_ps)
          << c.name << ": " << t.number;
    }
  }
}

// A rate's period must give its count again, and every count that the period's windows can
// give (floor(W / P) and one more) must lead back to the same period: otherwise a snapshot of a
// snapshot is not the same file. Over every range of counts that the rule treats apart.
TEST(ProbeSignals, RatePeriodsAreTheirOwnSnapshot) {
  constexpr uint64_t kWindowPs = 100000000000;
  const auto trigger_period = [](uint64_t count) -> uint64_t {
    for (const ProbeSignal& s :
         signals_from_counts(counts_of({{"Trigger Rate", static_cast<float>(count)}}))) {
      if (s.number == system_probe::kTrigger) return s.period_ps;
    }
    return 0;
  };
  const std::pair<uint64_t, uint64_t> ranges[] = {{1, 50},
                                                  {1990, 2010},
                                                  {99990, 100010},
                                                  {315990, 316010},
                                                  {316400, 316500},
                                                  {390000, 390400},
                                                  {447150, 447250},
                                                  {999990, 1000010},
                                                  {8499900, 8500100},
                                                  {16777000, 16777216}};
  for (const auto& [first, last] : ranges) {
    for (uint64_t count = first; count <= last; ++count) {
      const uint64_t period = trigger_period(count);
      ASSERT_GT(period, 0u) << count;
      const uint64_t low = kWindowPs / period;
      const uint64_t high = kWindowPs % period == 0 ? low : low + 1;
      // Off by the period's step in counts at most: one count, two in the narrow range where
      // neighbouring periods' counts overlap, count^2 / W where a picosecond is the step.
      const uint64_t allowed =
          count <= 316000 ? 1 : 1 + (count * count + kWindowPs - 1) / kWindowPs;
      EXPECT_LE(std::max(high, count) - std::min(low, count), allowed) << count;
      for (uint64_t again = low; again <= high; ++again) {
        if (again == 0 || again > 16777216) continue;  // single-precision counts stop here
        // Below 2000 a window gives the other count only for an edge within picoseconds of
        // its start: counts that far apart are not each other's snapshot.
        if (count <= 2000 && again != count) continue;
        EXPECT_EQ(trigger_period(again), period) << count << " gives " << again;
      }
    }
  }
}

}  // namespace
}  // namespace boardstat::snapshot
