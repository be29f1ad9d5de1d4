#include "board/rate_probe.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/fake_board.h"

namespace boardstat {
namespace {

using testing::FakeBoard;

// A clock that gives its ticks in order and then, should a poll go on past them, jumps a
// thousand seconds ahead at every call so that a faulty wait still ends.
std::vector<uint32_t> g_ticks;
size_t g_next_tick = 0;

uint32_t fake_clock() {
  if (g_next_tick < g_ticks.size()) return g_ticks[g_next_tick++];
  g_ticks.push_back(g_ticks.empty() ? 0 : g_ticks.back() + 1000000u);
  return g_ticks[g_next_tick++];
}

void set_ticks(std::vector<uint32_t> ticks) {
  g_ticks = std::move(ticks);
  g_next_tick = 0;
}

// Makes 2911 read the given values in turn, then 0.
void set_busy_reads(FakeBoard& board, std::vector<uint32_t> reads) {
  board.on_peek = [reads = std::move(reads), next = size_t{0}](
                      int, uint32_t reg) mutable -> std::optional<uint32_t> {
    if (reg != 2911) return std::nullopt;
    return next < reads.size() ? reads[next++] : 0u;
  };
}

constexpr RateProbeSetup kSetup{11, 12, 13, 14, 15, 16, 17, 1.0f, 18};

TEST(RateProbe, WritesInOrderThenReadsBusyAndCount) {
  const std::vector<std::string> expected = {
      "poke 0 2909 1",  "poke 0 2913 17", "poke 0 2904 1",  "poke 0 2905 0",  "poke 0 2902 11",
      "poke 0 2903 12", "poke 0 2900 13", "poke 0 2901 14", "poke 0 2898 15", "poke 0 2899 16",
      "poke 0 2906 18", "poke 0 2908 1",  "peek 0 2911",    "peek 0 2912"};
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2912, 99);
  float count = 0.0f;
  set_ticks({0});
  EXPECT_EQ(
      run_rate_probe(FakeBoard::handle(0), 11, 12, 13, 14, 15, 16, 17, 1.0f, count, 18, fake_clock),
      0);
  EXPECT_EQ(board.log(), expected);
  EXPECT_EQ(count, 99.0f);

  board.clear_log();
  EXPECT_EQ(run_rate_probe(FakeBoard::handle(0), kSetup, count, fake_clock), 0);
  EXPECT_EQ(board.log(), expected);
}

struct WaitCase {
  const char* name;
  float limit;
  std::vector<uint32_t> ticks;       // the start time, then one reading before every re-read
  std::vector<uint32_t> busy_reads;  // then 0
  int32_t result;
  size_t busy_peeks;
};

void PrintTo(const WaitCase& c, std::ostream* out) {
  *out << c.name;
}

class RateProbeWait : public ::testing::TestWithParam<WaitCase> {};

TEST_P(RateProbeWait, TimesOutOnlyWhenElapsedIsGreaterThanTheLimit) {
  const WaitCase& c = GetParam();
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2912, 5);
  set_busy_reads(board, c.busy_reads);
  set_ticks(c.ticks);
  RateProbeSetup setup = kSetup;
  setup.time_limit = c.limit;
  float count = -3.5f;
  EXPECT_EQ(run_rate_probe(FakeBoard::handle(0), setup, count, fake_clock), c.result);
  EXPECT_EQ(board.calls("peek 0 2911").size(), c.busy_peeks);
  if (c.result == 0) {
    EXPECT_EQ(count, 5.0f);
    EXPECT_EQ(board.log().back(), "peek 0 2912");
  } else {
    EXPECT_EQ(count, -3.5f);
    EXPECT_TRUE(board.calls("peek 0 2912").empty());
    EXPECT_EQ(board.log().back(), "peek 0 2911");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Clock, RateProbeWait,
    ::testing::Values(
        WaitCase{"IdleAtFirstReadNeedsNoClockCheck", 1.0f, {0, 5000000}, {}, 0, 1},
        WaitCase{"AtTheLimitPollsOnThenTimesOut", 1.0f, {0, 1000, 1001}, {1, 1, 1}, -1, 2},
        WaitCase{"QuarterSecondLimit", 0.25f, {500, 750, 751}, {1, 1, 1}, -1, 2},
        WaitCase{"LimitWidenedNotRounded", 0.1f, {0, 100, 101}, {1, 1, 1}, -1, 2},
        WaitCase{"ZeroLimitAllowsNoTime", 0.0f, {0, 0, 1}, {1, 1, 1}, -1, 2},
        WaitCase{"FinishesAtTheLimit", 1.0f, {0, 400, 1000}, {1, 1}, 0, 3},
        WaitCase{"ClockWrapsAround", 1.0f, {0xFFFFFF00u, 0x2E8u, 0x2E9u}, {1, 1, 1}, -1, 2},
        WaitCase{"ClockGoingBackNeverTimesOut", 1.0f, {1000, 0, 2001}, {1, 1, 1}, -1, 2},
        WaitCase{"AnyNonZeroIsBusy", 1.0f, {0, 1, 2}, {0x80000000u, 2}, 0, 3}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace boardstat
