#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "panels/panels.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// The width is shown in the first of s, ms, us, ns that gives more than 1 (exactly 1 goes down
// a unit), "Unknown" when even ns do not; a count is 100 ns, 100 us, 100 ms or (any other time
// base) 100 s. The CT bits are whole register values shifted into place, unmasked; the flags
// are TERM | EOS << 1 of whole values; out-of-table values read "Unknown" (the flags nothing).
TEST(TimingSequencer, SummaryAndRowsAtTheEdgesAndAccessOrder) {
  // Entry registers (1426, 2820 to 2829) answer for the entry selected in 2819.
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> entries;  // (index, register) -> value
  FakeBoard& board = FakeBoard::reset(1);
  board.on_peek = [&](int vfg, uint32_t reg) -> std::optional<uint32_t> {
    if (reg != 1426 && (reg < 2820 || reg > 2829)) return std::nullopt;
    return entries[{board.value(vfg, 2819), reg}];
  };
  const auto entry = [&](uint32_t index, std::vector<std::pair<uint32_t, uint32_t>> regs) {
    entries[{index, 1426}] = 1;
    for (const auto& [reg, value] : regs) entries[{index, reg}] = value;
  };
  board.set(2812, 5);
  board.set(2813, 0x80000001);
  board.set(2815, 2);
  board.set(2816, 0x80000000);
  board.set(2818, 4);
  const uint32_t widths[][2] = {
      {0, 0},     {10, 0},    {11, 0}, {10000000, 0}, {10000001, 0},
      {10000, 1}, {10001, 1}, {10, 2}, {1, 3},        {4294967295, 4294967295}};
  for (uint32_t i = 0; i < 10; ++i) entry(i, {{2826, widths[i][0]}, {2821, widths[i][1]}});
  entry(20, {{2826, 1}, {2827, 4}, {2828, 3}, {2822, 0xFFFFFFFF}, {2825, 0x80000000}});
  entry(21, {{2826, 1}, {2827, 5}, {2829, 2}, {2823, 0x80000001}, {2825, 0x20000000}});
  entry(255, {{2826, 1}, {2827, 6}, {2828, 2}, {2824, 1}, {2820, 0xFFFFFFFF}});
  render(draw_timing_sequencer, 0);
  EXPECT_TRUE(board.log().empty());
  const std::string text = render(draw_timing_sequencer, 1);
  EXPECT_EQ(text.substr(text.find("RunLevel")),
            "RunLevel                  : Unknown\n"
            "CT default state          : 0x80000009\n"
            "Trigger                   : Unknown\n"
            "\n"
            "       Index       State   Condition         Width       Flags        Next\n"
            "       -------------------------------------------------------------------\n"
            "           0           0   IMMEDIATE     Unknown                       0\n"
            "           1           0   IMMEDIATE        1000ns                       0\n"
            "           2           0   IMMEDIATE         1.1us                       0\n"
            "           3           0   IMMEDIATE        1000ms                       0\n"
            "           4           0   IMMEDIATE           1s                        0\n"
            "           5           0   IMMEDIATE        1000ms                       0\n"
            "           6           0   IMMEDIATE      1.0001s                        0\n"
            "           7           0   IMMEDIATE        1000ms                       0\n"
            "           8           0   IMMEDIATE         100s                        0\n"
            "           9           0   IMMEDIATE 4.29497e+11s                        0\n"
            "          20  4294967295        LOW          100ns  {EOS,TERM}           0\n"
            "          21           2        TOG          100ns                       0\n"
            "         255           4     Unknown         100ns       {EOS}  4294967295\n"
            "\n");
  // The summary, then each index selected and its in-use flag read; an entry in use is read
  // in the board's fixed order right after its flag.
  std::vector<std::string> expected;
  for (uint32_t reg : {2812, 2813, 2814, 2815, 2816, 2818}) {
    expected.push_back("peek 0 " + std::to_string(reg));
  }
  for (uint32_t index = 0; index < 256; ++index) {
    expected.insert(expected.end(), {"poke 0 2819 " + std::to_string(index), "peek 0 1426"});
    if (!entries[{index, 1426}]) continue;
    for (uint32_t reg : {2822, 2823, 2824, 2825, 2827, 2826, 2821, 2829, 2828, 2820}) {
      expected.push_back("peek 0 " + std::to_string(reg));
    }
  }
  EXPECT_EQ(board.log(), expected);
}

}  // namespace
}  // namespace boardstat::testing
