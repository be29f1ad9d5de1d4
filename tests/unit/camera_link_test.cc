#include <gtest/gtest.h>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// Channel bits are picked out of the whole register, FVAL and DVAL test all 32 bits, and modes
// past the table read "Unknown". The registers are read in order, and only when expanded.
TEST(CameraLink, EdgeValuesAndReadOrder) {
  struct Case {
    uint32_t channels, mode, fval, dval;
    const char* values;  // X, Y, Z, mode, FVAL, DVAL
  };
  for (const Case& c :
       {Case{0xFFFFFFFA, 4, 0x80000000, 0, "Disabled|Enabled|Disabled|Eight tap, 10-bit|Yes|No|"},
        Case{0x80000005, 5, 0, 0x80000000, "Enabled|Disabled|Enabled|Unknown|No|Yes|"}}) {
    FakeBoard& board = FakeBoard::reset(1);
    board.set(2854, c.channels);
    board.set(2856, c.mode);
    board.set(2852, c.fval);
    board.set(2853, c.dval);
    render(draw_camera_link, 0);
    EXPECT_TRUE(board.log().empty());
    const auto lines = split_lines(render(draw_camera_link, 1));
    std::string values;
    for (size_t line = 2; line < 8; ++line) values += lines.at(line).substr(28) + "|";
    EXPECT_EQ(values, c.values);
    EXPECT_EQ(board.log(), (std::vector<std::string>{"peek 0 2854", "peek 0 2856", "peek 0 2852",
                                                     "peek 0 2853"}));
  }
}

}  // namespace
}  // namespace boardstat::testing
