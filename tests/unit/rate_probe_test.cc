#include "board/rate_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fake_board.h"

namespace boardstat::testing {
namespace {

// A clock that gives its ticks in order, then stays at the last one.
std::vector<uint32_t> g_ticks = {0};
size_t g_next_tick = 0;

uint32_t fake_clock() {
  return g_ticks[std::min(g_next_tick++, g_ticks.size() - 1)];
}

constexpr RateProbeSetup kSetup{11, 12, 13, 14, 15, 16, 17, 1.0f, 18};

// Both forms of the call configure the probe in the board's fixed order, start it, and read
// the count, in single precision, once the first busy read says it is done.
TEST(RateProbe, WritesInOrderThenReadsBusyAndCount) {
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2912, 16777217);
  float count = 0.0f;
  EXPECT_EQ(run_rate_probe(FakeBoard::handle(0), kSetup, count, fake_clock), kProbeDone);
  EXPECT_EQ(count, 16777216.0f);
  const std::vector<std::string> log = board.log();
  EXPECT_EQ(log, (std::vector<std::string>{"poke 0 2909 1", "poke 0 2913 17", "poke 0 2904 1",
                                           "poke 0 2905 0", "poke 0 2902 11", "poke 0 2903 12",
                                           "poke 0 2900 13", "poke 0 2901 14", "poke 0 2898 15",
                                           "poke 0 2899 16", "poke 0 2906 18", "poke 0 2908 1",
                                           "peek 0 2911", "peek 0 2912"}));
  board.clear_log();
  run_rate_probe(FakeBoard::handle(0), 11, 12, 13, 14, 15, 16, 17, 1.0f, count, 18, fake_clock);
  EXPECT_EQ(board.log(), log);
}

// The wait times out only when the elapsed time is greater than the limit, measured modulo 2^32
// as a signed difference; a time-out reads no count and leaves the count as it was.
TEST(RateProbe, WaitAgainstTheClock) {
  struct Case {
    const char* name;
    float limit;
    std::vector<uint32_t> ticks;       // the start time, then one reading before every re-read
    std::vector<uint32_t> busy_reads;  // then 0, so that even a faulty wait ends
    int32_t result;
    size_t busy_peeks;
  };
  for (const Case& c :
       {Case{"idle at the first read needs no clock", 1.0f, {0, 5000000}, {}, 0, 1},
        Case{"at the limit polls on", 1.0f, {0, 1000, 1001}, {1, 1, 1}, -1, 2},
        Case{"finishes at the limit", 1.0f, {0, 400, 1000}, {1, 1}, 0, 3},
        Case{"the clock wraps", 1.0f, {0xFFFFFF00u, 0x2E8u, 0x2E9u}, {1, 1, 1}, -1, 2},
        Case{"a clock going back", 1.0f, {1000, 0, 2001}, {1, 1, 1}, -1, 2},
        Case{"any non-zero is busy", 1.0f, {0, 1, 2}, {0x80000000u, 2}, 0, 3}}) {
    SCOPED_TRACE(c.name);
    FakeBoard& board = FakeBoard::reset(1);
    board.set(2912, 5);
    board.on_peek = [reads = c.busy_reads, next = size_t{0}](
                        int, uint32_t reg) mutable -> std::optional<uint32_t> {
      if (reg != 2911) return std::nullopt;
      return next < reads.size() ? reads[next++] : 0u;
    };
    g_ticks = c.ticks;
    g_next_tick = 0;
    RateProbeSetup setup = kSetup;
    setup.time_limit = c.limit;
    float count = -3.5f;
    EXPECT_EQ(run_rate_probe(FakeBoard::handle(0), setup, count, fake_clock), c.result);
    EXPECT_EQ(board.calls("peek 0 2911").size(), c.busy_peeks);
    EXPECT_EQ(board.calls("peek 0 2912").size(), c.result == kProbeDone ? 1u : 0u);
    EXPECT_EQ(count, c.result == kProbeDone ? 5.0f : -3.5f);
  }
}

}  // namespace
}  // namespace boardstat::testing
