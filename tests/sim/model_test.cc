#include <gtest/gtest.h>

#include "sim/board_model.h"
#include "tests/sim/sim_test_support.h"

namespace boardsim {
namespace {

using testing::kMillisecond;
using testing::kSecond;
using testing::ManualClock;
using testing::parse_valid;

class Model : public ::testing::Test {
 protected:
  void SetUp() override { clock.set(5 * kSecond); }  // the VFG opens at a time other than 0
  VfgModel open(std::string_view text) {
    board = parse_valid(text);
    return VfgModel(board.vfgs.at(0), clock);
  }
  ManualClock clock;
  BoardDescription board;
};

TEST_F(Model, PlainRegistersReadTheirValueUntilWritten) {
  VfgModel vfg = open("vfg\nreg 2854 7\nreg 0xffffffff 3\n");
  EXPECT_EQ(vfg.peek(2854), 7u);
  EXPECT_EQ(vfg.peek(0xffffffff), 3u);
  EXPECT_EQ(vfg.peek(2855), 0u);  // never named
  vfg.poke(2854, 1);
  vfg.poke(2855, 0xdeadbeef);
  vfg.poke(0, 9);
  clock.advance(kSecond);
  EXPECT_EQ(vfg.peek(2854), 1u);
  EXPECT_EQ(vfg.peek(2855), 0xdeadbeefu);
  EXPECT_EQ(vfg.peek(0), 9u);
}

TEST_F(Model, RouterWindowFollowsTheLastSelectorWrites) {
  VfgModel vfg = open("vfg\nrouter 1 7 9 17\nrouter 2 0 0 5\nrouter 0 0 0 3\nreg 2880 2\n");
  EXPECT_EQ(vfg.peek(2881), 5u);  // described selectors 2 0 0 until written
  struct Case {
    uint32_t table, column, row, expected;
  };
  for (const Case& c : {Case{1, 7, 9, 17}, Case{1, 9, 7, 0}, Case{2, 0, 0, 5}, Case{0, 0, 0, 3},
                        Case{3, 0, 0, 0}, Case{0xffffffff, 0xffffffff, 0xffffffff, 0}}) {
    vfg.poke(2880, c.table);
    vfg.poke(2879, c.column);
    vfg.poke(2878, c.row);
    EXPECT_EQ(vfg.peek(2881), c.expected) << c.table << " " << c.column << " " << c.row;
  }
  vfg.poke(2881, 99);  // the data register is read-only
  EXPECT_EQ(vfg.peek(2881), 0u);
}

TEST_F(Model, SequencerWindowFollowsTheIndexRegister) {
  VfgModel vfg = open(
      "vfg\nseq 0 1426 1\nseq 0 2820 1\nseq 1 1426 1\nseq 1 2829 1\nseq 1 2820 0\n"
      "seq 255 2826 250\n");
  struct Case {
    uint32_t index, id, expected;
  };
  for (const Case& c :
       {Case{0, 1426, 1}, Case{0, 2820, 1}, Case{0, 2829, 0}, Case{1, 2829, 1}, Case{1, 2820, 0},
        Case{2, 1426, 0}, Case{255, 2826, 250}, Case{256, 2826, 0}, Case{0xffffffff, 1426, 0}}) {
    vfg.poke(2819, c.index);
    EXPECT_EQ(vfg.peek(c.id), c.expected) << c.index << " " << c.id;
  }
}

TEST_F(Model, CountersCountWholeEventsSinceOpenAndOnFromAWrite) {
  VfgModel vfg = open("vfg\ncounter 1420 30\n");
  EXPECT_EQ(vfg.peek(1420), 0u);
  clock.advance(kSecond / 30);  // 30 events take 1 s; the first 1/30 s rounded up
  EXPECT_EQ(vfg.peek(1420), 0u);
  clock.advance(1);
  EXPECT_EQ(vfg.peek(1420), 1u);
  clock.advance(10 * kSecond);
  EXPECT_EQ(vfg.peek(1420), 301u);
  vfg.poke(1420, 1000);
  EXPECT_EQ(vfg.peek(1420), 1000u);
  clock.advance(100 * kMillisecond);
  EXPECT_EQ(vfg.peek(1420), 1003u);
}

TEST_F(Model, CountersWrapAt32Bits) {
  VfgModel vfg = open("vfg\ncounter 7 4294967295\nreg 7 5\n");
  clock.advance(kSecond);
  EXPECT_EQ(vfg.peek(7), 4u);  // 5 + 2^32 - 1
  clock.advance(kSecond / 2);
  EXPECT_EQ(vfg.peek(7), static_cast<uint32_t>(5 + 6442450942ull));  // 1.5 s, rounded down
}

TEST(Counted, WrapsWithoutOverflowForAnyElapsedTime) {
  struct Case {
    Picoseconds elapsed;
    uint32_t rate;
    uint32_t expected;
  };
  const Picoseconds huge = ~Picoseconds{0};
  for (const Case& c :
       {Case{0, 4294967295u, 0}, Case{kSecond, 4294967295u, 4294967295u},
        Case{2 * kSecond, 4294967295u, 4294967294u}, Case{kSecond - 1, 1, 0},
        Case{4294967296 * kSecond, 1, 0}, Case{4294967297 * kSecond + kSecond / 2, 2, 3},
        Case{huge, 1, static_cast<uint32_t>(huge / kSecond)}}) {
    EXPECT_EQ(counted(c.elapsed, c.rate), c.expected);
  }
}

TEST_F(Model, WritesToAClearingRegisterZeroItsLatches) {
  VfgModel vfg = open(
      "vfg\nreg 2714 1\nreg 2716 1\nclears 2676 2714 2676 2716\nreg 1921 1\n"
      "counter 1918 10\nclears 1400 1918\n");
  vfg.poke(2676, 0x55);  // also names itself: the written value wins
  EXPECT_EQ(vfg.peek(2714), 0u);
  EXPECT_EQ(vfg.peek(2716), 0u);
  EXPECT_EQ(vfg.peek(2676), 0x55u);
  EXPECT_EQ(vfg.peek(1921), 1u);  // not in any list
  clock.advance(kSecond);
  vfg.poke(1400, 0);
  EXPECT_EQ(vfg.peek(1918), 0u);  // a cleared counter counts on from 0
  clock.advance(kSecond);
  EXPECT_EQ(vfg.peek(1918), 10u);
  vfg.poke(2714, 1);  // latches again; clearing only happens on the next write of 2676
  EXPECT_EQ(vfg.peek(2714), 1u);
}

// Low register IDs and router selectors are held in tables indexed by their value, the others
// in hash maps: both sides of every bound must behave alike.
TEST_F(Model, RegistersCountersAndClearsAlikeOnBothSidesOfTheDirectTables) {
  VfgModel vfg = open(
      "vfg\nreg 4095 1\nreg 4096 2\ncounter 4094 10\ncounter 4097 10\n"
      "clears 4095 4094 4096\nclears 4096 4097 4095\n"
      "router 3 15 15 31\nrouter 4 0 0 41\nrouter 0 16 0 51\nrouter 0 0 16 61\n");
  struct Case {
    uint32_t id, expected;
  };
  const auto expect = [&vfg](std::initializer_list<Case> cases, const char* when) {
    for (const Case& c : cases) EXPECT_EQ(vfg.peek(c.id), c.expected) << c.id << " " << when;
  };
  clock.advance(kSecond);
  expect({{4095, 1}, {4096, 2}, {4094, 10}, {4097, 10}, {4093, 0}, {4098, 0}}, "at start");
  vfg.poke(4098, 7);  // a far register that no statement names
  vfg.poke(4094, 100);
  vfg.poke(4097, 200);
  clock.advance(kSecond);
  expect({{4098, 7}, {4094, 110}, {4097, 210}}, "after writes");
  vfg.poke(4095, 5);  // clears the near counter and the far register
  expect({{4095, 5}, {4094, 0}, {4096, 0}, {4097, 210}}, "after 4095");
  vfg.poke(4096, 6);  // clears the far counter and the near register
  clock.advance(kSecond);
  expect({{4096, 6}, {4097, 10}, {4095, 0}, {4094, 10}}, "after 4096");

  struct RouterCase {
    uint32_t table, column, row, expected;
  };
  for (const RouterCase& c :
       {RouterCase{3, 15, 15, 31}, RouterCase{4, 0, 0, 41}, RouterCase{0, 16, 0, 51},
        RouterCase{0, 0, 16, 61}, RouterCase{4, 15, 15, 0}, RouterCase{3, 16, 15, 0}}) {
    vfg.poke(2880, c.table);
    vfg.poke(2879, c.column);
    vfg.poke(2878, c.row);
    EXPECT_EQ(vfg.peek(2881), c.expected) << c.table << " " << c.column << " " << c.row;
  }
}

}  // namespace
}  // namespace boardsim
