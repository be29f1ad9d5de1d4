#include "console/banner.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {
namespace {

using testing::FakeBoard;
using testing::split_lines;

struct FirmwareCase {
  const char* name;
  uint32_t date_first, date_second, year, hour, minute;
  int32_t vfg_number, vfg_count;
  const char* line2;
};

class BannerLine2 : public ::testing::TestWithParam<FirmwareCase> {};

TEST_P(BannerLine2, ShowsVfgNumbersAndFirmwareDate) {
  const FirmwareCase& c = GetParam();
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2657, c.date_first);
  board.set(2656, c.date_second);
  board.set(2655, c.year);
  board.set(2659, c.hour);
  board.set(2658, c.minute);
  std::ostringstream out;
  draw_banner(out, FakeBoard::handle(0), c.vfg_number, c.vfg_count);
  EXPECT_EQ(split_lines(out.str()).at(1), c.line2);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BannerLine2,
    ::testing::Values(
        FirmwareCase{"Example", 0x12, 0x05, 0x2016, 0x09, 0x07, 0, 2,
                     "| VFG (000) of (001) , Firmware Built on 12/05/2016 at 09:07         |"},
        FirmwareCase{"ZeroFields", 0, 0, 0, 0, 0, 0, 1,
                     "| VFG (000) of (000) , Firmware Built on 00/00/0000 at 00:00         |"},
        FirmwareCase{"LowerCaseHexDigit", 0x1a, 0x05, 0x2016, 0x09, 0x07, 12, 31,
                     "| VFG (012) of (030) , Firmware Built on 1a/05/2016 at 09:07         |"},
        FirmwareCase{"WideYearPushesBar", 0x12, 0x05, 0x12016, 0x09, 0x07, 0, 2,
                     "| VFG (000) of (001) , Firmware Built on 12/05/12016 at 09:07         |"},
        FirmwareCase{"AllBitsSet", 0xFFFFFFFF, 0x05, 0x2016, 0x09, 0xFFFFFFFF, 0, 2,
                     "| VFG (000) of (001) , Firmware Built on ffffffff/05/2016 at "
                     "09:ffffffff         |"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Banner, WholeBoxAndStreamLeftDecimalBlankFilledRightAligned) {
  FakeBoard& board = FakeBoard::reset(2);
  board.set(1, 2655, 0x2016);
  std::ostringstream out;
  out << std::left;
  draw_banner(out, FakeBoard::handle(1), 1, 2);
  EXPECT_EQ(out.str(),
            "+--------------------------------------------------------------------+\n"
            "| VFG (001) of (001) , Firmware Built on 00/00/2016 at 00:00         |\n"
            "|                                                                    |\n"
            "+------------------------ Options -----------------------------------+\n"
            "| Press the key indicated by (^) to expand/collapse each category    |\n"
            "| c = Clear Errors, q = Quit, [+,-] = Change VFG                     |\n"
            "+--------------------------------------------------------------------+\n"
            "\n");
  EXPECT_EQ(board.log(), (std::vector<std::string>{"peek 1 2657", "peek 1 2656", "peek 1 2655",
                                                   "peek 1 2659", "peek 1 2658"}));
  out.str("");
  out << std::setw(5) << 42;
  EXPECT_EQ(out.str(), "   42");
}

}  // namespace
}  // namespace boardstat
