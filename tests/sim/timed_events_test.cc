// Timed events and VFGs that appear later on the simulated board, read through a clock set by
// hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim/board_description.h"
#include "sim/board_model.h"
#include "sim/board_system.h"

namespace boardsim {
namespace {

constexpr Picoseconds kMs = 1000000000;

struct HandClock : Clock {
  Picoseconds now() const override { return t; }
  Picoseconds t = 0;
};

// Counter 100 stops at 2 s and counts 10 a second from 5 s; 200 takes two values at one time;
// 300 is zeroed at 3 s by a scheduled write (as the console's clearing would) and takes 1000
// at 4 s, counting on from there; the probe is started at 6 s by a scheduled write; 500 changes
// to the rate it has, twice, which must not lose the fractions of a count made before.
constexpr const char* kBoard =
    "vfg\n"
    "at 2s counter 100 0\n"  // named before its counter: checked once the vfg is complete
    "counter 100 1000\n"
    "at 5s counter 100 10\n"
    "reg 200 7\n"
    "at 1500ms reg 200 8\n"
    "at 1.5s reg 200 9\n"  // the same time: description order
    "counter 300 100\n"
    "reg 301 5\n"
    "clears 400 300 301\n"
    "at 4s reg 300 1000\n"
    "at 3s write 400 1\n"
    "reg 2900 1\nreg 2902 1\nreg 2913 1\nsignal 1 100ms 50ms\n"
    "at 6s write 2908 1\n"
    "counter 500 3\nat 500ms counter 500 3\nat 700ms counter 500 3\n";

struct Read {
  Picoseconds at;
  uint32_t id;
  uint32_t value;
};
const Read kReads[] = {
    {1000 * kMs, 100, 1000}, {1999 * kMs, 100, 1999}, {2000 * kMs, 100, 2000},
    {4900 * kMs, 100, 2000}, {6000 * kMs, 100, 2010}, {1499 * kMs, 200, 7},
    {1500 * kMs, 200, 9},    {9000 * kMs, 200, 9},    {2999 * kMs, 300, 299},
    {2999 * kMs, 301, 5},    {3000 * kMs, 300, 0},    {3000 * kMs, 301, 0},
    {3000 * kMs, 400, 1},    {3999 * kMs, 300, 99},   {4000 * kMs, 300, 1000},
    {4500 * kMs, 300, 1050}, {5999 * kMs, 2911, 0},   {6050 * kMs, 2911, 1},
    {6100 * kMs, 2911, 0},   {333 * kMs, 500, 0},     {334 * kMs, 500, 1},
    {1000 * kMs, 500, 3},    {9999 * kMs, 500, 29},   {10000 * kMs, 500, 30},
};

// Each read on a VFG of its own, opened at 0 and first read at the row's time: an event takes
// effect at its own time, however late the model hears of it.
TEST(TimedEvents, TakeEffectAtTheirTimeWhenReadLate) {
  const ParseResult parsed = parse_board_description(kBoard, "test.board");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  for (const Read& read : kReads) {
    HandClock clock;
    VfgModel vfg(parsed.board.vfgs.at(0), clock);
    clock.t = read.at;
    EXPECT_EQ(vfg.peek(read.id), read.value)
        << read.id << " at " << static_cast<uint64_t>(read.at / kMs) << " ms";
  }
}

// The same reads in time order on one VFG, and a program's write between events: the counter
// stopped at 2 s keeps what was written to it, and counts on at its new rate.
TEST(TimedEvents, InTimeOrderWithAProgramsWrite) {
  const ParseResult parsed = parse_board_description(kBoard, "test.board");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  HandClock clock;
  VfgModel vfg(parsed.board.vfgs.at(0), clock);
  std::vector<Read> reads(std::begin(kReads), std::end(kReads));
  std::stable_sort(reads.begin(), reads.end(),
                   [](const Read& a, const Read& b) { return a.at < b.at; });
  for (const Read& read : reads) {
    clock.t = read.at;
    EXPECT_EQ(vfg.peek(read.id), read.value)
        << read.id << " at " << static_cast<uint64_t>(read.at / kMs) << " ms";
  }
  clock.t = 7000 * kMs;
  vfg.poke(100, 5);  // 7 s: 5, then 10 a second
  clock.t = 8000 * kMs;
  EXPECT_EQ(vfg.peek(100), 15u);
}

// VFG 1 appears 2 s and VFG 2 1 s after the first find (made at 0.5 s of the clock); VFG 2
// then refuses to open.
TEST(AppearingVfgs, FoundOnlyFromTheirTime) {
  ParseResult parsed = parse_board_description(
      "vfg\nvfg appears-after 2s\nvfg open-fails appears-after 1s\n", "test.board");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  auto owned = std::make_unique<HandClock>();
  HandClock& clock = *owned;
  clock.t = 500 * kMs;
  BoardSystem board(std::move(parsed.board), std::move(owned), nullptr);
  const struct {
    Picoseconds at;
    uint32_t index;
    int32_t found;
  } finds[] = {{500 * kMs, 0, 0},  {500 * kMs, 1, 1},  {1499 * kMs, 2, 1}, {1500 * kMs, 2, 0},
               {2499 * kMs, 1, 1}, {2500 * kMs, 1, 0}, {2500 * kMs, 3, 1}};
  for (const auto& f : finds) {
    clock.t = f.at;
    LmBrdEntry entry{};
    EXPECT_EQ(board.find(kLmBoardFamily, f.index, &entry), f.found)
        << f.index << " at " << static_cast<uint64_t>(f.at / kMs) << " ms";
  }
  LmBrdEntry entry{};
  KvHandle handle = nullptr;
  ASSERT_EQ(board.find(kLmBoardFamily, 2, &entry), 0);
  EXPECT_EQ(board.open(&entry, &handle), 1);
  ASSERT_EQ(board.find(kLmBoardFamily, 1, &entry), 0);
  EXPECT_EQ(board.open(&entry, &handle), 0);
}

}  // namespace
}  // namespace boardsim
