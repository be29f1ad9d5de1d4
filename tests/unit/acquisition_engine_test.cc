#include <gtest/gtest.h>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {
namespace {

using testing::FakeBoard;
using testing::render;
using testing::split_lines;

TEST(AcquisitionEngine, CollapsedIsThreeLinesAndReadsNothing) {
  FakeBoard& board = FakeBoard::reset(1);
  EXPECT_EQ(render(draw_acquisition_engine, 0), "AcquistionEngine\n^---------------\n\n");
  EXPECT_TRUE(board.log().empty());
}

TEST(AcquisitionEngine, ExpandedPanelWholeTextAndReadOrder) {
  FakeBoard& board = FakeBoard::reset(1);
  for (const auto& [reg, value] : std::vector<std::pair<uint32_t, uint32_t>>{
           {2756, 1}, {2770, 2},     {2772, 3},          {2771, 1},   {1419, 74565}, {1420, 65536},
           {1421, 5}, {1422, 65537}, {2774, 65535},      {2782, 100}, {2796, 480},   {2800, 120},
           {2783, 2}, {2797, 10},    {2801, 7},          {2781, 1},   {2795, 2},     {2780, 1},
           {2794, 2}, {2778, 2756},  {2792, 4294967295}, {2779, 4},   {2793, 5},     {2777, 0},
           {2791, 1}, {2776, 0},     {2790, 12},         {2775, 0},   {2789, 3}}) {
    board.set(reg, value);
  }
  const std::string expected =
      "AcquistionEngine\n"
      "^--------------------------\n"
      "RunLevel                  : RUN\n"
      "State                     : Z\n"
      "StreamSelect              : 3\n"
      "Errors                    : {LossOfSync }\n"
      "V Acquired                : 9029\n"
      "Z Acquired                : 0\n"
      "Y Acquired                : 5\n"
      "X Acquired (bytes)        : 16\n"
      "\n"
      "                                V Window    Z Window    Y Window    X Window\n"
      "                          --------------------------------------------------\n"
      "Window Size               :     Infinite         100         480        1920\n"
      "Window Units              :      Volumes      Frames       Lines       Bytes\n"
      "Window Offset             :            -           2          10           7\n"
      "Window Synchronization    :            -       Frame      NoSync           -\n"
      "Window Open Condition     :         ASAP     Trigger        ????        ASAP\n"
      "TrigOpenSelect            :            -        2756  4294967295           -\n"
      "TrigOpenFunction          :            -         Tog        ????           -\n"
      "Window Close Condition    :      WinSize     WinSize     Trigger     WinSize\n"
      "TrigCloseSelect           :            -           0          12           -\n"
      "TrigCloseFunction         :            -        Rise         Low           -\n"
      "\n";
  EXPECT_EQ(render(draw_acquisition_engine, 1), expected);

  // Each register once, row by row and V, Z, Y, X within a row; a select cell is its own
  // register's value, so register 2756, named by 2778, is read only for the run level.
  std::vector<std::string> expected_log;
  for (uint32_t reg :
       {2756, 2770, 2772, 2771, 1419, 1420, 1421, 1422, 2774, 2782, 2796, 2800, 2783, 2797, 2801,
        2781, 2795, 2780, 2794, 2778, 2792, 2779, 2793, 2777, 2791, 2776, 2790, 2775, 2789}) {
    expected_log.push_back("peek 0 " + std::to_string(reg));
  }
  EXPECT_EQ(board.log(), expected_log);
}

struct ValueCase {
  uint32_t reg;
  uint32_t value;
  size_t line;
  std::string text;  // the line's value after its label (status lines) or one 12-wide cell
  int cell;          // -1 for a status line
};

void PrintTo(const ValueCase& c, std::ostream* out) {
  *out << "register " << c.reg << " at " << c.value;
}

class AcquisitionEngineValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(AcquisitionEngineValues, Decoded) {
  const ValueCase& c = GetParam();
  FakeBoard::reset(1).set(c.reg, c.value);
  const auto lines = split_lines(render(draw_acquisition_engine, 1));
  ASSERT_EQ(lines.size(), 24u);
  const size_t from = c.cell < 0 ? 28 : 28 + 12 * static_cast<size_t>(c.cell);
  EXPECT_EQ(lines[c.line].substr(from, c.cell < 0 ? std::string::npos : 12), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Registers, AcquisitionEngineValues,
    ::testing::Values(
        ValueCase{2756, 5, 2, "ABORT_X", -1}, ValueCase{2756, 6, 2, "????", -1},
        ValueCase{2770, 0, 3, "IDLE", -1}, ValueCase{2770, 4, 3, "X", -1},
        ValueCase{2770, 5, 3, "????", -1}, ValueCase{2772, 4294967295, 4, "4294967295", -1},
        ValueCase{2771, 0, 5, "{}", -1}, ValueCase{2771, 0x80000000, 5, "{LossOfSync }", -1},
        ValueCase{1419, 65536, 6, "0", -1}, ValueCase{1419, 74565, 6, "9029", -1},
        ValueCase{1420, 4294967295, 7, "65535", -1}, ValueCase{1421, 65535, 8, "65535", -1},
        ValueCase{1422, 65537, 9, "16", -1}, ValueCase{1422, 4096, 9, "65536", -1},
        ValueCase{1422, 4294967295, 9, "1048560", -1},
        ValueCase{2774, 65535, 13, "    Infinite", 0},
        ValueCase{2774, 65534, 13, "       65534", 0},
        ValueCase{2774, 65536, 13, "       65536", 0},
        ValueCase{2800, 0x10000000, 13, "           0", 3},
        ValueCase{2800, 4294967295, 13, "  4294967280", 3},
        ValueCase{2801, 4294967295, 15, "  4294967295", 3},
        ValueCase{2781, 1, 16, "       Frame", 1}, ValueCase{2781, 2, 16, "      NoSync", 1},
        ValueCase{2781, 0, 16, "      NoSync", 1}, ValueCase{2795, 1, 16, "        Line", 2},
        ValueCase{2795, 4294967295, 16, "      NoSync", 2},
        ValueCase{2780, 2, 17, "        ????", 1}, ValueCase{2794, 1, 17, "     Trigger", 2},
        ValueCase{2792, 7, 18, "           7", 2}, ValueCase{2779, 3, 19, "         Low", 1},
        ValueCase{2793, 6, 19, "        ????", 2}, ValueCase{2791, 2, 20, "        ????", 2},
        ValueCase{2776, 2913, 21, "        2913", 1}, ValueCase{2789, 2, 22, "        High", 2}));

}  // namespace
}  // namespace boardstat
