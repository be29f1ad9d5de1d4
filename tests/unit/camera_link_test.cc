#include <gtest/gtest.h>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {
namespace {

using testing::FakeBoard;
using testing::render;
using testing::split_lines;

struct CameraLinkCase {
  uint32_t channels, mode, use_fval, use_dval;
  const char* x;
  const char* y;
  const char* z;
  const char* mode_text;
  const char* fval;
  const char* dval;
};

class CameraLinkValues : public ::testing::TestWithParam<CameraLinkCase> {};

TEST_P(CameraLinkValues, DecodesEveryLine) {
  const CameraLinkCase& c = GetParam();
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2854, c.channels);
  board.set(2856, c.mode);
  board.set(2852, c.use_fval);
  board.set(2853, c.use_dval);
  const auto lines = split_lines(render(draw_camera_link, 1));
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[2], std::string("Channel X                 : ") + c.x);
  EXPECT_EQ(lines[3], std::string("Channel Y                 : ") + c.y);
  EXPECT_EQ(lines[4], std::string("Channel Z                 : ") + c.z);
  EXPECT_EQ(lines[5], std::string("Mode                      : ") + c.mode_text);
  EXPECT_EQ(lines[6], std::string("Use FVAL                  : ") + c.fval);
  EXPECT_EQ(lines[7], std::string("Use DVAL                  : ") + c.dval);
}

INSTANTIATE_TEST_SUITE_P(
    Registers, CameraLinkValues,
    ::testing::Values(CameraLinkCase{0, 0, 0, 0, "Disabled", "Disabled", "Disabled",
                                     "Base/Medium/Full, 8-bit", "No", "No"},
                      CameraLinkCase{7, 1, 1, 1, "Enabled", "Enabled", "Enabled",
                                     "Base/Medium/Full, 10-bit or 12-bit", "Yes", "Yes"},
                      CameraLinkCase{5, 2, 0xFFFFFFFF, 2, "Enabled", "Disabled", "Enabled",
                                     "Base/Medium/Full, 14-bit or 16-bit", "Yes", "Yes"},
                      CameraLinkCase{8, 3, 0, 0x80000000, "Disabled", "Disabled", "Disabled",
                                     "Ten tap, 8-bit", "No", "Yes"},
                      CameraLinkCase{0xFFFFFFFA, 4, 0, 0, "Disabled", "Enabled", "Disabled",
                                     "Eight tap, 10-bit", "No", "No"},
                      CameraLinkCase{2, 5, 0, 0, "Disabled", "Enabled", "Disabled", "Unknown", "No",
                                     "No"},
                      CameraLinkCase{1, 0xFFFFFFFF, 0, 0, "Enabled", "Disabled", "Disabled",
                                     "Unknown", "No", "No"}));

TEST(CameraLink, ExpandedFrameAndReadOrder) {
  FakeBoard& board = FakeBoard::reset(1);
  const std::string text = render(draw_camera_link, 1);
  EXPECT_EQ(text.substr(0, 44), "CameraLink     \n------^--------------------\n");
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_EQ(split_lines(text)[8], "");
  EXPECT_EQ(board.log(),
            (std::vector<std::string>{"peek 0 2854", "peek 0 2856", "peek 0 2852", "peek 0 2853"}));
}

TEST(CameraLink, CollapsedIsThreeLinesAndReadsNothing) {
  FakeBoard& board = FakeBoard::reset(1);
  EXPECT_EQ(render(draw_camera_link, 0), "CameraLink     \n------^--------\n\n");
  EXPECT_TRUE(board.log().empty());
}

}  // namespace
}  // namespace boardstat
