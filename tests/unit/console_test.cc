#include "console/console.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "tests/support/fake_board.h"

namespace boardstat {
namespace {

using testing::FakeBoard;

// Hands out scripted keys, then the end of input; counts the clears.
class ScriptedTerminal : public Terminal {
 public:
  explicit ScriptedTerminal(std::string keys) : keys_(keys.begin(), keys.end()) {}
  void clear_screen() override { ++clears; }
  int read_key() override {
    if (keys_.empty()) return kEndOfInput;
    const int key = static_cast<unsigned char>(keys_.front());
    keys_.pop_front();
    return key;
  }
  int clears = 0;

 private:
  std::deque<char> keys_;
};

ConsoleState opened_console(int vfgs) {
  FakeBoard::reset(vfgs);
  ConsoleState state;
  EXPECT_TRUE(discover_vfgs(state));
  return state;
}

struct StartupCase {
  const char* name;
  int vfgs;
  int open_fails_at;
  bool started;
  const char* message;
  int32_t opened;
};

class Startup : public ::testing::TestWithParam<StartupCase> {};

TEST_P(Startup, OpensEveryVfgOrSaysWhyNot) {
  const StartupCase& c = GetParam();
  FakeBoard::reset(c.vfgs, c.open_fails_at);
  ConsoleState state;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(discover_vfgs(state), c.started);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.message);
  EXPECT_EQ(state.vfg_count, c.opened);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Startup,
    ::testing::Values(StartupCase{"NoVfg", 0, -1, false, "No Rokans found", 0},
                      StartupCase{"OneVfg", 1, -1, true, "", 1},
                      StartupCase{"FirstFailsToOpen", 3, 0, false, "Could not VFG = 0\n", 0},
                      StartupCase{"SecondFailsToOpen", 3, 1, false, "Could not VFG = 1\n", 1},
                      StartupCase{"LastFailsToOpen", 3, 2, false, "Could not VFG = 2\n", 2},
                      StartupCase{"ThirtyTwo", 32, -1, true, "", 32},
                      StartupCase{"ThirtyThirdNeverOpened", 40, -1, true, "", 32}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, AsksForFamily208AndStopsAtTheTableSize) {
  FakeBoard& board = FakeBoard::reset(33);
  ConsoleState state;
  ASSERT_TRUE(discover_vfgs(state));
  EXPECT_EQ(board.log().front(), "find 208 0");
  EXPECT_EQ(board.calls("open").size(), 32u);
  EXPECT_EQ(board.calls("open").back(), "open 31");
  EXPECT_TRUE(board.calls("find 208 32").empty());
}

struct KeysCase {
  const char* name;
  int vfgs;
  std::string keys;
  int32_t current_vfg;
  std::array<int, kPanelCount> expanded;
};

class Keys : public ::testing::TestWithParam<KeysCase> {};

TEST_P(Keys, ChangeVfgAndPanelsAsTheKeyTableSays) {
  const KeysCase& c = GetParam();
  ConsoleState state = opened_console(c.vfgs);
  for (char key : c.keys)
    EXPECT_EQ(handle_key(state, static_cast<unsigned char>(key)), KeyAction::kRedraw);
  EXPECT_EQ(state.current_vfg, c.current_vfg);
  EXPECT_EQ(state.expanded, c.expanded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Keys,
    ::testing::Values(
        KeysCase{"EachLetterTogglesItsPanel", 1, "lrabptio", 0, {1, 1, 1, 1, 1, 1, 1, 1}},
        KeysCase{"UpperCaseToo", 1, "LRABPTIO", 0, {1, 1, 1, 1, 1, 1, 1, 1}},
        KeysCase{"TwiceRestores", 1, "lLrRaAbBpPtTiIoO", 0, {0, 0, 0, 0, 0, 0, 0, 0}},
        KeysCase{"OneVfgPlusAndMinusStay", 1, "+=-_", 0, {}},
        KeysCase{"PlusStopsAtLast", 3, "+++=+", 2, {}},
        KeysCase{"MinusStopsAtZero", 3, "++--_-", 0, {}},
        KeysCase{"VfgChangeKeepsPanels", 2, "a+t", 1, {0, 0, 1, 0, 0, 1, 0, 0}},
        // An arrow key arrives as ESC [ A: three keys, and the A toggles its panel.
        KeysCase{"ArrowKeyIsThreeKeys", 2, "\033[A", 0, {0, 0, 1, 0, 0, 0, 0, 0}},
        KeysCase{"OtherKeysOnlyRedraw", 2, "sS xyz\r\n\t0189C", 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Keys, MatchedOnTheLowEightBits) {
  ConsoleState state = opened_console(2);
  handle_key(state, 0x100 | 'l');
  handle_key(state, 0xE000 | '+');
  EXPECT_EQ(state.expanded[0], 1);
  EXPECT_EQ(state.current_vfg, 1);
  EXPECT_EQ(handle_key(state, 0x4200 | 'q'), KeyAction::kQuit);
}

TEST(Keys, QuitInEitherCase) {
  ConsoleState state = opened_console(1);
  EXPECT_EQ(handle_key(state, 'q'), KeyAction::kQuit);
  EXPECT_EQ(handle_key(state, 'Q'), KeyAction::kQuit);
}

TEST(Keys, LowerCaseCClearsEveryVfgFromZeroUpperCaseOnlyRedraws) {
  ConsoleState state = opened_console(3);
  state.current_vfg = 2;
  state.expanded[3] = 1;
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
  EXPECT_EQ(state.expanded[3], 1);
}

TEST(Loop, RedrawsOncePerKeyAndEndsAtQOrEndOfInput) {
  for (const auto& [keys, screens] : std::vector<std::pair<std::string, int>>{
           {"", 1}, {"q", 1}, {"l", 2}, {"lq", 2}, {"lqr", 2}, {"\033[Aq", 4}}) {
    ConsoleState state = opened_console(1);
    ScriptedTerminal terminal(keys);
    std::ostringstream out;
    EXPECT_EQ(run_console(state, terminal, out), 0) << keys;
    EXPECT_EQ(terminal.clears, screens) << keys;
  }
}

TEST(Loop, AllCollapsedScreenIsBannerAndEightFrames) {
  ConsoleState state = opened_console(1);
  std::ostringstream out;
  draw_screen(out, state);
  const std::string banner_end =
      "+--------------------------------------------------------------------+\n\n";
  const std::string text = out.str();
  const auto panels = text.substr(text.rfind(banner_end) + banner_end.size());
  EXPECT_EQ(panels,
            "CameraLink     \n------^--------\n\n"
            "PixelRouter\n-----^-----\n\n"
            "AcquistionEngine\n^---------------\n\n"
            "BufferManager\n^------------\n\n"
            "PacketEngine\n^-----------\n\n"
            "TimingSequencer\n^--------------\n\n"
            "IO\n^-\n\n"
            "SystemProbe\n--------^--\n\n");
}

}  // namespace
}  // namespace boardstat
