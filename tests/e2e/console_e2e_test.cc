// The built console end to end: keys in, screens and the board's access trace out.
#include <gtest/gtest.h>

#include <regex>

#include "tests/e2e/run_console.h"

namespace boardstat::testing {
namespace {

constexpr char kTwoVfgs[] =
    "# two VFGs that differ in their firmware date and CameraLink set-up\n"
    "vfg\n"
    "reg 2657 0x12\n"
    "reg 2656 0x05\n"
    "reg 2655 0x2016\n"
    "reg 2659 0x09\n"
    "reg 2658 0x07\n"
    "reg 2854 5\n"
    "reg 2856 1\n"
    "reg 2852 1\n"
    "vfg\n"
    "reg 2657 0x1a\t# a hexadecimal digit above 9\n"
    "reg 2655 0x2017\n"
    "reg 2854 0xfffffff8\n"
    "reg 2856 0xffffffff\n"
    "reg 2853 2\n";

std::string banner(const char* vfgs, const char* firmware) {
  return std::string(
             "+--------------------------------------------------------------------+\n"
             "| VFG (") +
         vfgs + ") , Firmware Built on " + firmware +
         "         |\n"
         "|                                                                    |\n"
         "+------------------------ Options -----------------------------------+\n"
         "| Press the key indicated by (^) to expand/collapse each category    |\n"
         "| c = Clear Errors, q = Quit, [+,-] = Change VFG                     |\n"
         "+--------------------------------------------------------------------+\n"
         "\n";
}

constexpr char kCameraLinkCollapsed[] = "CameraLink     \n------^--------\n\n";
constexpr char kOtherPanelsCollapsed[] =
    "PixelRouter\n-----^-----\n\n"
    "AcquistionEngine\n^---------------\n\n"
    "BufferManager\n^------------\n\n"
    "PacketEngine\n^-----------\n\n"
    "TimingSequencer\n^--------------\n\n"
    "IO\n^-\n\n"
    "SystemProbe\n--------^--\n\n";

TEST(Console, ScreensFollowTheKeys) {
  const ConsoleRun run = run_console("l+-=_q", kTwoVfgs);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.errors, "");
  const auto screens = run.screens();
  ASSERT_EQ(screens.size(), 6u);
  EXPECT_EQ(screens[0], banner("000) of (001", "12/05/2016 at 09:07") + kCameraLinkCollapsed +
                            kOtherPanelsCollapsed);
  EXPECT_EQ(screens[1], banner("000) of (001", "12/05/2016 at 09:07") +
                            "CameraLink     \n"
                            "------^--------------------\n"
                            "Channel X                 : Enabled\n"
                            "Channel Y                 : Disabled\n"
                            "Channel Z                 : Enabled\n"
                            "Mode                      : Base/Medium/Full, 10-bit or 12-bit\n"
                            "Use FVAL                  : Yes\n"
                            "Use DVAL                  : No\n"
                            "\n"
                            "\n" +
                            kOtherPanelsCollapsed);
  EXPECT_EQ(screens[2], banner("001) of (001", "1a/00/2017 at 00:00") +
                            "CameraLink     \n"
                            "------^--------------------\n"
                            "Channel X                 : Disabled\n"
                            "Channel Y                 : Disabled\n"
                            "Channel Z                 : Disabled\n"
                            "Mode                      : Unknown\n"
                            "Use FVAL                  : No\n"
                            "Use DVAL                  : Yes\n"
                            "\n"
                            "\n" +
                            kOtherPanelsCollapsed);
  EXPECT_EQ(screens[3], screens[1]);
  EXPECT_EQ(screens[4], screens[2]);
  EXPECT_EQ(screens[5], screens[1]);
}

TEST(Console, EndOfInputEndsLikeQAfterTheLastScreen) {
  for (const auto& [keys, screens] :
       std::vector<std::pair<std::string, size_t>>{{"", 1}, {"l", 2}, {"lq", 2}, {"q", 1}}) {
    const ConsoleRun run = run_console(keys, kTwoVfgs);
    EXPECT_EQ(run.exit_status, 0) << keys;
    EXPECT_EQ(run.screens().size(), screens) << keys;
  }
}

TEST(Console, ClearErrorsWritesEveryVfgFromZeroWhicheverIsShown) {
  const ConsoleRun run = run_console("+c", kTwoVfgs);
  ASSERT_EQ(run.exit_status, 0);
  std::vector<std::string> writes;
  for (const auto& line : run.trace) {
    if (line.rfind("poke", 0) == 0 && line.find(" 2191 0") != std::string::npos) {
      writes.push_back(line);
    }
  }
  EXPECT_EQ(writes, (std::vector<std::string>{"poke 0 2191 0", "poke 1 2191 0"}));
  const auto first = std::find(run.trace.begin(), run.trace.end(), "poke 0 2191 0");
  ASSERT_GE(run.trace.end() - first, 98);
  EXPECT_EQ(first[48], "poke 0 1402 0");
  EXPECT_EQ(first[49], "poke 1 2191 0");
  EXPECT_EQ(first[97], "poke 1 1402 0");
}

TEST(Console, DiscoveryInTheTrace) {
  const ConsoleRun run = run_console("q", kTwoVfgs);
  ASSERT_GE(run.trace.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(run.trace.begin(), run.trace.begin() + 5),
            (std::vector<std::string>{"find 208 0 -> 0", "open 0 -> 0", "find 208 1 -> 0",
                                      "open 1 -> 0", "find 208 2 -> 1"}));
}

struct StartupFailure {
  const char* name;
  const char* description;
  const char* output;
  const char* error_pattern;
};

class StartupFailures : public ::testing::TestWithParam<StartupFailure> {};

TEST_P(StartupFailures, PrintTheirMessageAndExitMinusOne) {
  const StartupFailure& c = GetParam();
  const ConsoleRun run = run_console("lq", c.description);
  EXPECT_EQ(run.exit_status, 255);
  EXPECT_EQ(run.output, c.output);
  EXPECT_TRUE(std::regex_match(run.errors, std::regex(c.error_pattern))) << run.errors;
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, StartupFailures,
    ::testing::Values(StartupFailure{"NoVfg", "# an empty board system\n", "No Rokans found", ""},
                      StartupFailure{"SecondFailsToOpen", "vfg\nvfg open-fails\nvfg\n",
                                     "Could not VFG = 1\n", ""},
                      StartupFailure{"FirstFailsToOpen", "vfg open-fails\n", "Could not VFG = 0\n",
                                     ""},
                      StartupFailure{"MalformedLine", "vfg\nreg 2854 1\nreg 2854\n",
                                     "No Rokans found", "boardsim: [^\n]*/board:3: [^\n]+\n"},
                      StartupFailure{"StatementBeforeVfg", "reg 1 1\nvfg\n", "No Rokans found",
                                     "boardsim: [^\n]*/board:1: [^\n]+\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Console, MissingDescriptionFileSaysSo) {
  const ConsoleRun run = run_console_on_file("q", "/nonexistent/board");
  EXPECT_EQ(run.exit_status, 255);
  EXPECT_EQ(run.output, "No Rokans found");
  EXPECT_TRUE(std::regex_match(run.errors, std::regex("boardsim: /nonexistent/board: [^\n]+\n")))
      << run.errors;
}

TEST(Console, BuiltInBoardStartsAndQuits) {
  for (const char* keys : {"lq", "l"}) {
    const ConsoleRun run = run_console(keys, "");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.errors, "");
    ASSERT_EQ(run.screens().size(), 2u);
    EXPECT_NE(run.screens()[1].find("Channel X                 : "), std::string::npos);
  }
}

}  // namespace
}  // namespace boardstat::testing
