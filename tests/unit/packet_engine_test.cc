#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// Out-of-table states read "????"; payloads are 16 bytes times 2 to a signed exponent (inf and
// 0 past a double), in general notation even after an earlier line left the stream fixed; flags
// and errors show in the panel's order, not register order. Each register is read once, in
// order, only when expanded.
TEST(PacketEngine, EdgeValuesAndReadOrder) {
  struct Case {
    uint32_t state, exponent, flags;
    const char* values;
  };
  for (const Case& c :
       {Case{3, 0xFFFFFFFF, 0, "????|8 bytes|8 bytes|{}|{}|"},
        Case{2, 16, 0, "DAT|1.04858e+06 bytes|1.04858e+06 bytes|{}|{}|"},
        Case{0xFFFFFFFF, 1020, 0x80000000,
             "????|inf bytes|inf bytes|{disablePktGen disablePktFlushTimer pktFlushEn }|"
             "{noQuadAvail vidDropped wrOnFull rdOnEmpty newFrameResync }|"},
        Case{1, 0x80000000, 0, "HDR|0 bytes|0 bytes|{}|{}|"}}) {
    FakeBoard& board = FakeBoard::reset(1);
    board.set(1919, c.state);
    for (uint32_t reg : {2849, 2848}) board.set(reg, c.exponent);
    for (uint32_t reg : {1920, 1921, 1923, 1924, 1925, 1926, 2850, 2851}) board.set(reg, c.flags);
    render(draw_packet_engine, 0);
    EXPECT_TRUE(board.log().empty());
    std::ostringstream out;
    out << std::fixed << std::setprecision(2);
    draw_packet_engine(out, FakeBoard::handle(0), 1);
    const auto lines = split_lines(out.str());
    std::string values;
    for (size_t line : {2, 3, 4, 7, 8}) values += lines.at(line).substr(28) + "|";
    EXPECT_EQ(values, c.values);
    std::vector<std::string> expected;
    for (uint32_t reg :
         {1919, 2849, 2848, 1917, 1918, 2851, 2850, 1926, 1920, 1921, 1925, 1924, 1923}) {
      expected.push_back("peek 0 " + std::to_string(reg));
    }
    EXPECT_EQ(board.log(), expected);
  }
}

}  // namespace
}  // namespace boardstat::testing
