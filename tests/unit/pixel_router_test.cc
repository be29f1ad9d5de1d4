#include <gtest/gtest.h>

#include <map>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

std::string entry(uint32_t table, uint32_t column, uint32_t row) {
  return std::to_string(table) + "/" + std::to_string(column) + "/" + std::to_string(row);
}

// Bank entries below 16 are unused even when their low bits name a tap; 16 takes tap 0; taps
// 10 to 15 show but have no column to mark; bits above the tap do not matter; a tap taken only
// at cycle 8 or 9 has start and step entries but no cycle entry. An 8-digit value fills its
// cell; the depth tests the whole register. Collapsed, the scan still runs (it decides which
// taps are read), but nothing else does.
TEST(PixelRouter, BankEntriesDecideWhatIsShownAndRead) {
  // The router window answers from `entries` ("TABLE/COLUMN/ROW", as the selects stand when the
  // data register is read); `reads` records that entry for a window read, the ID for others.
  std::map<std::string, uint32_t> entries = {
      {"1/0/0", 16},   {"1/1/0", 7},        {"1/2/0", 0x1A}, {"1/3/1", 0xFFFFFFF3}, {"1/6/8", 0x15},
      {"1/7/9", 0x19}, {"2/0/0", 12345678}, {"2/3/0", 3},    {"2/5/0", 5},          {"2/9/0", 9},
      {"2/7/0", 77},   {"0/0/0", 100},      {"0/3/1", 31},   {"0/0/1", 555}};
  std::vector<std::string> reads, expected;
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2877, 0x80000000);
  board.on_peek = [&](int vfg, uint32_t reg) -> std::optional<uint32_t> {
    if (reg != 2881) {
      reads.push_back(std::to_string(reg));
      return std::nullopt;
    }
    reads.push_back(entry(board.value(vfg, 2880), board.value(vfg, 2879), board.value(vfg, 2878)));
    return entries[reads.back()];
  };
  const auto expect_scan = [&expected] {  // the bank table (1), cycle by cycle, bank by bank
    for (uint32_t cycle = 0; cycle < 10; ++cycle) {
      for (uint32_t bank = 0; bank < 8; ++bank) expected.push_back(entry(1, bank, cycle));
    }
  };
  render(draw_pixel_router, 0);
  const auto lines = split_lines(render(draw_pixel_router, 1));
  std::string shown;
  for (size_t line : {2, 7, 13, 14, 25, 26, 33, 34}) shown += lines.at(line) + "\n";
  EXPECT_EQ(
      shown,
      "Output Pixel Depth        : 16-Bit\n"
      "Start   12345678       -       -       3       -       5       -       -       -       9\n"
      "Cycle 0      100       -       -       -       -       -       -       -       -       -\n"
      "Cycle 1        -       -       -      31       -       -       -       -       -       -\n"
      "Cycle 0        0       -      10       -       -       -       -       -\n"
      "Cycle 1        -       -       -       3       -       -       -       -\n"
      "Cycle 8        -       -       -       -       -       -       5       -\n"
      "Cycle 9        -       -       -       -       -       -       -       9\n");
  // Collapsed: the scan. Expanded: the scan, the depth, the start (2) and step (3) entries of
  // taps in use, the cycle (0) entries of taps taken at that cycle, then every bank entry again
  // for its table. Each window read is three select writes and the data read.
  expect_scan();
  expect_scan();
  expected.insert(expected.end(), {"2877", "2/0/0", "2/3/0", "2/5/0", "2/9/0", "3/0/0", "3/3/0",
                                   "3/5/0", "3/9/0", "0/0/0", "0/3/1"});
  expect_scan();
  EXPECT_EQ(reads, expected);
  EXPECT_EQ(board.log().size(), 4 * expected.size() - 3);
}

}  // namespace
}  // namespace boardstat::testing
