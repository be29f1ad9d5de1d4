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

TEST(BufferManager, ExpandedPanelAndReadOrder) {
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2702, 1);
  board.set(2707, 4);
  board.set(2704, 5);
  board.set(2703, 0xFFFFFFFE);
  board.set(2708, 12);
  board.set(1929, 3);
  board.set(1916, 2);
  board.set(1928, 0xFFFFFFFF);
  board.set(1927, 100);
  board.set(2716, 1);
  board.set(2710, 0x80000000);
  EXPECT_EQ(render(draw_buffer_manager, 1),
            "BufferManager\n"
            "^--------------------------\n"
            "RunLevel                  : RUN\n"
            "State                     : WAIT_DESC\n"
            "Max quads per fetch       : 32\n"
            "Current quads per fetch   : 0.25\n"
            "Quads currently Cached    : 12\n"
            "QTabs Loaded              : 3\n"
            "QTabs Used                : 2\n"
            "Quads Loaded              : 4294967295\n"
            "Quads Used                : 100\n"
            "Errors                    : {fifoOverflow dstAddrErrorLSB }\n"
            "\n");
  std::vector<std::string> expected;
  for (uint32_t reg : {2702, 2707, 2704, 2703, 2708, 1929, 1916, 1928, 1927, 2717, 2716, 2715, 2714,
                       2713, 2712, 2711, 2710}) {
    expected.push_back("peek 0 " + std::to_string(reg));
  }
  EXPECT_EQ(board.log(), expected);
}

TEST(BufferManager, CollapsedIsThreeLinesAndReadsNothing) {
  FakeBoard& board = FakeBoard::reset(1);
  EXPECT_EQ(render(draw_buffer_manager, 0), "BufferManager\n^------------\n\n");
  EXPECT_TRUE(board.log().empty());
}

TEST(BufferManager, RunLevelAndStateTexts) {
  struct Case {
    uint32_t value;
    const char* run_level;
    const char* state;
  };
  for (const Case& c : std::vector<Case>{{0, "IDLE", "IDLE"},
                                         {1, "RUN", "ACTIVE"},
                                         {2, "ABORT", "REQ_DESC_64"},
                                         {3, "????", "REQ_DESC_32"},
                                         {4, "????", "WAIT_DESC"},
                                         {5, "????", "PARSE_DESC_0"},
                                         {6, "????", "PARSE_DESC_1"},
                                         {7, "????", "FLUSH"},
                                         {8, "????", "????"},
                                         {0xFFFFFFFF, "????", "????"}}) {
    SCOPED_TRACE(c.value);
    FakeBoard& board = FakeBoard::reset(1);
    board.set(2702, c.value);
    board.set(2707, c.value);
    const auto lines = split_lines(render(draw_buffer_manager, 1));
    EXPECT_EQ(lines[2], std::string("RunLevel                  : ") + c.run_level);
    EXPECT_EQ(lines[3], std::string("State                     : ") + c.state);
  }
}

// The quads per fetch are written in general notation even when an earlier line left the stream
// in fixed notation; exponents beyond a double give inf or 0.
TEST(BufferManager, QuadsPerFetchFromSignedExponent) {
  for (const auto& [exponent, text] :
       std::vector<std::pair<uint32_t, std::string>>{{0, "1"},
                                                     {4, "16"},
                                                     {0xFFFFFFFF, "0.5"},
                                                     {20, "1.04858e+06"},
                                                     {1023, "8.98847e+307"},
                                                     {1024, "inf"},
                                                     {0x7FFFFFFF, "inf"},
                                                     {static_cast<uint32_t>(-1074), "4.94066e-324"},
                                                     {static_cast<uint32_t>(-1075), "0"},
                                                     {0x80000000, "0"}}) {
    SCOPED_TRACE(exponent);
    FakeBoard& board = FakeBoard::reset(1);
    board.set(2704, exponent);
    board.set(2703, exponent);
    std::ostringstream out;
    out << std::fixed << std::setprecision(2);
    draw_buffer_manager(out, FakeBoard::handle(0), 1);
    const auto lines = split_lines(out.str());
    EXPECT_EQ(lines[4], "Max quads per fetch       : " + text);
    EXPECT_EQ(lines[5], "Current quads per fetch   : " + text);
  }
}

TEST(BufferManager, ErrorSetEmptySingleAndFull) {
  struct Case {
    std::vector<uint32_t> set;
    std::string inside;
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{2717}, "timeoutDetected "},
      {{2716}, "fifoOverflow "},
      {{2715}, "quadNumMismatch "},
      {{2714}, "cplError "},
      {{2713}, "sizeErrorMSB "},
      {{2712}, "sizeErrorLSB "},
      {{2711}, "nextAddrErrorLSB "},
      {{2710}, "dstAddrErrorLSB "},
      {{2712, 2711}, "sizeErrorLSB nextAddrErrorLSB "},
      {{2710, 2711, 2712, 2713, 2714, 2715, 2716, 2717},
       "timeoutDetected fifoOverflow quadNumMismatch cplError sizeErrorMSB sizeErrorLSB "
       "nextAddrErrorLSB dstAddrErrorLSB "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.inside);
    FakeBoard& board = FakeBoard::reset(1);
    for (uint32_t reg : c.set) board.set(reg, 0xFFFFFFFF);
    const auto lines = split_lines(render(draw_buffer_manager, 1));
    EXPECT_EQ(lines[11], "Errors                    : {" + c.inside + "}");
  }
}

}  // namespace
}  // namespace boardstat
