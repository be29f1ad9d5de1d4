// The built console end to end: keys in, screens, messages, exit status and the board's access
// trace out, on boards at and beyond their limits and with hostile keys.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <regex>

#include "tests/e2e/run_console.h"

namespace boardstat::testing {
namespace {

std::string repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

// VFGs whose probe signals run at 500 MHz against a 2 ps time reference: an expanded
// SystemProbe panel measures in microseconds and shows no "Unknown".
std::string fast_probe_board(int vfgs) {
  std::string vfg = "vfg\nreg 2655 0x2016\nsignal 3 2ps 1ps\n";
  for (int signal : {1, 8, 9, 10, 15, 16, 17, 32, 38, 41, 44, 47, 48, 49, 50}) {
    vfg += "signal " + std::to_string(signal) + " 2ns 1ns\n";
  }
  return repeat(vfg, vfgs);
}

std::string every_byte_but_quit(bool descending) {
  std::string keys;
  for (int i = 0; i < 256; ++i) {
    const int byte = descending ? 255 - i : i;
    if (byte != 'q' && byte != 'Q') keys += static_cast<char>(byte);
  }
  return keys;
}

// A mebibyte of random bytes whose only q is the 501st.
std::string random_megabyte() {
  std::mt19937 random(20240607);
  std::string keys(1 << 20, '\0');
  for (char& key : keys) {
    key = static_cast<char>(random() & 0xFF);
    if (key == 'q' || key == 'Q') key = 'x';
  }
  keys[500] = 'q';
  return keys;
}

// About 10 MB of registers, each named once.
const std::string& ten_megabytes() {
  static const std::string text = [] {
    std::string text = "vfg\n";
    for (uint32_t id = 100000; text.size() < 10000000; ++id) {
      text += "reg " + std::to_string(id) + " 0x" + std::to_string(id % 100000) + "\n";
    }
    return text;
  }();
  return text;
}
const auto kTenMegabyteLines = std::count(ten_megabytes().begin(), ten_megabytes().end(), '\n');

// Arrow, Home, End, Page and function keys byte by byte; F2 (ESC O Q) ends in Q, which quits.
constexpr char kEscapeKeys[] =
    "\033[A\033[B\033[C\033[D\033[H\033[F\033[5~\033[6~\033[2~\033[3~\033OP\033OR\033OS"
    "\033[15~\033[17~\033[24~\033[1;5A\033O";

struct Case {
  const char* name;
  std::string keys;
  std::string board;   // "" the built-in board, "/..." a file
  std::string output;  // the start-up failure's message; "" when the console starts
  std::string errors;  // a pattern
  size_t screens = 0;  // when it starts: the screens, the highest VFG and the last one shown
  int highest_vfg = 0;
  int last_vfg = -1;  // -1: any
};

#if defined(__SANITIZE_ADDRESS__)
constexpr double kStartupSeconds = 20.0;
#else
constexpr double kStartupSeconds = 2.0;
#endif

class Console : public ::testing::TestWithParam<Case> {};

// Every screen is whole and shows a VFG of the table at most one step from the one before;
// discovery opens each VFG once and never asks for one the table of 32 cannot hold.
TEST_P(Console, EndsAsItShould) {
  const Case& c = GetParam();
  const auto start = std::chrono::steady_clock::now();
  const ConsoleRun run = run_console(c.keys, c.board);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  // Start-up takes its time under the sanitizers, never seconds in a normal build.
  if (c.screens <= 41) {
    EXPECT_LT(took.count(), kStartupSeconds);
  }
  EXPECT_TRUE(std::regex_match(run.errors, std::regex(c.errors))) << run.errors;
  if (!c.output.empty()) {
    EXPECT_EQ(run.exit_status, 255);
    EXPECT_EQ(run.output, c.output);
    return;
  }
  EXPECT_EQ(run.exit_status, 0);
  const auto screens = run.screens();
  ASSERT_EQ(screens.size(), c.screens);
  int previous = 0;
  for (size_t i = 0; i < screens.size(); ++i) {
    int shown = -1;
    int highest = -1;
    const auto at = screens[i].find("| VFG (");
    ASSERT_NE(at, std::string::npos) << i;
    ASSERT_EQ(std::sscanf(screens[i].c_str() + at, "| VFG (%d) of (%d)", &shown, &highest), 2);
    ASSERT_EQ(highest, c.highest_vfg) << i;
    ASSERT_TRUE(shown >= 0 && shown <= highest && std::abs(shown - previous) <= 1) << i;
    previous = shown;
    ASSERT_NE(screens[i].find("\nSystemProbe\n--------^"), std::string::npos) << i;
    ASSERT_EQ(screens[i].find("Unknown"), std::string::npos) << i;
  }
  if (c.last_vfg >= 0) {
    EXPECT_EQ(previous, c.last_vfg);
  }
  const auto opens = std::count_if(run.trace.begin(), run.trace.end(), [](const std::string& line) {
    return line.rfind("open", 0) == 0;
  });
  EXPECT_EQ(opens, c.highest_vfg + 1);
  EXPECT_EQ(std::count(run.trace.begin(), run.trace.end(), "find 208 32 -> 0"), 0);
}

const std::string kFile = "boardsim: [^\n]*/board:";
const std::string k40 = repeat("+", 40);

INSTANTIATE_TEST_SUITE_P(
    Runs, Console,
    ::testing::Values(
        Case{"NoVfg", "lq", "# an empty board system\n", "No Rokans found", ""},
        Case{"FirstFailsToOpen", "lq", "vfg open-fails\n", "Could not VFG = 0\n", ""},
        Case{"SecondFailsToOpen", "lq", "vfg\nvfg open-fails\nvfg\n", "Could not VFG = 1\n", ""},
        Case{"LastFailsToOpen", "lq", "vfg\nvfg\nvfg open-fails\n", "Could not VFG = 2\n", ""},
        Case{"ThirtySecondFailsToOpen", "lq", repeat("vfg\n", 31) + "vfg open-fails\n",
             "Could not VFG = 31\n", ""},
        Case{"MalformedLine", "lq", "vfg\nreg 2854 1\nreg 2854\n", "No Rokans found",
             kFile + "3: [^\n]+\n"},
        Case{"StatementBeforeVfg", "lq", "reg 1 1\nvfg\n", "No Rokans found",
             kFile + "1: [^\n]+\n"},
        Case{"MissingFile", "q", "/nonexistent/board", "No Rokans found",
             "boardsim: /nonexistent/board: [^\n]+\n"},
        Case{"TenMegabytesBrokenOnTheLastLine", "q", ten_megabytes() + "reg 1 0x1g\n",
             "No Rokans found",
             kFile + std::to_string(kTenMegabyteLines + 1) + ": bad number '0x1g'\n"},
        Case{"TenMegabytes", "q", ten_megabytes(), "", "", 1, 0, 0},
        Case{"BuiltInBoardQuits", "lq", "", "", "", 2, 2, 0},
        Case{"BuiltInBoardEndOfInput", "l", "", "", "", 2, 2, 0},
        Case{"OneVfg", k40, "vfg\n", "", "", 41, 0, 0},
        Case{"ThirtyTwoVfgs", k40, repeat("vfg\n", 32), "", "", 41, 31, 31},
        Case{"ThirtyThreeVfgs", k40, repeat("vfg\n", 32) + "vfg open-fails\n", "", "", 41, 31, 31},
        Case{"ThousandVfgs", k40, repeat("vfg\nreg 2854 7\n", 1000), "", "", 41, 31, 31},
        // + - = _ come in this order going up (last VFG 0) and the other way going down.
        Case{"EveryByteAscending", every_byte_but_quit(false), fast_probe_board(3), "", "", 255, 2,
             0},
        Case{"EveryByteDescending", every_byte_but_quit(true), fast_probe_board(3), "", "", 255, 2,
             1},
        Case{"EscapeSequences", std::string(kEscapeKeys) + "Qlll", fast_probe_board(3), "", "",
             sizeof kEscapeKeys, 2, 0},
        Case{"PlusFarBeyondTheLast", repeat("+=", 150), fast_probe_board(3), "", "", 301, 2, 2},
        Case{"MinusFarBelowZero", "++" + repeat("-_", 150), fast_probe_board(3), "", "", 303, 2, 0},
        Case{"RandomMegabyteQuitsAtItsQ", random_megabyte(), fast_probe_board(3), "", "", 501, 2,
             -1},
        // Keys that come while the panel measures wait their turn: each one acts.
        Case{"KeysWhileSystemProbeMeasures", "ol+a-o", fast_probe_board(3), "", "", 7, 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace boardstat::testing
