// The built console end to end: keys in, screens and the board's access trace out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
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

std::string repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
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
  std::string description;
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
    ::testing::Values(
        StartupFailure{"NoVfg", "# an empty board system\n", "No Rokans found", ""},
        StartupFailure{"SecondFailsToOpen", "vfg\nvfg open-fails\nvfg\n", "Could not VFG = 1\n",
                       ""},
        StartupFailure{"FirstFailsToOpen", "vfg open-fails\n", "Could not VFG = 0\n", ""},
        StartupFailure{"LastFailsToOpen", "vfg\nvfg\nvfg open-fails\n", "Could not VFG = 2\n", ""},
        StartupFailure{"LastOfTheTableFailsToOpen", repeat("vfg\n", 31) + "vfg open-fails\n",
                       "Could not VFG = 31\n", ""},
        StartupFailure{"MalformedLine", "vfg\nreg 2854 1\nreg 2854\n", "No Rokans found",
                       "boardsim: [^\n]*/board:3: [^\n]+\n"},
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

// Start-up may take its time under the sanitizers, never seconds in a normal build.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kStartupSeconds = 20.0;
#else
constexpr double kStartupSeconds = 2.0;
#endif

// VFGs whose every probe signal runs at 500 MHz and whose time reference ticks every 2 ps, so
// that an expanded SystemProbe panel measures in microseconds.
std::string fast_probe_board(int vfgs) {
  std::string vfg = "vfg\nreg 2655 0x2016\nsignal 3 2ps 1ps\n";
  for (int signal : {1, 8, 9, 10, 15, 16, 17, 32, 38, 41, 44, 47, 48, 49, 50}) {
    vfg += "signal " + std::to_string(signal) + " 2ns 1ns\n";
  }
  return repeat(vfg, vfgs);
}

// The VFG on screen and the highest VFG number, from the banner; -1 when there is no banner.
std::pair<int, int> banner_vfgs(const std::string& screen) {
  int shown = -1;
  int highest = -1;
  const auto at = screen.find("| VFG (");
  if (at == std::string::npos ||
      std::sscanf(screen.c_str() + at, "| VFG (%d) of (%d)", &shown, &highest) != 2) {
    return {-1, -1};
  }
  return {shown, highest};
}

std::string all_bytes_but_quit(bool descending) {
  std::string keys;
  for (int i = 0; i < 256; ++i) {
    const int byte = descending ? 255 - i : i;
    if (byte != 'q' && byte != 'Q') keys += static_cast<char>(byte);
  }
  return keys;
}

// A mebibyte of random bytes without q or Q, except a q at `quit_at`.
std::string random_megabyte(size_t quit_at) {
  std::mt19937 random(20240607);
  std::string keys(1 << 20, '\0');
  for (char& key : keys) {
    key = static_cast<char>(random() & 0xFF);
    if (key == 'q' || key == 'Q') key = 'x';
  }
  keys[quit_at] = 'q';
  return keys;
}

struct HostileKeys {
  const char* name;
  std::string keys;
  size_t screens;
  int last_vfg;  // -1: any
};

class HostileInput : public ::testing::TestWithParam<HostileKeys> {};

// Whatever the keys, every screen is whole, shows a VFG of the table that is at most one step
// from the one before, and the console ends with status 0 at q or the end of input.
TEST_P(HostileInput, EveryScreenWholeAndTheVfgInTheTable) {
  const HostileKeys& c = GetParam();
  const ConsoleRun run = run_console(c.keys, fast_probe_board(3));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.errors, "");
  const auto screens = run.screens();
  ASSERT_EQ(screens.size(), c.screens);
  int previous = 0;
  for (size_t i = 0; i < screens.size(); ++i) {
    const auto [shown, highest] = banner_vfgs(screens[i]);
    ASSERT_EQ(highest, 2) << "screen " << i;
    ASSERT_GE(shown, 0) << "screen " << i;
    ASSERT_LE(shown, 2) << "screen " << i;
    ASSERT_LE(std::abs(shown - previous), 1) << "screen " << i;
    previous = shown;
    ASSERT_NE(screens[i].find("\nSystemProbe\n--------^"), std::string::npos) << "screen " << i;
    ASSERT_EQ(screens[i].find("Unknown"), std::string::npos) << "screen " << i;
  }
  if (c.last_vfg >= 0) {
    EXPECT_EQ(previous, c.last_vfg);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HostileInput,
    ::testing::Values(
        // + - = _ come in this order going up (last VFG 0) and the other way going down.
        HostileKeys{"EveryByteValueAscending", all_bytes_but_quit(false), 255, 0},
        HostileKeys{"EveryByteValueDescending", all_bytes_but_quit(true), 255, 1},
        // Arrow, Home, End, Page and function keys as terminals send them, byte by byte; F2
        // (ESC O Q) ends in Q, which quits.
        HostileKeys{"ArrowAndFunctionKeys",
                    "\033[A\033[B\033[C\033[D\033[H\033[F\033[5~\033[6~\033[2~\033[3~"
                    "\033OP\033OR\033OS\033[15~\033[17~\033[24~\033[1;5A\033OQlll",
                    std::string("\033[A\033[B\033[C\033[D\033[H\033[F\033[5~\033[6~\033[2~\033[3~"
                                "\033OP\033OR\033OS\033[15~\033[17~\033[24~\033[1;5A\033O")
                            .size() +
                        1,
                    0},
        HostileKeys{"PlusFarBeyondTheLast", repeat("+=", 150), 301, 2},
        HostileKeys{"MinusFarBelowZero", "++" + repeat("-_", 150), 303, 0},
        HostileKeys{"RandomMegabyteQuitsAtItsQ", random_megabyte(500), 501, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Keys that come while the panel measures wait their turn: each one acts, in order.
TEST(Console, KeysWhileSystemProbeMeasuresAllAct) {
  const ConsoleRun run = run_console("ol+a-o", fast_probe_board(3));
  const auto screens = run.screens();
  ASSERT_EQ(screens.size(), 7u);
  for (size_t i = 1; i < 6; ++i) {
    EXPECT_NE(screens[i].find("Clocks per Line           : 1          Clocks"), std::string::npos)
        << "screen " << i;
  }
  EXPECT_EQ(screens[6].find("CL CLock"), std::string::npos);
  EXPECT_NE(screens[6].find("Channel X"), std::string::npos);
  EXPECT_NE(screens[6].find("RunLevel                  : "), std::string::npos);
}

struct LargeSystem {
  const char* name;
  std::string description;
  int highest_vfg;  // as the banner shows it
};

class LargeSystems : public ::testing::TestWithParam<LargeSystem> {};

// Systems at and beyond the table of 32 start fast, show at most 32 VFGs, and + stops at the
// last of them; discovery never asks for a VFG that the table could not hold.
TEST_P(LargeSystems, StartFastAndKeepToTheTable) {
  const LargeSystem& c = GetParam();
  const auto start = std::chrono::steady_clock::now();
  const ConsoleRun run = run_console(repeat("+", 40), c.description);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took.count(), kStartupSeconds);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.errors, "");
  const auto screens = run.screens();
  ASSERT_EQ(screens.size(), 41u);
  EXPECT_EQ(banner_vfgs(screens.front()), std::make_pair(0, c.highest_vfg));
  EXPECT_EQ(banner_vfgs(screens.back()), std::make_pair(c.highest_vfg, c.highest_vfg));
  const auto opens = std::count_if(run.trace.begin(), run.trace.end(), [](const std::string& line) {
    return line.rfind("open", 0) == 0;
  });
  EXPECT_EQ(opens, c.highest_vfg + 1);
  EXPECT_EQ(std::find(run.trace.begin(), run.trace.end(), "find 208 32 -> 0"), run.trace.end());
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, LargeSystems,
    ::testing::Values(LargeSystem{"OneVfg", "vfg\n", 0},
                      LargeSystem{"ThirtyTwoVfgs", repeat("vfg\n", 32), 31},
                      LargeSystem{"ThirtyThreeVfgs", repeat("vfg\n", 33), 31},
                      LargeSystem{"ThousandVfgs", repeat("vfg\nreg 2854 7\n", 1000), 31},
                      LargeSystem{"ThirtyThirdFailsToOpenButIsNeverOpened",
                                  repeat("vfg\n", 32) + "vfg open-fails\n", 31}),
    [](const auto& info) { return std::string(info.param.name); });

// About 10 MB of registers, each named once.
std::string ten_megabytes_of_registers() {
  std::string text = "vfg\n";
  for (uint32_t id = 100000; text.size() < 10000000; ++id) {
    text += "reg " + std::to_string(id) + " 0x" + std::to_string(id % 100000) + "\n";
  }
  return text;
}

TEST(Console, TenMegabyteDescriptionStartsFastOrSaysWhyNot) {
  const std::string board = ten_megabytes_of_registers();
  const size_t lines = static_cast<size_t>(std::count(board.begin(), board.end(), '\n'));
  for (const bool broken : {false, true}) {
    const auto start = std::chrono::steady_clock::now();
    const ConsoleRun run = run_console("q", broken ? board + "reg 1 0x1g\n" : board);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), kStartupSeconds) << broken;
    if (broken) {
      EXPECT_EQ(run.exit_status, 255);
      EXPECT_EQ(run.output, "No Rokans found");
      EXPECT_TRUE(std::regex_match(
          run.errors, std::regex("boardsim: [^\n]*/board:" + std::to_string(lines + 1) +
                                 ": bad number '0x1g'\n")))
          << run.errors;
    } else {
      EXPECT_EQ(run.exit_status, 0);
      EXPECT_EQ(run.errors, "");
      EXPECT_EQ(run.screens().size(), 1u);
    }
  }
}

}  // namespace
}  // namespace boardstat::testing
