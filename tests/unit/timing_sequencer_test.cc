#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {
namespace {

using testing::FakeBoard;
using testing::render;
using testing::split_lines;

// A board whose entry registers (1426, 2820 to 2829) answer for the entry selected in 2819.
class TimingSequencer : public ::testing::Test {
 protected:
  void SetUp() override {
    board_.on_peek = [this](int vfg, uint32_t reg) -> std::optional<uint32_t> {
      if (reg != 1426 && (reg < 2820 || reg > 2829)) return std::nullopt;
      const auto it = entries_.find({board_.value(vfg, 2819), reg});
      return it == entries_.end() ? 0 : it->second;
    };
  }

  // Puts entry `index` in use with the given registers.
  void entry(uint32_t index, const std::vector<std::pair<uint32_t, uint32_t>>& regs) {
    entries_[{index, 1426}] = 1;
    for (const auto& [reg, value] : regs) entries_[{index, reg}] = value;
  }

  std::vector<std::string> draw_lines() { return split_lines(render(draw_timing_sequencer, 1)); }

  FakeBoard& board_ = FakeBoard::reset(1);
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> entries_;  // (index, register) -> value
};

const std::vector<std::string> kSummaryReads = {"peek 0 2812", "peek 0 2813", "peek 0 2814",
                                                "peek 0 2815", "peek 0 2816", "peek 0 2818"};
const std::vector<std::string> kEntryReads = {
    "peek 0 2822", "peek 0 2823", "peek 0 2824", "peek 0 2825", "peek 0 2827",
    "peek 0 2826", "peek 0 2821", "peek 0 2829", "peek 0 2828", "peek 0 2820"};

TEST_F(TimingSequencer, CollapsedAccessesNothing) {
  EXPECT_EQ(render(draw_timing_sequencer, 0), "TimingSequencer\n^--------------\n\n");
  EXPECT_TRUE(board_.log().empty());
}

TEST_F(TimingSequencer, NoEntryInUseWalksAllIndicesAndLeaves255Selected) {
  EXPECT_EQ(render(draw_timing_sequencer, 1),
            "TimingSequencer\n"
            "^--------------------------\n"
            "RunLevel                  : IDLE\n"
            "CT default state          : 0x0\n"
            "Trigger                   : TRIG\n"
            "\n"
            "       Index       State   Condition         Width       Flags        Next\n"
            "       -------------------------------------------------------------------\n"
            "\n");
  std::vector<std::string> expected = kSummaryReads;
  for (int i = 0; i < 256; ++i) {
    expected.push_back("poke 0 2819 " + std::to_string(i));
    expected.push_back("peek 0 1426");
  }
  EXPECT_EQ(board_.log(), expected);
  EXPECT_EQ(board_.value(0, 2819), 255u);
}

TEST_F(TimingSequencer, ExpandedPanelWholeTextAndAccessOrder) {
  board_.set(2812, 3);
  board_.set(2814, 1);
  board_.set(2816, 1);
  board_.set(2818, 2);
  entry(0, {{2822, 1}, {2827, 0}, {2826, 10000001}, {2821, 0}, {2828, 1}, {2820, 7}});
  entry(7, {{2822, 1},
            {2823, 1},
            {2824, 1},
            {2825, 1},
            {2827, 4},
            {2826, 11},
            {2829, 1},
            {2828, 1},
            {2820, 255}});
  entry(255, {{2827, 9}});
  EXPECT_EQ(render(draw_timing_sequencer, 1),
            "TimingSequencer\n"
            "^--------------------------\n"
            "RunLevel                  : ABORT_EOS\n"
            "CT default state          : 0xa\n"
            "Trigger                   : ENC_B\n"
            "\n"
            "       Index       State   Condition         Width       Flags        Next\n"
            "       -------------------------------------------------------------------\n"
            "           0           1   IMMEDIATE           1s       {TERM}           7\n"
            "           7          15        LOW          1.1us  {EOS,TERM}         255\n"
            "         255           0     Unknown     Unknown                       0\n"
            "\n");

  std::vector<std::string> expected = kSummaryReads;
  for (int i = 0; i < 256; ++i) {
    expected.push_back("poke 0 2819 " + std::to_string(i));
    expected.push_back("peek 0 1426");
    if (i == 0 || i == 7 || i == 255)
      expected.insert(expected.end(), kEntryReads.begin(), kEntryReads.end());
  }
  EXPECT_EQ(board_.log(), expected);
}

struct WidthCase {
  uint32_t count, time_base;
  const char* cell;
};

void PrintTo(const WidthCase& c, std::ostream* out) {
  *out << c.count << " counts at time base " << c.time_base;
}

class Widths : public TimingSequencer, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(Widths, FirstUnitAboveOne) {
  const WidthCase& c = GetParam();
  entry(3, {{2826, c.count}, {2821, c.time_base}, {2820, 42}});
  const std::string row = draw_lines()[8];
  const std::string cell = c.cell;
  EXPECT_EQ(row.substr(36, cell.size()), cell);
  // The flags and next cells follow the width cell at once, wherever it ends.
  EXPECT_EQ(row.substr(36 + cell.size()), "                      42");
}

INSTANTIATE_TEST_SUITE_P(
    CountsAndTimeBases, Widths,
    ::testing::Values(
        WidthCase{0, 0, "     Unknown"}, WidthCase{0, 3, "     Unknown"},
        WidthCase{1, 0, "         100ns"}, WidthCase{10, 0, "        1000ns"},
        WidthCase{11, 0, "         1.1us"}, WidthCase{25, 0, "         2.5us"},
        WidthCase{9999999, 0, "        1000ms"}, WidthCase{10000000, 0, "        1000ms"},
        WidthCase{10000001, 0, "           1s "}, WidthCase{4294967295, 0, "     429.497s "},
        WidthCase{10, 1, "           1ms"}, WidthCase{123, 1, "        12.3ms"},
        WidthCase{10000, 1, "        1000ms"}, WidthCase{10001, 1, "      1.0001s "},
        WidthCase{5, 2, "         500ms"}, WidthCase{10, 2, "        1000ms"},
        WidthCase{1, 3, "         100s "}, WidthCase{10, 3, "        1000s "},
        WidthCase{1, 7, "         100s "}, WidthCase{4294967295, 4294967295, " 4.29497e+11s "}));

TEST_F(TimingSequencer, FlagsTexts) {
  struct Case {
    uint32_t term, eos;
    const char* cell;
  };
  for (const Case& c :
       {Case{0, 0, "            "}, Case{1, 0, "      {TERM}"}, Case{0, 1, "       {EOS}"},
        Case{1, 1, "  {EOS,TERM}"}, Case{3, 0, "  {EOS,TERM}"}, Case{2, 0, "       {EOS}"},
        Case{4, 0, "            "}, Case{0, 2, "            "},
        Case{0xFFFFFFFF, 0xFFFFFFFF, "            "}}) {
    entries_.clear();
    entry(0, {{2828, c.term}, {2829, c.eos}, {2826, 1}});
    EXPECT_EQ(draw_lines()[8].substr(50, 12), c.cell) << c.term << " " << c.eos;
  }
}

TEST_F(TimingSequencer, CtStatesShiftWholeValuesUnmasked) {
  struct Case {
    uint32_t bits[4];
    const char* hex;
    const char* decimal;
  };
  for (const Case& c :
       {Case{{0, 0, 0, 0}, "0", "0"}, Case{{0, 1, 0, 1}, "a", "10"}, Case{{1, 1, 1, 1}, "f", "15"},
        Case{{0, 0, 2, 0}, "8", "8"}, Case{{0xFFFFFFFF, 0, 0, 0}, "ffffffff", "4294967295"},
        Case{{0, 0, 0, 0x80000000}, "0", "0"}, Case{{0, 0x80000001, 0, 0x20000000}, "2", "2"}}) {
    entries_.clear();
    for (uint32_t bit = 0; bit < 4; ++bit) {
      board_.set(2813 + bit, c.bits[bit]);
      entries_[{0, 2822 + bit}] = c.bits[bit];
    }
    entry(0, {{2826, 1}});
    const auto lines = draw_lines();
    EXPECT_EQ(lines[3], std::string("CT default state          : 0x") + c.hex);
    EXPECT_EQ(lines[8].substr(12, 12), std::string(12 - strlen(c.decimal), ' ') + c.decimal);
  }
}

TEST_F(TimingSequencer, EnumerationTexts) {
  struct Case {
    uint32_t run_level, trigger, condition;
    const char* run_level_text;
    const char* trigger_text;
    const char* condition_cell;
  };
  for (const Case& c :
       {Case{4, 3, 5, "ABORT_NOW", "ENC_Q", "        TOG "},
        Case{5, 4, 6, "Unknown", "Unknown", "     Unknown"},
        Case{1, 1, 1, "RUN", "ENC_A", "        RISE"},
        Case{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "Unknown", "Unknown", "     Unknown"}}) {
    entries_.clear();
    board_.set(2812, c.run_level);
    board_.set(2818, c.trigger);
    entry(0, {{2827, c.condition}, {2826, 1}});
    const auto lines = draw_lines();
    EXPECT_EQ(lines[2], std::string("RunLevel                  : ") + c.run_level_text);
    EXPECT_EQ(lines[4], std::string("Trigger                   : ") + c.trigger_text);
    EXPECT_EQ(lines[8].substr(24, 12), c.condition_cell);
  }
}

}  // namespace
}  // namespace boardstat
