// Turning probe figures back into signals: the picoseconds of each signal from the counts the
// SystemProbe panel measures.
#include "exporter/snapshot/probe_signals.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <ostream>
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

struct Timing {
  uint64_t period, high, phase;
  bool operator==(const Timing& o) const {
    return period == o.period && high == o.high && phase == o.phase;
  }
};

std::ostream& operator<<(std::ostream& out, const Timing& t) {
  return out << t.period << "ps " << t.high << "ps " << t.phase << "ps";
}

std::map<uint32_t, Timing> by_number(const std::vector<ProbeSignal>& signals) {
  std::map<uint32_t, Timing> timings;
  for (const ProbeSignal& s : signals) timings[s.number] = {s.period_ps, s.high_ps, s.phase_ps};
  return timings;
}

// A 40 MHz camera: lines of 520 clocks high and 40 low, the first 40 clocks after the frame
// rises; frames of 1024 lines high and 226 low; CC1 with the frame, 100 us before it.
const ProbeCounts kCamera = counts_of({
    {"CL CLock", 4000000},
    {"Clocks per Line", 520},
    {"Clocks between Lines", 40},
    {"Clocks to first Line", 40},
    {"DVAL per Line", 512},
    {"Lines per Frame", 1024},
    {"Lines between Frames", 226},
    {"Frame Rate", 6},
    {"CC1 Rate", 6},
    {"CC1 Width", 50},
    {"CC1 to Frame Latency", 1000},
    {"Trigger Rate", 7},
});

TEST(ProbeSignals, CameraSignalsFollowFromClocksAndLines) {
  const auto timings = by_number(signals_from_counts(kCamera));
  const std::pair<uint32_t, Timing> expected[] = {
      {3, {100000, 50000, 0}},                    // the 10 MHz reference
      {32, {25000, 12500, 0}},                    // 40 MHz
      {41, {14000000, 13000000, 1000000}},        // 560 clocks, 520 high, 40 after the frame
      {44, {14000000, 12800000, 1000000}},        // 512 clocks of data inside the line
      {38, {17500000000, 14336000000, 0}},        // 1250 lines, 1024 high
      {47, {17500000000, 5000000, 17400000000}},  // the frame's period, 100 us before it
      {8, {14285714286, 7142857143, 0}},          // 0.1 s over 7, to the nearest ps
  };
  for (const auto& [number, timing] : expected) {
    ASSERT_TRUE(timings.count(number)) << "signal " << number;
    EXPECT_EQ(timings.at(number), timing) << "signal " << number;
  }
}

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
      EXPECT_TRUE(t.high > 0 && t.high < t.period && t.phase < t.period)
          << c.name << ": " << number;
    }
  }
}

}  // namespace
}  // namespace boardstat::snapshot
