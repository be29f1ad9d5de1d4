#include <gtest/gtest.h>

#include <sstream>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// The values of the given lines of the expanded panel, joined by "|".
std::string values(std::initializer_list<size_t> line_numbers) {
  const auto lines = split_lines(render(draw_io_box, 1));
  std::string joined;
  for (size_t line : line_numbers) joined += lines.at(line).substr(28) + "|";
  return joined;
}

// The raw fields are masked out of whole registers; with bit 31 alone set everywhere else,
// every two-way line takes its non-zero text and every source falls back to "Unknown". Each
// register is read once, in order, only when expanded, and numbers after the panel are
// decimal again.
TEST(IoBox, HighBitsEverywhereAndReadOrder) {
  const uint32_t registers[] = {51,   52,   2037, 1746, 2023, 2024, 2025, 1742, 1741, 1510, 2042,
                                2038, 2027, 2028, 2029, 2008, 2043, 2051, 2041, 2039, 2031, 2032,
                                2033, 2009, 2044, 2052, 2040, 2045, 2046, 2048, 2049, 2047};
  FakeBoard& board = FakeBoard::reset(1);
  for (uint32_t reg : registers) board.set(reg, 0x80000000);
  board.set(51, 0xFFFFFFFF);
  board.set(52, 0xFFFFFFFF);
  EXPECT_EQ(values({5,  6,  7,  8,  12, 13, 14, 15, 16, 17, 18, 19, 20, 24, 25, 26, 27,
                    28, 29, 30, 31, 35, 36, 37, 38, 39, 40, 41, 42, 46, 47, 48, 49, 50}),
            "0xfff|0xfff|0xff|0xf|"
            "YES|HIGH|HIGH|HIGH|HIGH|HIGH|Unknown|FALLING|** HIGH **|"
            "YES|HIGH|HIGH|HIGH|HIGH|Unknown|FALLING|** HIGH **|"
            "YES|HIGH|HIGH|HIGH|HIGH|Unknown|FALLING|** HIGH **|"
            "Unknown|Unknown|Unknown|Unknown|Unknown|");
  board.clear_log();
  std::ostringstream out;
  draw_io_box(out, FakeBoard::handle(0), 0);
  EXPECT_TRUE(board.log().empty());
  draw_io_box(out, FakeBoard::handle(0), 1);
  out << 255;
  EXPECT_EQ(split_lines(out.str()).back(), "255");
  std::vector<std::string> expected;
  for (uint32_t reg : registers) expected.push_back("peek 0 " + std::to_string(reg));
  EXPECT_EQ(board.log(), expected);
}

// The input sources name each column's own signal in a few rows, then three groups of twelve
// box inputs with gaps before and after; the CC table ends at 14, the LED table at 13.
TEST(IoBox, SourceTablesAtTheirEdges) {
  for (const auto& [value, shown] : std::vector<std::pair<uint32_t, std::string>>{
           {7, "Camera's CXP Trigger|Camera's CXP trigger|Camera's CXP trigger|VFGx_ENCA_SEL|CC1|"},
           {10,
            "VFG0's Timing sequencer output|VFG0's Timing sequencer output|"
            "VFG0's Timing sequencer output|VFG0_CT1|CC4|"},
           {11, "Unknown|Unknown|Unknown|VFG0_CT2|VFGx_TS|"},
           {13, "Unknown|Unknown|Unknown|VFG0_ENCDIV_SEL|Overstep|"},
           {14, "Unknown|Unknown|Unknown|VFG0_ENCQ_SEL|Unknown|"},
           {15, "Unknown|Unknown|Unknown|Unknown|Unknown|"},
           {27, "Unknown|Unknown|Unknown|Unknown|Unknown|"},
           {28, "BOX_IN_TTL_0|BOX_IN_TTL_0|BOX_IN_TTL_0|Unknown|Unknown|"},
           {40, "BOX_IN_DIF_0|BOX_IN_DIF_0|BOX_IN_DIF_0|Unknown|Unknown|"},
           {63, "BOX_IN_OPT_11|BOX_IN_OPT_11|BOX_IN_OPT_11|Unknown|Unknown|"},
           {64, "Unknown|Unknown|Unknown|Unknown|Unknown|"}}) {
    FakeBoard& board = FakeBoard::reset(1);
    for (uint32_t reg : {1741, 2043, 2044, 2045, 2047}) board.set(reg, value);
    EXPECT_EQ(values({18, 29, 40, 46, 50}), shown) << value;  // trigger, A, B, CC1, LED
  }
}

}  // namespace
}  // namespace boardstat::testing
