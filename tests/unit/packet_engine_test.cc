#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {
namespace {

using testing::FakeBoard;
using testing::render;
using testing::split_lines;

TEST(PacketEngine, ExpandedPanelAndReadOrder) {
  FakeBoard& board = FakeBoard::reset(1);
  board.set(1919, 2);
  board.set(2849, 5);
  board.set(2848, 0xFFFFFFFF);
  board.set(1917, 123456);
  board.set(1918, 0);
  board.set(1926, 1);
  board.set(1925, 2);
  board.set(1923, 0x80000000);
  EXPECT_EQ(render(draw_packet_engine, 1),
            "PacketEngine\n"
            "^--------------------------\n"
            "State                     : DAT\n"
            "Max PCIe payload (System) : 512 bytes\n"
            "Max PCIe payload (User)   : 8 bytes\n"
            "Num PCIe packets sent     : 123456\n"
            "Num PCIe packets dropped  : 0\n"
            "Flags                     : {pktFlushEn }\n"
            "Errors                    : {wrOnFull newFrameResync }\n"
            "\n");
  std::vector<std::string> expected;
  for (uint32_t reg :
       {1919, 2849, 2848, 1917, 1918, 2851, 2850, 1926, 1920, 1921, 1925, 1924, 1923}) {
    expected.push_back("peek 0 " + std::to_string(reg));
  }
  EXPECT_EQ(board.log(), expected);
}

TEST(PacketEngine, CollapsedIsThreeLinesAndReadsNothing) {
  FakeBoard& board = FakeBoard::reset(1);
  EXPECT_EQ(render(draw_packet_engine, 0), "PacketEngine\n^-----------\n\n");
  EXPECT_TRUE(board.log().empty());
}

TEST(PacketEngine, StateTexts) {
  for (const auto& [value, text] : std::vector<std::pair<uint32_t, std::string>>{
           {0, "SYNC"}, {1, "HDR"}, {2, "DAT"}, {3, "????"}, {0xFFFFFFFF, "????"}}) {
    FakeBoard::reset(1).set(1919, value);
    EXPECT_EQ(split_lines(render(draw_packet_engine, 1))[2], "State                     : " + text);
  }
}

// 16 bytes times 2 to the signed exponent, in general notation whatever the stream held before.
TEST(PacketEngine, PayloadFromSignedExponent) {
  for (const auto& [exponent, bytes] :
       std::vector<std::pair<uint32_t, std::string>>{{0, "16"},
                                                     {3, "128"},
                                                     {4, "256"},
                                                     {8, "4096"},
                                                     {0xFFFFFFFF, "8"},
                                                     {static_cast<uint32_t>(-4), "1"},
                                                     {16, "1.04858e+06"},
                                                     {1019, "8.98847e+307"},
                                                     {1020, "inf"},
                                                     {0x7FFFFFFF, "inf"},
                                                     {static_cast<uint32_t>(-1078), "4.94066e-324"},
                                                     {static_cast<uint32_t>(-1079), "0"},
                                                     {0x80000000, "0"}}) {
    SCOPED_TRACE(exponent);
    FakeBoard& board = FakeBoard::reset(1);
    board.set(2849, exponent);
    board.set(2848, exponent);
    std::ostringstream out;
    out << std::fixed << std::setprecision(2);
    draw_packet_engine(out, FakeBoard::handle(0), 1);
    const auto lines = split_lines(out.str());
    EXPECT_EQ(lines[3], "Max PCIe payload (System) : " + bytes + " bytes");
    EXPECT_EQ(lines[4], "Max PCIe payload (User)   : " + bytes + " bytes");
  }
}

TEST(PacketEngine, FlagAndErrorSetsEmptySingleAndFull) {
  struct Case {
    std::vector<uint32_t> set;
    std::string flags, errors;
  };
  const std::vector<Case> cases = {{{}, "", ""},
                                   {{2851}, "disablePktGen ", ""},
                                   {{2850}, "disablePktFlushTimer ", ""},
                                   {{1926}, "pktFlushEn ", ""},
                                   {{1920}, "", "noQuadAvail "},
                                   {{1921}, "", "vidDropped "},
                                   {{1925}, "", "wrOnFull "},
                                   {{1924}, "", "rdOnEmpty "},
                                   {{1923}, "", "newFrameResync "},
                                   {{1920, 1921, 1923, 1924, 1925, 1926, 2850, 2851},
                                    "disablePktGen disablePktFlushTimer pktFlushEn ",
                                    "noQuadAvail vidDropped wrOnFull rdOnEmpty newFrameResync "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags + "/" + c.errors);
    FakeBoard& board = FakeBoard::reset(1);
    for (uint32_t reg : c.set) board.set(reg, 0xFFFFFFFF);
    const auto lines = split_lines(render(draw_packet_engine, 1));
    EXPECT_EQ(lines[7], "Flags                     : {" + c.flags + "}");
    EXPECT_EQ(lines[8], "Errors                    : {" + c.errors + "}");
  }
}

}  // namespace
}  // namespace boardstat
