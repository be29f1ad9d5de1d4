#include <gtest/gtest.h>

#include <algorithm>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// Sets the registers given as register, value, register, value..., then expects each line
// among those of the expanded panel, and each register read once, row by row and V, Z, Y, X
// within a row, only when expanded.
void expect_lines(std::initializer_list<uint32_t> registers,
                  std::initializer_list<const char*> lines) {
  FakeBoard& board = FakeBoard::reset(1);
  for (auto reg = registers.begin(); reg != registers.end(); reg += 2) board.set(reg[0], reg[1]);
  render(draw_acquisition_engine, 0);
  EXPECT_TRUE(board.log().empty());
  const auto shown = split_lines(render(draw_acquisition_engine, 1));
  for (const char* line : lines) {
    EXPECT_NE(std::find(shown.begin(), shown.end(), line), shown.end()) << line;
  }
  std::vector<std::string> expected;
  for (uint32_t reg :
       {2756, 2770, 2772, 2771, 1419, 1420, 1421, 1422, 2774, 2782, 2796, 2800, 2783, 2797, 2801,
        2781, 2795, 2780, 2794, 2778, 2792, 2779, 2793, 2777, 2791, 2776, 2790, 2775, 2789}) {
    expected.push_back("peek 0 " + std::to_string(reg));
  }
  EXPECT_EQ(board.log(), expected);
}

// The acquired counts keep their low 16 bits, X then counts 16-byte units; "Infinite" is
// exactly 65535; a window syncs only when its register reads exactly 1; out-of-table values
// read "????"; the X window size is multiplied in 32 bits.
TEST(AcquisitionEngine, EdgeValuesAndReadOrder) {
  expect_lines(
      {2756, 6,          2770, 5,     2771, 0x80000000, 1419, 65536, 1420, 74565, 1421, 0xFFFFFFFF,
       1422, 0xFFFFFFFF, 2774, 65535, 2800, 0x10000000, 2781, 2,     2795, 1,     2780, 2,
       2794, 1,          2779, 5,     2793, 4,          2777, 2,     2791, 1},
      {"RunLevel                  : ????", "State                     : ????",
       "Errors                    : {LossOfSync }", "V Acquired                : 0",
       "Z Acquired                : 9029", "Y Acquired                : 65535",
       "X Acquired (bytes)        : 1048560",
       "Window Size               :     Infinite           0           0           0",
       "Window Synchronization    :            -      NoSync        Line           -",
       "Window Open Condition     :         ASAP        ????     Trigger        ASAP",
       "TrigOpenFunction          :            -        ????         Tog           -",
       "Window Close Condition    :      WinSize        ????     Trigger     WinSize"});
  expect_lines(
      {2756, 5, 2770, 4, 1422, 4096, 2774, 65536, 2800, 0xFFFFFFFF, 2781, 1, 2795, 0xFFFFFFFF},
      {"RunLevel                  : ABORT_X", "State                     : X",
       "Errors                    : {}", "X Acquired (bytes)        : 65536",
       "Window Size               :        65536           0           0  4294967280",
       "Window Synchronization    :            -       Frame      NoSync           -"});
}

}  // namespace
}  // namespace boardstat::testing
