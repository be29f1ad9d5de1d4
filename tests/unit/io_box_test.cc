#include <gtest/gtest.h>

#include <sstream>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {
namespace {

using testing::FakeBoard;
using testing::render;
using testing::split_lines;

// Line numbers (from 0, the title) of the expanded panel.
constexpr size_t kTtlLine = 5, kDiffLine = 6, kOptoLine = 7, k24VLine = 8;
constexpr size_t kTriggerSourceLine = 18, kEncoderASourceLine = 29, kEncoderBSourceLine = 40;
constexpr size_t kCcSourceLines[] = {46, 47, 48, 49};
constexpr size_t kLedSourceLine = 50;

std::string value_of(const std::string& line) {
  return line.size() >= 28 ? line.substr(28) : "<short line: " + line + ">";
}

TEST(IoBox, ExpandedPanelAndReadOrder) {
  FakeBoard& board = FakeBoard::reset(1);
  const std::vector<std::pair<uint32_t, uint32_t>> registers = {
      {51, 0xFFABC123},   {52, 0xFFFFF5A5},  // raw inputs
      {2037, 1},          {1746, 0},        {2023, 1}, {2024, 0},  {2025, 2},
      {1742, 0},                                        // trigger
      {1741, 7},          {1510, 1},        {2042, 1},  //
      {2038, 0},          {2027, 1},        {2028, 0}, {2029, 1},  {2008, 0},
      {2043, 3},                                                                 // encoder A
      {2051, 0},          {2041, 0},                                             //
      {2039, 0xFFFFFFFF}, {2031, 0},        {2032, 0}, {2033, 0},  {2009, 1},    // encoder B
      {2044, 45},         {2052, 0},        {2040, 1},                           //
      {2045, 2},          {2046, 14},       {2048, 6}, {2049, 15}, {2047, 13}};  // outputs, LED
  for (const auto& [reg, value] : registers) board.set(reg, value);
  EXPECT_EQ(render(draw_io_box, 1),
            "IO\n"
            "^--------------------------\n"
            "\n"
            "Torvel IO\n"
            "--------------------------\n"
            "BOX_IN_TTL[11:0]          : 0x123\n"
            "BOX_IN_DIFF[11:0]         : 0xabc\n"
            "BOX_IN_OPTO[7:0]          : 0xa5\n"
            "BOX_IN_24V[3:0]           : 0x5\n"
            "\n"
            "Trigger\n"
            "--------------------------\n"
            "Enabled                   : YES\n"
            "TRIG TTL                  : LOW\n"
            "TRIG DIF                  : HIGH\n"
            "TRIG VFG0                 : LOW\n"
            "Scan Step                 : HIGH\n"
            "SW Trig                   : LOW\n"
            "Trigger Source            : Camera's CXP Trigger\n"
            "Polarity                  : FALLING\n"
            "Trigger                   : ** HIGH **\n"
            "\n"
            "Encoder A\n"
            "--------------------------\n"
            "Enabled                   : NO\n"
            "ENC_A TTL                 : HIGH\n"
            "ENC_A DIF                 : LOW\n"
            "ENC_A VFG0                : HIGH\n"
            "SW Encoder A              : LOW\n"
            "Encoder A Source          : This VFG's TTL  encoder A\n"
            "Polarity                  : RISING\n"
            "Encoder A                 : ** LOW **\n"
            "\n"
            "Encoder B\n"
            "--------------------------\n"
            "Enabled                   : YES\n"
            "ENC_B TTL                 : LOW\n"
            "ENC_B DIF                 : LOW\n"
            "ENC_B VFG0                : LOW\n"
            "SW Encoder B              : HIGH\n"
            "Encoder B Source          : BOX_IN_DIF_5\n"
            "Polarity                  : RISING\n"
            "Encoder B                 : ** HIGH **\n"
            "\n"
            "Outputs\n"
            "--------------------------\n"
            "CC1 Source                : CT0\n"
            "CC2 Source                : VFG0_ENCQ_SEL\n"
            "CC3 Source                : VFGx_TRIG_SEL\n"
            "CC4 Source                : Unknown\n"
            "LED Source                : Overstep\n"
            "\n");
  std::vector<std::string> expected;
  for (const auto& [reg, value] : registers) expected.push_back("peek 0 " + std::to_string(reg));
  EXPECT_EQ(board.log(), expected);
}

TEST(IoBox, CollapsedIsThreeLinesAndReadsNothing) {
  FakeBoard& board = FakeBoard::reset(1);
  EXPECT_EQ(render(draw_io_box, 0), "IO\n^-\n\n");
  EXPECT_TRUE(board.log().empty());
}

TEST(IoBox, RawInputFieldsIgnoreTheirHighBits) {
  struct Case {
    uint32_t r51, r52;
    const char *ttl, *diff, *opto, *v24;
  };
  for (const Case& c : std::vector<Case>{{0, 0, "0", "0", "0", "0"},
                                         {0xFFFFFFFF, 0xFFFFFFFF, "fff", "fff", "ff", "f"},
                                         {1u << 12, 1u << 8, "0", "1", "0", "1"},
                                         {0xFFF, 0xFF, "fff", "0", "ff", "0"},
                                         {0xFF000000, 0xFFFFF000, "0", "0", "0", "0"}}) {
    SCOPED_TRACE(c.r51);
    FakeBoard& board = FakeBoard::reset(1);
    board.set(51, c.r51);
    board.set(52, c.r52);
    const auto lines = split_lines(render(draw_io_box, 1));
    EXPECT_EQ(lines[kTtlLine], std::string("BOX_IN_TTL[11:0]          : 0x") + c.ttl);
    EXPECT_EQ(lines[kDiffLine], std::string("BOX_IN_DIFF[11:0]         : 0x") + c.diff);
    EXPECT_EQ(lines[kOptoLine], std::string("BOX_IN_OPTO[7:0]          : 0x") + c.opto);
    EXPECT_EQ(lines[k24VLine], std::string("BOX_IN_24V[3:0]           : 0x") + c.v24);
  }
}

// Numbers written after the panel are decimal again, as the next panel and banner need.
TEST(IoBox, StreamIsDecimalRightAfterThePanel) {
  FakeBoard& board = FakeBoard::reset(1);
  board.set(51, 0xFFFFFFFF);
  board.set(52, 0xFFFFFFFF);
  std::ostringstream out;
  draw_io_box(out, FakeBoard::handle(0), 1);
  out << 255u << ' ' << 4096;
  const auto lines = split_lines(out.str());
  EXPECT_EQ(lines[kTtlLine], "BOX_IN_TTL[11:0]          : 0xfff");
  EXPECT_EQ(lines.back(), "255 4096");
}

TEST(IoBox, TwoWayDecodingsTestTheWholeValue) {
  enum Kind { kFlag, kLevel, kPolarity, kHighlighted };
  struct Line {
    uint32_t reg;
    size_t line;
    Kind kind;
  };
  const std::vector<Line> two_way = {
      {2037, 12, kFlag},       {1746, 13, kLevel},       {2023, 14, kLevel},
      {2024, 15, kLevel},      {2025, 16, kLevel},       {1742, 17, kLevel},
      {1510, 19, kPolarity},   {2042, 20, kHighlighted}, {2038, 24, kFlag},
      {2027, 25, kLevel},      {2028, 26, kLevel},       {2029, 27, kLevel},
      {2008, 28, kLevel},      {2051, 30, kPolarity},    {2041, 31, kHighlighted},
      {2039, 35, kFlag},       {2031, 36, kLevel},       {2032, 37, kLevel},
      {2033, 38, kLevel},      {2009, 39, kLevel},       {2052, 41, kPolarity},
      {2040, 42, kHighlighted}};
  const char* const zero[] = {"NO", "LOW", "RISING", "** LOW **"};
  const char* const non_zero[] = {"YES", "HIGH", "FALLING", "** HIGH **"};
  for (uint32_t value : {0u, 1u, 2u, 0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(value);
    FakeBoard& board = FakeBoard::reset(1);
    for (const Line& l : two_way) board.set(l.reg, value);
    const auto lines = split_lines(render(draw_io_box, 1));
    for (const Line& l : two_way) {
      EXPECT_EQ(value_of(lines[l.line]), value ? non_zero[l.kind] : zero[l.kind]) << l.reg;
    }
  }
}

TEST(IoBox, InputSourceTableByColumn) {
  struct Case {
    uint32_t value;
    std::string trigger, encoder_a, encoder_b;
  };
  const std::vector<Case> cases = {
      {0, "Forced Low", "Forced Low", "Forced Low"},
      {1, "Forced High", "Forced High", "Forced High"},
      {2, "This VFG's DIFF trigger", "This VFG's DIFF encoder A", "This VFG's DIFF encoder B"},
      {3, "This VFG's TTL  trigger", "This VFG's TTL  encoder A", "This VFG's TTL  encoder B"},
      {4, "Selected trigger from VFG0", "Selected encoder A from VFG0",
       "Selected encoder B from VFG0"},
      {5, "This VFG's Timing Sequencer Output", "This VFG's Timing Sequencer Output",
       "This VFG's Timing Sequencer Output"},
      {6, "Button", "Button", "Button"},
      {7, "Camera's CXP Trigger", "Camera's CXP trigger", "Camera's CXP trigger"},
      {8, "This VFG's software trigger", "This VFG's software encoder A",
       "This VFG's software encoder B"},
      {9, "This VFG's scan step circuit", "This VFG's scan step circuit",
       "This VFG's scan step circuit"},
      {10, "VFG0's Timing sequencer output", "VFG0's Timing sequencer output",
       "VFG0's Timing sequencer output"},
      {11, "Unknown", "Unknown", "Unknown"},
      {27, "Unknown", "Unknown", "Unknown"},
      {28, "BOX_IN_TTL_0", "BOX_IN_TTL_0", "BOX_IN_TTL_0"},
      {39, "BOX_IN_TTL_11", "BOX_IN_TTL_11", "BOX_IN_TTL_11"},
      {40, "BOX_IN_DIF_0", "BOX_IN_DIF_0", "BOX_IN_DIF_0"},
      {51, "BOX_IN_DIF_11", "BOX_IN_DIF_11", "BOX_IN_DIF_11"},
      {52, "BOX_IN_OPT_0", "BOX_IN_OPT_0", "BOX_IN_OPT_0"},
      {60, "BOX_IN_OPT_8", "BOX_IN_OPT_8", "BOX_IN_OPT_8"},
      {63, "BOX_IN_OPT_11", "BOX_IN_OPT_11", "BOX_IN_OPT_11"},
      {64, "Unknown", "Unknown", "Unknown"},
      {0xFFFFFFFF, "Unknown", "Unknown", "Unknown"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    FakeBoard& board = FakeBoard::reset(1);
    board.set(1741, c.value);
    board.set(2043, c.value);
    board.set(2044, c.value);
    const auto lines = split_lines(render(draw_io_box, 1));
    EXPECT_EQ(lines[kTriggerSourceLine], "Trigger Source            : " + c.trigger);
    EXPECT_EQ(lines[kEncoderASourceLine], "Encoder A Source          : " + c.encoder_a);
    EXPECT_EQ(lines[kEncoderBSourceLine], "Encoder B Source          : " + c.encoder_b);
  }
}

TEST(IoBox, OutputAndLedSourceTables) {
  struct Case {
    uint32_t value;
    std::string output, led;
  };
  const std::vector<Case> cases = {{0, "Forced Low", "Interrupt to host"},
                                   {1, "Forced High", "VFGx_TRIG_SEL"},
                                   {2, "CT0", "VFG0_TRIG_SEL"},
                                   {3, "CT1", "Button"},
                                   {4, "CT2", "FVAL"},
                                   {5, "CT3", "VAW"},
                                   {6, "VFGx_TRIG_SEL", "VWIN"},
                                   {7, "VFGx_ENCA_SEL", "CC1"},
                                   {8, "VFGx_ENCB_SEL", "CC2"},
                                   {9, "VFG0_CT0", "CC3"},
                                   {10, "VFG0_CT1", "CC4"},
                                   {11, "VFG0_CT2", "VFGx_TS"},
                                   {12, "VFG0_CT3", "VFG0_TS"},
                                   {13, "VFG0_ENCDIV_SEL", "Overstep"},
                                   {14, "VFG0_ENCQ_SEL", "Unknown"},
                                   {15, "Unknown", "Unknown"},
                                   {0xFFFFFFFF, "Unknown", "Unknown"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    FakeBoard& board = FakeBoard::reset(1);
    for (uint32_t reg : {2045, 2046, 2047, 2048, 2049}) board.set(reg, c.value);
    const auto lines = split_lines(render(draw_io_box, 1));
    for (size_t line : kCcSourceLines) EXPECT_EQ(value_of(lines[line]), c.output) << line;
    EXPECT_EQ(lines[kLedSourceLine], "LED Source                : " + c.led);
  }
}

}  // namespace
}  // namespace boardstat
