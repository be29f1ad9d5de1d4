#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {
namespace {

using testing::FakeBoard;
using testing::render;
using testing::split_lines;

// (table, column, row) of a router window entry.
using Entry = std::tuple<uint32_t, uint32_t, uint32_t>;

constexpr uint32_t kCycleTable = 0, kBankTable = 1, kStartTable = 2, kStepTable = 3;

// A board whose router window answers from `entries` and records every window read.
class PixelRouter : public ::testing::Test {
 protected:
  void SetUp() override {
    board_.on_peek = [this](int vfg, uint32_t reg) -> std::optional<uint32_t> {
      if (reg != 2881) return std::nullopt;
      const Entry at{board_.value(vfg, 2880), board_.value(vfg, 2879), board_.value(vfg, 2878)};
      reads_.push_back(at);
      const auto it = entries_.find(at);
      return it == entries_.end() ? 0 : it->second;
    };
  }

  std::vector<std::string> draw_lines() { return split_lines(render(draw_pixel_router, 1)); }

  // The window reads of `table`, in order.
  std::vector<Entry> reads_of(uint32_t table) const {
    std::vector<Entry> matching;
    for (const Entry& e : reads_) {
      if (std::get<0>(e) == table) matching.push_back(e);
    }
    return matching;
  }

  static std::string cell(const std::string& line, int index) {
    return line.substr(8 + 8 * static_cast<size_t>(index), 8);
  }

