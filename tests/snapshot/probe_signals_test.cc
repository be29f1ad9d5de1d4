// Turning probe figures back into signals: what the figures leave open stays out.
#include "snapshot/probe_signals.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
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

std::map<uint32_t, ProbeSignal> by_number(const std::vector<ProbeSignal>& signals) {
  std::map<uint32_t, ProbeSignal> timings;
  for (const ProbeSignal& s : signals) timings[s.number] = s;
  return timings;
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
    const auto timings = by_number(signals_from_counts(counts_of(c.figures)));
    for (uint32_t number : c.absent)
      EXPECT_FALSE(timings.count(number)) << c.name << ": " << number;
    for (const auto& [number, t] : timings) {
      EXPECT_TRUE(t.high_ps > 0 && t.high_ps < t.period_ps && t.phase_ps < t.period_ps)
          << c.name << ": " << number;
    }
  }
}

}  // namespace
}  // namespace boardstat::snapshot
