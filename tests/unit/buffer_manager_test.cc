#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// Out-of-table values read "????"; the quads per fetch are 2 to a signed exponent (inf and 0
// past a double), in general notation even after an earlier line left the stream fixed; the
// errors show in the panel's order. Each register is read once, in order, only when expanded.
TEST(BufferManager, EdgeValuesAndReadOrder) {
  struct Case {
    uint32_t state, exponent, errors;
    const char* values;
  };
  for (const Case& c :
       {Case{2, 0xFFFFFFFF, 0, "ABORT|REQ_DESC_64|0.5|0.5|{}"},
        Case{3, 20, 0, "????|REQ_DESC_32|1.04858e+06|1.04858e+06|{}"},
        Case{7, 1024, 0x80000000,
             "????|FLUSH|inf|inf|{timeoutDetected fifoOverflow quadNumMismatch "
             "cplError sizeErrorMSB sizeErrorLSB nextAddrErrorLSB dstAddrErrorLSB }"},
        Case{0xFFFFFFFF, 0x80000000, 0, "????|????|0|0|{}"}}) {
    FakeBoard& board = FakeBoard::reset(1);
    for (uint32_t reg : {2702, 2707}) board.set(reg, c.state);
    for (uint32_t reg : {2704, 2703}) board.set(reg, c.exponent);
    for (uint32_t reg = 2710; reg <= 2717; ++reg) board.set(reg, c.errors);
    render(draw_buffer_manager, 0);
    EXPECT_TRUE(board.log().empty());
    std::ostringstream out;
    out << std::fixed << std::setprecision(2);
    draw_buffer_manager(out, FakeBoard::handle(0), 1);
    const auto lines = split_lines(out.str());
    std::string values;
    for (size_t line : {2, 3, 4, 5}) values += lines.at(line).substr(28) + "|";
    EXPECT_EQ(values + lines.at(11).substr(28), c.values);
    std::vector<std::string> expected;
    for (uint32_t reg : {2702, 2707, 2704, 2703, 2708, 1929, 1916, 1928, 1927, 2717, 2716, 2715,
                         2714, 2713, 2712, 2711, 2710}) {
      expected.push_back("peek 0 " + std::to_string(reg));
    }
    EXPECT_EQ(board.log(), expected);
  }
}

}  // namespace
}  // namespace boardstat::testing
