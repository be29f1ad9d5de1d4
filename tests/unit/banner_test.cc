#include "console/banner.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// The firmware fields are BCD digits shown in lower-case hexadecimal, zero-padded but never
// cut, read from the VFG shown; afterwards the stream is decimal, blank-filled and
// right-aligned again, whatever it was before.
TEST(Banner, SecondLineAtTheEdgesAndTheStreamAfterIt) {
  FakeBoard& board = FakeBoard::reset(2);
  board.set(1, 2657, 0x1a);
  board.set(1, 2655, 0x16);
  board.set(1, 2658, 0xFFFFFFFF);
  std::ostringstream out;
  out << std::left;
  draw_banner(out, FakeBoard::handle(1), 12, 31);
  EXPECT_EQ(split_lines(out.str()).at(1),
            "| VFG (012) of (030) , Firmware Built on 1a/00/0016 at 00:ffffffff         |");
  EXPECT_EQ(board.log(), (std::vector<std::string>{"peek 1 2657", "peek 1 2656", "peek 1 2655",
                                                   "peek 1 2659", "peek 1 2658"}));
  out.str("");
  out << std::setw(5) << 42;
  EXPECT_EQ(out.str(), "   42");
}

}  // namespace
}  // namespace boardstat::testing
