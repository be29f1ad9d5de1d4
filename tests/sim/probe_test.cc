#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "sim/board_description.h"
#include "sim/board_model.h"
#include "sim/probe_model.h"

namespace boardsim {
namespace {

// The first VFG of `text`, opened at board time `opened` of a clock set by hand.
struct TestVfg {
  explicit TestVfg(std::string_view text, Picoseconds opened = 0)
      : board(parse_board_description(text, "test.board").board) {
    clock.t = opened;
    model.emplace(board.vfgs.at(0), clock);
  }
  struct : Clock {
    Picoseconds now() const override { return t; }
    Picoseconds t = 0;
  } clock;
  BoardDescription board;
  std::optional<VfgModel> model;
};

void start(VfgModel& vfg, const ProbeSettings& p) {
  const uint32_t writes[][2] = {
      {2898, p.count_source}, {2899, p.count_edge}, {2900, p.stop_source}, {2901, p.stop_edge},
      {2902, p.start_source}, {2903, p.start_edge}, {2913, p.stop_count},  {2908, 1}};
  for (const auto& w : writes) vfg.poke(w[0], w[1]);
}

// Small random signals and settings; the busy flag and the count are read at every
// picosecond of the measurement and compared with a walk over every instant.
TEST(Measurement, MatchesABruteForceCountOnRandomSignals) {
  struct Sig {
    int64_t period = 0, high = 0, phase = 0;  // period 0: not described
    int64_t in(int64_t x) const { return ((x - phase) % period + period) % period; }
    bool edge(uint32_t selector, int64_t x) const {
      return period != 0 && selector <= 1 && in(x) == (selector == 1 ? high : 0);
    }
    bool high_at(int64_t x) const { return period != 0 && in(x) < high; }
  };
  std::mt19937_64 rng(4);
  const auto any = [&](uint64_t n) { return static_cast<uint32_t>(rng() % n); };
  const uint32_t numbers[] = {5, 6, kCameraClockSignal, 7};  // 7 is never described
  for (int round = 0; round < 1500; ++round) {
    std::map<uint32_t, Sig> sig;
    std::string text = "vfg\n";
    for (const uint32_t number : {5u, 6u, kCameraClockSignal}) {
      if (any(6) == 0) continue;
      Sig& s = sig[number];
      s.period = 2 + any(39);
      s.high = 1 + any(static_cast<uint64_t>(s.period - 1));
      s.phase = any(100);
      text += "signal " + std::to_string(number) + " " + std::to_string(s.period) + "ps " +
              std::to_string(s.high) + "ps " + std::to_string(s.phase) + "ps\n";
    }
    // count source and edge, stop source and edge, start source and edge, stop count
    const uint32_t f[] = {
        numbers[any(4)],     any(4), numbers[any(4)], any(7) ? any(2) : 3, numbers[any(4)],
        any(7) ? any(2) : 2, any(6)};
    const ProbeSettings p{f[0], f[1], f[2], f[3], f[4], f[5], f[6]};
    const int64_t opened = any(1000), t0 = any(1000);
    TestVfg v(text, static_cast<Picoseconds>(opened));
    VfgModel& vfg = *v.model;
    v.clock.t += static_cast<Picoseconds>(t0);
    ASSERT_EQ(vfg.peek(2911) + vfg.peek(2912), 0u);  // before the first measurement
    start(vfg, p);
    vfg.poke(2898, 6);  // settings written after the start change nothing
    vfg.poke(2913, 1);
    vfg.poke(2908, 0);  // only a 1 starts a measurement
    std::string what = text + "settings";
    for (const uint32_t x : f) what += " " + std::to_string(x);
    const Sig &counted = sig[p.count_source], &clock = sig[kCameraClockSignal];
    bool started = false, ended = false;
    uint32_t stops = 0, count = 0;
    for (int64_t x = t0; x < t0 + 260; ++x) {
      if (!started) {
        started = sig[p.start_source].edge(p.start_edge, x);
      } else if (!ended && sig[p.stop_source].edge(p.stop_edge, x)) {
        ended = ++stops == p.stop_count;
      }
      v.clock.t = static_cast<Picoseconds>(opened + x);
      ASSERT_EQ(vfg.peek(2911), ended ? 0u : 1u) << what << "\nat " << x;
      ASSERT_EQ(vfg.peek(2912), count) << what << "\nat " << x;
      if (!started || ended) continue;
      if (p.count_edge <= 1) count += counted.edge(p.count_edge, x);
      if (p.count_edge == 2 && p.count_source == kCameraClockSignal) count += counted.edge(0, x);
      if (p.count_edge == 2 && p.count_source != kCameraClockSignal)
        count += clock.edge(0, x) && counted.high_at(x);
    }
  }
}

// Periods near 2^64 ps, stop counts near 2^32 and board times near 2^100: exact where a
// closed form is known, defined (the sanitizer build) and quick everywhere.
TEST(ClockEdgesWhileHigh, HugeIntervalsAndPeriods) {
  const uint64_t end = UINT64_MAX;
  // A clock of period 3 inside every other picosecond: the multiples of 6.
  EXPECT_EQ(clock_edges_while_high(Wave{3, 1, 0}, Wave{2, 1, 0}, 0, end), 3074457345618258603u);
  // One high interval of 2^63 from 5: the multiples of 7 in [5, 2^63 + 5).
  EXPECT_EQ(
      clock_edges_while_high(Wave{7, 1, 0}, Wave{UINT64_MAX, uint64_t{1} << 63, 5}, 0, end - 1),
      1317624576693539401u);
  // High for all but 1 ps of every 2^64 - 1: the one clock edge.
  EXPECT_EQ(clock_edges_while_high(Wave{UINT64_MAX - 1, 1, 1}, Wave{UINT64_MAX, UINT64_MAX - 1, 0},
                                   0, end),
            1u);
}

TEST(Measurement, HostileValuesStayDefined) {
  TestVfg v(
      "vfg\nsignal 1 18446744073709551615ps 18446744073709551614ps 18446744073709551615ps\n"
      "signal 32 2ps 1ps 1ps\nsignal 5 18446744073709551615ps 1ps\nsignal 6 3ps 1ps\n",
      Picoseconds{1} << 100);
  struct Step {
    ProbeSettings settings;  // start source 0: no new start, the running measurement
    Picoseconds wait;
    uint32_t busy;
    int64_t count_read;  // -1: any
  };
  for (const Step& s :
       {Step{{1, 2, 1, 0, 1, 0, 0xffffffff}, 0, 1, 0}, Step{{}, Picoseconds{1} << 90, 1, -1},
        Step{{}, ~Picoseconds{0} >> 2, 0, -1},  // past the stop event
        // No stop signal: never ends; counting stops 2^64 - 1 ps after the start write,
        // and (2^64 - 1) / 3 rising edges wrap to 0x55555555.
        Step{{6, 0, 9, 0, 6, 0, 1}, Picoseconds{1} << 120, 1, 0x55555555},
        Step{{32, 2, 5, 0, 5, 0, 0xffffffff}, Picoseconds{1} << 80, 1, -1},
        Step{{32, 2, 5, 0, 32, 0, 1}, Picoseconds{1} << 65, 0, -1}}) {
    if (s.settings.start_source != 0) start(*v.model, s.settings);
    v.clock.t += s.wait;
    const std::string at = std::to_string(static_cast<double>(v.clock.t));
    EXPECT_EQ(v.model->peek(2911), s.busy) << at;
    const int64_t count = v.model->peek(2912);
    EXPECT_TRUE(s.count_read < 0 || count == s.count_read) << count << " at " << at;
  }
}

}  // namespace
}  // namespace boardsim
