#include "console/console.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/fake_board.h"

namespace boardstat {
namespace {

using testing::FakeBoard;

struct StartupCase {
  int vfgs;
  int open_fails_at;
  const char* message;
  int32_t opened;
};

// Discovery asks family 208 for VFG 0, 1, 2 ... and never for one the table of 32 cannot hold.
TEST(Startup, OpensEveryVfgOrSaysWhyNot) {
  for (const StartupCase& c : std::vector<StartupCase>{{0, -1, "No Rokans found", 0},
                                                       {1, -1, "", 1},
                                                       {3, 0, "Could not VFG = 0\n", 0},
                                                       {3, 1, "Could not VFG = 1\n", 1},
                                                       {3, 2, "Could not VFG = 2\n", 2},
                                                       {32, 31, "Could not VFG = 31\n", 31},
                                                       {32, -1, "", 32},
                                                       {40, 32, "", 32}}) {
    SCOPED_TRACE(c.vfgs * 100 + c.open_fails_at);
    FakeBoard& board = FakeBoard::reset(c.vfgs, c.open_fails_at);
    ConsoleState state;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(discover_vfgs(state), *c.message == '\0');
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.message);
    EXPECT_EQ(state.vfg_count, c.opened);
    EXPECT_EQ(board.log().front(), "find 208 0");
    EXPECT_TRUE(board.calls("find 208 32").empty());
  }
}

ConsoleState opened_console(int vfgs) {
  FakeBoard::reset(vfgs);
  ConsoleState state;
  EXPECT_TRUE(discover_vfgs(state));
  return state;
}

struct KeysCase {
  int vfgs;
  std::string keys;
  int32_t current_vfg;
  std::array<int, kPanelCount> expanded;
};

// Each key is given once as the byte and once with higher bits set: only the low 8 count.
TEST(Keys, ChangeVfgAndPanelsAsTheKeyTableSays) {
  for (const KeysCase& c : std::vector<KeysCase>{
           {1, "lrabptio", 0, {1, 1, 1, 1, 1, 1, 1, 1}},
           {1, "LRABPTIO", 0, {1, 1, 1, 1, 1, 1, 1, 1}},
           {1, "lLrRaAbBpPtTiIoO", 0, {}},
           {1, "+=-_", 0, {}},
           {3, "+++=", 2, {}},
           {3, "++--_-", 0, {}},
           {2, "a+t", 1, {0, 0, 1, 0, 0, 1, 0, 0}},
           {2, "\033[A", 0, {0, 0, 1, 0, 0, 0, 0, 0}},  // an arrow key: its A toggles a panel
           {2, "sS xyz\r\n\t0189C", 0, {}}}) {
    for (const int high : {0, 0x4200}) {
      SCOPED_TRACE(c.keys + " " + std::to_string(high));
      ConsoleState state = opened_console(c.vfgs);
      for (char key : c.keys) {
        EXPECT_EQ(handle_key(state, high | static_cast<unsigned char>(key)), KeyAction::kRedraw);
      }
      EXPECT_EQ(state.current_vfg, c.current_vfg);
      EXPECT_EQ(state.expanded, c.expanded);
      EXPECT_EQ(handle_key(state, high | 'q'), KeyAction::kQuit);
      EXPECT_EQ(handle_key(state, high | 'Q'), KeyAction::kQuit);
    }
  }
}

TEST(Keys, LowerCaseCClearsEveryVfgFromZeroUpperCaseOnlyRedraws) {
  ConsoleState state = opened_console(3);
  state.current_vfg = 2;
  FakeBoard& board = FakeBoard::get();
  board.clear_log();
  handle_key(state, 'C');
  EXPECT_TRUE(board.log().empty());
  handle_key(state, 'c');
  ASSERT_EQ(board.calls("poke").size(), 3u * 49u);
  EXPECT_EQ(board.log()[0], "poke 0 2191 0");
  EXPECT_EQ(board.log()[49], "poke 1 2191 0");
  EXPECT_EQ(board.log()[98], "poke 2 2191 0");
  EXPECT_EQ(state.current_vfg, 2);
}

// Hands out scripted keys, then the end of input; counts the clears.
struct ScriptedTerminal : Terminal {
  explicit ScriptedTerminal(std::string k) : keys(std::move(k)) {}
  void clear_screen() override { ++clears; }
  int read_key() override {
    return at < keys.size() ? static_cast<unsigned char>(keys[at++]) : kEndOfInput;
  }
  std::string keys;
  size_t at = 0;
  int clears = 0;
};

TEST(Loop, RedrawsOncePerKeyAndEndsAtQOrEndOfInput) {
  for (const auto& [keys, screens] : std::vector<std::pair<std::string, int>>{
           {"", 1}, {"q", 1}, {"l", 2}, {"lqr", 2}, {"\033[AQ", 4}}) {
    ConsoleState state = opened_console(1);
    ScriptedTerminal terminal(keys);
    std::ostringstream out;
    EXPECT_EQ(run_console(state, terminal, out), 0) << keys;
    EXPECT_EQ(terminal.clears, screens) << keys;
  }
}

}  // namespace
}  // namespace boardstat
