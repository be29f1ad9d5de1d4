#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "sim/board_model.h"
#include "sim/probe_model.h"
#include "tests/sim/sim_test_support.h"

namespace boardsim {
namespace {

using testing::ManualClock;
using testing::parse_valid;

// --- The arithmetic ---------------------------------------------------------------------

TEST(FloorSum, MatchesTheSumItNames) {
  std::mt19937_64 rng(1);
  for (int i = 0; i < 3000; ++i) {
    const uint64_t n = rng() % 60, m = 1 + rng() % 40, a = rng() % 200, b = rng() % 200;
    Picoseconds expected = 0;
    for (uint64_t k = 0; k < n; ++k) expected += (a * k + b) / m;
    ASSERT_TRUE(floor_sum(n, m, a, b) == expected) << n << " " << m << " " << a << " " << b;
  }
}

TEST(EdgesIn, CountsEdgesOfTheHalfOpenInterval) {
  std::mt19937_64 rng(2);
  for (int i = 0; i < 3000; ++i) {
    const uint64_t period = 1 + rng() % 30, offset = rng() % period;
    const uint64_t a = rng() % 200, b = a + rng() % 200;
    uint64_t expected = 0;
    for (uint64_t x = a; x < b; ++x) expected += (x >= offset && (x - offset) % period == 0);
    ASSERT_EQ(edges_in(period, offset, a, b), expected) << period << " " << offset << " " << a;
  }
}

TEST(ClockEdgesWhileHigh, HugeIntervalsAndPeriodsInClosedForm) {
  const uint64_t end = UINT64_MAX;
  // A clock of period 3 inside every other picosecond: the multiples of 6.
  EXPECT_EQ(clock_edges_while_high(Wave{3, 1, 0}, Wave{2, 1, 0}, 0, end), 3074457345618258603u);
  // One high interval of 2^63 from 5: the multiples of 7 in [5, 2^63 + 5).
  EXPECT_EQ(
      clock_edges_while_high(Wave{7, 1, 0}, Wave{UINT64_MAX, uint64_t{1} << 63, 5}, 0, end - 1),
      1317624576693539401u);
  // A gate that is high for all but 1 ps of every 2^64 - 1: nearly every clock edge.
  EXPECT_EQ(clock_edges_while_high(Wave{UINT64_MAX - 1, 1, 1}, Wave{UINT64_MAX, UINT64_MAX - 1, 0},
                                   0, end),
            1u);
}

// --- Measurements through the register model, against a count over every picosecond -------

struct TestSignal {
  int64_t period, high, phase;
};

int64_t mod(int64_t x, int64_t p) {
  return ((x % p) + p) % p;
}

bool edge_at(const TestSignal& s, uint32_t kind, int64_t x) {
  return mod(x - s.phase - (kind == 1 ? s.high : 0), s.period) == 0;
}

bool high_at(const TestSignal& s, int64_t x) {
  return mod(x - s.phase, s.period) < s.high;
}

struct Expected {
  bool has_start = false, ends = false;
  int64_t start = 0, stop = 0;
};

Expected brute_events(const std::map<uint32_t, TestSignal>& signals, const ProbeSettings& s,
                      int64_t t0) {
  Expected e;
  const auto start = signals.find(s.start_source);
  if (start == signals.end() || s.start_edge > 1) return e;
  e.has_start = true;
  e.start = t0;
  while (!edge_at(start->second, s.start_edge, e.start)) ++e.start;
  const auto stop = signals.find(s.stop_source);
  if (stop == signals.end() || s.stop_edge > 1 || s.stop_count == 0) return e;
  e.ends = true;
  e.stop = e.start;
  for (uint32_t seen = 0; seen < s.stop_count;)
    seen += edge_at(stop->second, s.stop_edge, ++e.stop);
  return e;
}

uint32_t brute_count(const std::map<uint32_t, TestSignal>& signals, const ProbeSettings& s,
                     int64_t from, int64_t to) {
  const auto counted = signals.find(s.count_source);
  const auto clock = signals.find(kCameraClockSignal);
  if (counted == signals.end()) return 0;
  uint32_t n = 0;
  for (int64_t x = from; x < to; ++x) {
    if (s.count_edge <= 1) {
      n += edge_at(counted->second, s.count_edge, x);
    } else if (s.count_edge == 2 && s.count_source == kCameraClockSignal) {
      n += edge_at(counted->second, 0, x);
    } else if (s.count_edge == 2 && clock != signals.end()) {
      n += edge_at(clock->second, 0, x) && high_at(counted->second, x);
    }
  }
  return n;
}

TEST(Measurement, MatchesABruteForceCountOnRandomSignals) {
  std::mt19937_64 rng(4);
  const uint32_t numbers[] = {5, 6, kCameraClockSignal, 7};  // 7 is never described
  for (int round = 0; round < 1500; ++round) {
    std::map<uint32_t, TestSignal> signals;
    std::string text = "vfg\n";
    for (const uint32_t number : {5u, 6u, kCameraClockSignal}) {
      if (rng() % 6 == 0) continue;
      TestSignal s{2 + static_cast<int64_t>(rng() % 39), 0, static_cast<int64_t>(rng() % 100)};
      s.high = 1 + static_cast<int64_t>(rng() % static_cast<uint64_t>(s.period - 1));
      signals[number] = s;
      text += "signal " + std::to_string(number) + " " + std::to_string(s.period) + "ps " +
              std::to_string(s.high) + "ps " + std::to_string(s.phase) + "ps\n";
    }
    ProbeSettings p;
    p.start_source = numbers[rng() % 4];
    p.stop_source = numbers[rng() % 4];
    p.count_source = numbers[rng() % 4];
    p.start_edge = rng() % 7 == 0 ? 2 : rng() % 2;
    p.stop_edge = rng() % 7 == 0 ? 3 : rng() % 2;
    p.count_edge = rng() % 4;
    p.stop_count = rng() % 6;
    const BoardDescription board = parse_valid(text);
    ManualClock clock;
    const int64_t opened = static_cast<int64_t>(rng() % 1000);
    const int64_t t0 = static_cast<int64_t>(rng() % 1000);  // board time of the start write
    clock.set(opened);
    VfgModel vfg(board.vfgs[0], clock);
    clock.set(opened + t0);
    const uint32_t writes[][2] = {{2909, 1},
                                  {2913, p.stop_count},
                                  {2904, 1},
                                  {2905, 0},
                                  {2902, p.start_source},
                                  {2903, p.start_edge},
                                  {2900, p.stop_source},
                                  {2901, p.stop_edge},
                                  {2898, p.count_source},
                                  {2899, p.count_edge},
                                  {2906, 0},
                                  {2908, 1}};
    for (const auto& w : writes) vfg.poke(w[0], w[1]);

    const Expected e = brute_events(signals, p, t0);
    const std::string what =
        text + "start " + std::to_string(p.start_source) + "/" + std::to_string(p.start_edge) +
        " stop " + std::to_string(p.stop_source) + "/" + std::to_string(p.stop_edge) + " x" +
        std::to_string(p.stop_count) + " count " + std::to_string(p.count_source) + "/" +
        std::to_string(p.count_edge) + " t0 " + std::to_string(t0);
    const auto count_to = [&](int64_t now) {
      return e.has_start && now > e.start ? brute_count(signals, p, e.start, now) : 0;
    };
    if (e.ends) {
      clock.set(opened + e.stop - 1);
      ASSERT_EQ(vfg.peek(2911), 1u) << what;
      ASSERT_EQ(vfg.peek(2912), count_to(e.stop - 1)) << what;  // counting so far
      clock.set(opened + e.stop);
      ASSERT_EQ(vfg.peek(2911), 0u) << what;
      ASSERT_EQ(vfg.peek(2912), count_to(e.stop)) << what;
      clock.advance(1000);
      ASSERT_EQ(vfg.peek(2912), count_to(e.stop)) << what;
    } else {
      clock.set(opened + t0 + 500);
      ASSERT_EQ(vfg.peek(2911), 1u) << what;
      ASSERT_EQ(vfg.peek(2912), count_to(t0 + 500)) << what;
    }
  }
}

class Probe : public ::testing::Test {
 protected:
  void measure(uint32_t start, uint32_t stop, uint32_t count, uint32_t count_edge,
               uint32_t stop_count) {
    const uint32_t writes[][2] = {{2909, 1},     {2913, stop_count}, {2904, 1},    {2905, 0},
                                  {2902, start}, {2903, 0},          {2900, stop}, {2901, 0},
                                  {2898, count}, {2899, count_edge}, {2906, 1},    {2908, 1}};
    for (const auto& w : writes) vfg->poke(w[0], w[1]);
  }
  void open(std::string_view text) {
    board = parse_valid(text);
    vfg = std::make_unique<VfgModel>(board.vfgs[0], clock);
  }
  ManualClock clock;
  BoardDescription board;
  std::unique_ptr<VfgModel> vfg;
};

TEST_F(Probe, IdleUntilTheFirstStartThenBusyUntilTheStopEvent) {
  open("vfg\nsignal 1 1us 100ns\nsignal 3 100ns 50ns\nsignal 32 11.765ns 5ns\n");
  EXPECT_EQ(vfg->peek(2911), 0u);
  EXPECT_EQ(vfg->peek(2912), 0u);
  clock.set(300000);  // 0.3 us: the window starts at 1 us and ends 0.1 s later
  measure(1, 3, 32, 0, 1000000);
  vfg->poke(2898, 3);  // changing the settings afterwards changes nothing
  clock.set(testing::kSecond / 10 + 1000000 - 1);
  EXPECT_EQ(vfg->peek(2911), 1u);
  clock.advance(1);
  EXPECT_EQ(vfg->peek(2911), 0u);
  EXPECT_EQ(vfg->peek(2912), 8499788u);  // 85 MHz over 0.1 s from 1 us
  vfg->poke(2908, 0);                    // only a write of 1 starts a measurement
  EXPECT_EQ(vfg->peek(2912), 8499788u);
}

struct NeverCase {
  const char* name;
  uint32_t start, stop, count, stop_count;
  uint32_t count_after_a_second;
};

TEST_F(Probe, MeasurementsWithoutAStopEventNeverEnd) {
  open("vfg\nsignal 1 1us 100ns\nsignal 3 100ns 50ns\n");
  for (const NeverCase& c : {NeverCase{"no start signal", 2, 3, 3, 1, 0},
                             NeverCase{"no stop signal", 1, 4, 3, 1, 10000000},
                             NeverCase{"stop count 0", 1, 3, 3, 0, 10000000}}) {
    measure(c.start, c.stop, c.count, 0, c.stop_count);
    clock.advance(testing::kSecond);
    EXPECT_EQ(vfg->peek(2911), 1u) << c.name;
    EXPECT_EQ(vfg->peek(2912), c.count_after_a_second) << c.name;
  }
  measure(1, 3, 9, 0, 1);  // the next start ends it; no count signal counts 0
  clock.advance(testing::kSecond);
  EXPECT_EQ(vfg->peek(2911), 0u);
  EXPECT_EQ(vfg->peek(2912), 0u);
}

// Periods near 2^64 ps, stop counts near 2^32 and a board time near 2^100 must neither
// overflow nor take long (the sanitizer build checks the former).
TEST_F(Probe, HostileValuesStayDefined) {
  open(
      "vfg\nsignal 1 18446744073709551615ps 18446744073709551614ps 18446744073709551615ps\n"
      "signal 32 2ps 1ps 1ps\nsignal 5 18446744073709551615ps 1ps\n");
  clock.set(Picoseconds{1} << 100);
  measure(1, 1, 1, 2, 0xffffffff);
  EXPECT_EQ(vfg->peek(2911), 1u);
  clock.advance(Picoseconds{1} << 90);  // counting is held at 2^64 - 1 ps
  EXPECT_EQ(vfg->peek(2911), 1u);
  vfg->peek(2912);
  clock.advance(~Picoseconds{0} >> 2);  // beyond the stop event, about 2^96 ps after the start
  EXPECT_EQ(vfg->peek(2911), 0u);
  vfg->peek(2912);
  measure(5, 5, 32, 2, 0xffffffff);
  clock.advance(Picoseconds{1} << 80);
  EXPECT_EQ(vfg->peek(2911), 1u);
  vfg->peek(2912);
  measure(32, 5, 32, 2, 1);
  clock.advance(Picoseconds{1} << 65);
  EXPECT_EQ(vfg->peek(2911), 0u);
}

}  // namespace
}  // namespace boardsim