  FakeBoard& board_ = FakeBoard::reset(1);
  std::map<Entry, uint32_t> entries_;
  std::vector<Entry> reads_;
};

std::vector<Entry> bank_scan() {
  std::vector<Entry> scan;
  for (uint32_t cycle = 0; cycle < 10; ++cycle) {
    for (uint32_t bank = 0; bank < 8; ++bank) scan.emplace_back(kBankTable, bank, cycle);
  }
  return scan;
}

TEST_F(PixelRouter, CollapsedScansTheBankTableAndPrintsThreeLines) {
  entries_[{kBankTable, 2, 3}] = 17;
  EXPECT_EQ(render(draw_pixel_router, 0), "PixelRouter\n-----^-----\n\n");
  std::vector<std::string> expected;
  for (uint32_t cycle = 0; cycle < 10; ++cycle) {
    for (uint32_t bank = 0; bank < 8; ++bank) {
      expected.push_back("poke 0 2880 1");
      expected.push_back("poke 0 2879 " + std::to_string(bank));
      expected.push_back("poke 0 2878 " + std::to_string(cycle));
      expected.push_back("peek 0 2881");
    }
  }
  EXPECT_EQ(board_.log(), expected);
}

TEST_F(PixelRouter, ExpandedPanelWholeText) {
  board_.set(2877, 1);
  // Bank table: taps 0, 1, 5 and 9 are in use, tap 9 only at cycle 9; 15 is not in use and
  // 28 names tap 12, which has no tap column.
  entries_[{kBankTable, 0, 0}] = 16;
  entries_[{kBankTable, 1, 0}] = 17;
  entries_[{kBankTable, 2, 0}] = 15;
  entries_[{kBankTable, 0, 1}] = 28;
  entries_[{kBankTable, 3, 1}] = 0xFFFFFFF1;
  entries_[{kBankTable, 7, 7}] = 37;
  entries_[{kBankTable, 5, 9}] = 25;
  entries_[{kStartTable, 1, 0}] = 12345678;
  entries_[{kStartTable, 2, 0}] = 99;  // tap 2 is not in use
  entries_[{kStartTable, 5, 0}] = 4294967295;
  entries_[{kStartTable, 9, 0}] = 7;
  entries_[{kStepTable, 0, 0}] = 1;
  entries_[{kStepTable, 1, 0}] = 2;
  entries_[{kStepTable, 5, 0}] = 3;
  entries_[{kStepTable, 9, 0}] = 4;
  entries_[{kCycleTable, 0, 0}] = 100;
  entries_[{kCycleTable, 1, 0}] = 101;
  entries_[{kCycleTable, 1, 1}] = 11;
  entries_[{kCycleTable, 5, 7}] = 75;
  entries_[{kCycleTable, 5, 0}] = 555;  // tap 5 is not taken at cycle 0
  entries_[{kCycleTable, 9, 0}] = 999;  // nor is tap 9

  const std::string expected =
      "PixelRouter\n"
      "-----^---------------------\n"
      "Output Pixel Depth        : 16-Bit\n"
      "\n"
      "----------------------------------------------------------------------------------------\n"
      "            Tap0    Tap1    Tap2    Tap3    Tap4    Tap5    Tap6    Tap7    Tap8    Tap9\n"
      "----------------------------------------------------------------------------------------\n"
      "Start          012345678       -       -       -4294967295       -       -       -       7\n"
      "Step           1       2       -       -       -       3       -       -       -       4\n"
      "\n"
      "----------------------------------------------------------------------------------------\n"
      "            Tap0    Tap1    Tap2    Tap3    Tap4    Tap5    Tap6    Tap7    Tap8    Tap9\n"
      "----------------------------------------------------------------------------------------\n"
      "Cycle 0      100     101       -       -       -       -       -       -       -       -\n"
      "Cycle 1        -      11       -       -       -       -       -       -       -       -\n"
      "Cycle 2        -       -       -       -       -       -       -       -       -       -\n"
      "Cycle 3        -       -       -       -       -       -       -       -       -       -\n"
      "Cycle 4        -       -       -       -       -       -       -       -       -       -\n"
      "Cycle 5        -       -       -       -       -       -       -       -       -       -\n"
      "Cycle 6        -       -       -       -       -       -       -       -       -       -\n"
      "Cycle 7        -       -       -       -       -      75       -       -       -       -\n"
      "\n"
      "------------------------------------------------------------------------\n"
      "           Bank0   Bank1   Bank2   Bank3   Bank4   Bank5   Bank6   Bank7\n"
      "------------------------------------------------------------------------\n"
      "Cycle 0        0       1       -       -       -       -       -       -\n"
      "Cycle 1       12       -       -       1       -       -       -       -\n"
      "Cycle 2        -       -       -       -       -       -       -       -\n"
      "Cycle 3        -       -       -       -       -       -       -       -\n"
      "Cycle 4        -       -       -       -       -       -       -       -\n"
      "Cycle 5        -       -       -       -       -       -       -       -\n"
      "Cycle 6        -       -       -       -       -       -       -       -\n"
      "Cycle 7        -       -       -       -       -       -       -       5\n"
      "Cycle 8        -       -       -       -       -       -       -       -\n"
      "Cycle 9        -       -       -       -       -       9       -       -\n"
      "\n"
      "\n";
  EXPECT_EQ(render(draw_pixel_router, 1), expected);

  // The scan, then only the entries of taps in use, then a fresh read of every bank entry.
  std::vector<Entry> expected_reads = bank_scan();
  for (uint32_t table : {kStartTable, kStepTable}) {
    for (uint32_t tap : {0u, 1u, 5u, 9u}) expected_reads.emplace_back(table, tap, 0);
  }
  expected_reads.insert(
      expected_reads.end(),
      {{kCycleTable, 0, 0}, {kCycleTable, 1, 0}, {kCycleTable, 1, 1}, {kCycleTable, 5, 7}});
  const std::vector<Entry> rescan = bank_scan();
  expected_reads.insert(expected_reads.end(), rescan.begin(), rescan.end());
  EXPECT_EQ(reads_, expected_reads);
  // The depth is read once, after the scan and before any tap entry.
  const auto& log = board_.log();
  EXPECT_EQ(board_.calls("peek 0 2877").size(), 1u);
  EXPECT_EQ(log[320], "peek 0 2877");
  // The window keeps the position of the last entry read.
  EXPECT_EQ(board_.value(0, 2880), 1u);
  EXPECT_EQ(board_.value(0, 2879), 7u);
  EXPECT_EQ(board_.value(0, 2878), 9u);
}

struct BankEntryCase {
  uint32_t entry;
  const char* bank_cell;
  int tap;  // the tap it marks, -1 for none
};

void PrintTo(const BankEntryCase& c, std::ostream* out) {
  *out << "bank entry " << c.entry;
}

class BankEntries : public PixelRouter, public ::testing::WithParamInterface<BankEntryCase> {};

TEST_P(BankEntries, TapShownAndMarked) {
  const BankEntryCase& c = GetParam();
  entries_[{kBankTable, 4, 2}] = c.entry;
  for (uint32_t tap = 0; tap < 10; ++tap) {
    entries_[{kStartTable, tap, 0}] = 40 + tap;
    entries_[{kCycleTable, tap, 2}] = 20 + tap;
  }
  const auto lines = draw_lines();
  ASSERT_EQ(lines.size(), 37u);
  EXPECT_EQ(cell(lines[27], 4), c.bank_cell);  // bank row of cycle 2
  for (int tap = 0; tap < 10; ++tap) {
    const bool marked = tap == c.tap;
    EXPECT_EQ(cell(lines[7], tap), marked ? "      4" + std::to_string(tap) : "       -");
    EXPECT_EQ(cell(lines[15], tap), marked ? "      2" + std::to_string(tap) : "       -");
  }
  const size_t expected_entry_reads = c.tap < 0 ? 0 : 1;
  EXPECT_EQ(reads_of(kStartTable).size(), expected_entry_reads);
  EXPECT_EQ(reads_of(kStepTable).size(), expected_entry_reads);
  EXPECT_EQ(reads_of(kCycleTable).size(), expected_entry_reads);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BankEntries,
    ::testing::Values(BankEntryCase{0, "       -", -1}, BankEntryCase{15, "       -", -1},
                      BankEntryCase{16, "       0", 0}, BankEntryCase{0x19, "       9", 9},
                      BankEntryCase{0x1A, "      10", -1}, BankEntryCase{0x1F, "      15", -1},
                      BankEntryCase{0xFFFFFFF3, "       3", 3}));

class LateCycles : public PixelRouter, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(LateCycles, TapTakenOnlyAtCycle8Or9ShowsStartAndStepButNoCycleEntry) {
  entries_[{kBankTable, 6, GetParam()}] = 0x13;  // tap 3
  entries_[{kStartTable, 3, 0}] = 5;
  entries_[{kStepTable, 3, 0}] = 6;
  for (uint32_t cycle = 0; cycle < 10; ++cycle) entries_[{kCycleTable, 3, cycle}] = 9;
  const auto lines = draw_lines();
  EXPECT_EQ(cell(lines[7], 3), "       5");
  EXPECT_EQ(cell(lines[8], 3), "       6");
  for (size_t row = 13; row < 21; ++row) EXPECT_EQ(cell(lines[row], 3), "       -") << row;
  EXPECT_TRUE(reads_of(kCycleTable).empty());
}

INSTANTIATE_TEST_SUITE_P(Cycles, LateCycles, ::testing::Values(8u, 9u));

TEST_F(PixelRouter, DepthLine) {
  for (const auto& [depth, text] : std::vector<std::pair<uint32_t, std::string>>{
           {0, "8-Bit"}, {1, "16-Bit"}, {0xFFFFFFFF, "16-Bit"}}) {
    board_.set(2877, depth);
    EXPECT_EQ(draw_lines()[2], "Output Pixel Depth        : " + text);
  }
}

}  // namespace
}  // namespace boardstat
