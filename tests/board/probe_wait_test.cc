// The rate probe's wait against the host clock: a board description cannot say what the clock
// reads, so these cases give the clock and the busy register their readings one by one.
#include <gtest/gtest.h>

#include <vector>

#include "board/rate_probe.h"

namespace {

std::vector<uint32_t> g_ticks, g_busy;  // readings in order; past the end, the last tick and 0
size_t g_tick, g_busy_reads, g_count_reads;

uint32_t scripted_clock() {
  return g_ticks[std::min(g_tick++, g_ticks.size() - 1)];
}

}  // namespace

extern "C" {
int32_t KvRegPoke(KvHandle, uint32_t, uint32_t) {
  return 0;
}
uint32_t KvRegPeek(KvHandle, uint32_t reg) {
  if (reg == 2912) return ++g_count_reads, 5;
  return g_busy_reads < g_busy.size() ? g_busy[g_busy_reads++] : (++g_busy_reads, 0);
}
}

// Only an elapsed time strictly greater than the limit times out, measured modulo 2^32 as a
// signed difference; a time-out reads no count and leaves the caller's count as it was.
TEST(RateProbeWait, AgainstTheClock) {
  struct Case {
    const char* name;
    std::vector<uint32_t> ticks, busy;
    int32_t result;
    size_t busy_reads;
  };
  for (const Case& c : {Case{"idle at the first read", {0, 5000000}, {}, 0, 1},
                        Case{"at the limit polls on", {0, 1000, 1001}, {1, 1, 1}, -1, 2},
                        Case{"finishes at the limit", {0, 400, 1000}, {1, 1}, 0, 3},
                        Case{"the clock wraps", {0xFFFFFF00u, 0x2E8u, 0x2E9u}, {1, 1, 1}, -1, 2},
                        Case{"a clock going back", {1000, 0, 2001}, {1, 1, 1}, -1, 2},
                        Case{"any non-zero is busy", {0, 1, 2}, {0x80000000u, 2}, 0, 3}}) {
    SCOPED_TRACE(c.name);
    g_ticks = c.ticks, g_busy = c.busy, g_tick = g_busy_reads = g_count_reads = 0;
    float count = -3.5f;
    const boardstat::RateProbeSetup setup{1, 0, 3, 0, 32, 0, 1000000, 1.0f, 1};
    EXPECT_EQ(boardstat::run_rate_probe(nullptr, setup, count, scripted_clock), c.result);
    EXPECT_EQ(g_busy_reads, c.busy_reads);
    EXPECT_EQ(g_count_reads, c.result == 0 ? 1u : 0u);
    EXPECT_EQ(count, c.result == 0 ? 5.0f : -3.5f);
  }
}
