#include <gtest/gtest.h>

#include "sim/board_model.h"
#include "tests/sim/sim_test_support.h"

namespace boardsim {
namespace {

using testing::kSecond;
using testing::TestVfg;

TEST(Model, WindowsFollowTheLastSelectorWrites) {
  TestVfg v(
      "vfg\nreg 2880 2\nrouter 1 7 9 17\nrouter 2 0 0 5\nrouter 0 0 0 3\n"
      "seq 0 1426 1\nseq 1 2829 6\nseq 1 2820 0\nseq 255 2826 250\n");
  VfgModel& vfg = *v.model;
  EXPECT_EQ(vfg.peek(2881), 5u);  // the described selectors 2 0 0
  // Table, column, row and the value read.
  const uint32_t router[][4] = {
      {1, 7, 9, 17}, {1, 9, 7, 0}, {9, 7, 1, 0}, {0, 0, 0, 3}, {~0u, ~0u, ~0u, 0}};
  for (const auto& c : router) {
    vfg.poke(2880, c[0]);
    vfg.poke(2879, c[1]);
    vfg.poke(2878, c[2]);
    EXPECT_EQ(vfg.peek(2881), c[3]) << c[0] << " " << c[1] << " " << c[2];
  }
  vfg.poke(2881, 99);  // computed: the write changes nothing
  EXPECT_EQ(vfg.peek(2881), 0u);
  // Index, register and the value read.
  const uint32_t seq[][3] = {{0, 1426, 1},     {0, 2829, 0},   {1, 2829, 6},  {1, 1426, 0},
                             {255, 2826, 250}, {256, 2826, 0}, {~0u, 1426, 0}};
  for (const auto& c : seq) {
    vfg.poke(2819, c[0]);
    EXPECT_EQ(vfg.peek(c[1]), c[2]) << c[0] << " " << c[1];
  }
}

TEST(Model, CountersCountWholeEventsFromTheOpenOrTheLastWriteAndWrap) {
  TestVfg v("vfg\ncounter 1420 30\ncounter 7 4294967295\nreg 7 5\n", 5 * kSecond);
  VfgModel& vfg = *v.model;
  struct Step {
    Picoseconds advance;
    uint32_t id;
    int64_t write;  // -1: none
    uint32_t expected;
  };
  for (const Step& s : {Step{0, 1420, -1, 0}, Step{kSecond / 30, 1420, -1, 0}, Step{1, 1420, -1, 1},
                        Step{kSecond, 1420, -1, 31},
                        Step{0, 7, -1, 143165580},  // 5 + (2^32 - 1) x 1.033 s, modulo 2^32
                        Step{0, 1420, 1000, 1000}, Step{kSecond / 10, 1420, -1, 1003},
                        Step{0, 7, 0xfffffffe, 0xfffffffe}, Step{kSecond / 2, 7, -1, 0x7ffffffd},
                        Step{4294967296 * kSecond, 1420, -1, 1018},  // 30 x 2^32 more
                        Step{Picoseconds{1} << 127, 7, -1, 0x6b4aeebb}}) {
    v.clock.t += s.advance;
    if (s.write >= 0) vfg.poke(s.id, static_cast<uint32_t>(s.write));
    EXPECT_EQ(vfg.peek(s.id), s.expected) << s.id << " at " << static_cast<double>(v.clock.t);
  }
}

TEST(Model, WritesToAClearingRegisterZeroItsLatches) {
  TestVfg v(
      "vfg\nreg 2714 1\nreg 2716 1\nreg 1921 1\nclears 2676 2714 2676 2716\nclears 2714 1921\n"
      "counter 1918 10\nreg 1918 7\nclears 1400 1918\n");
  VfgModel& vfg = *v.model;
  vfg.poke(2676, 0x55);
  EXPECT_EQ(vfg.peek(2714), 0u);
  EXPECT_EQ(vfg.peek(2716), 0u);
  EXPECT_EQ(vfg.peek(2676), 0x55u);  // names itself: the written value wins
  EXPECT_EQ(vfg.peek(1921), 1u);     // zeroing 2714 is no write of 2714
  v.clock.t += kSecond;
  vfg.poke(1400, 3);
  EXPECT_EQ(vfg.peek(1918), 0u);
  v.clock.t += kSecond;
  EXPECT_EQ(vfg.peek(1918), 10u);  // a cleared counter counts on from 0
}

// Low register IDs and router selectors are held in tables indexed by their value, the others
// in hash maps: both sides of every bound must behave alike.
TEST(Model, RegistersCountersAndClearsAlikeOnBothSidesOfTheDirectTables) {
  TestVfg v(
      "vfg\nreg 4095 1\nreg 4096 2\ncounter 4094 10\ncounter 4097 10\n"
      "clears 4095 4094 4096\nclears 4096 4097 4095\n"
      "router 3 15 15 31\nrouter 4 0 0 41\nrouter 0 16 0 51\nrouter 0 0 16 61\n");
  VfgModel& vfg = *v.model;
  struct Case {
    uint32_t id, expected;
  };
  const auto expect = [&vfg](std::initializer_list<Case> cases, const char* when) {
    for (const Case& c : cases) EXPECT_EQ(vfg.peek(c.id), c.expected) << c.id << " " << when;
  };
  v.clock.t += kSecond;
  expect({{4095, 1}, {4096, 2}, {4094, 10}, {4097, 10}, {4093, 0}, {4098, 0}}, "at start");
  vfg.poke(4098, 7);  // a far register that no statement names
  vfg.poke(4094, 100);
  vfg.poke(4097, 200);
  v.clock.t += kSecond;
  expect({{4098, 7}, {4094, 110}, {4097, 210}}, "after writes");
  vfg.poke(4095, 5);  // clears the near counter and the far register
  expect({{4095, 5}, {4094, 0}, {4096, 0}, {4097, 210}}, "after 4095");
  vfg.poke(4096, 6);  // clears the far counter and the near register
  v.clock.t += kSecond;
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
