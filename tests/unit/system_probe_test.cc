#include <gtest/gtest.h>

#include <algorithm>
#include <iomanip>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "board/rate_probe.h"
#include "panels/panels.h"
#include "panels/system_probe.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat {

namespace {

using testing::FakeBoard;
using testing::render;
using testing::split_lines;

// One line of the expanded panel: what the probe is asked, a count the board gives, and what
// the line then shows after the label and " : ".
struct ProbeLine {
  const char* label;
  uint32_t start, start_edge, stop, stop_edge, count, count_edge, stop_count, mode;
  float limit;
  uint32_t raw;
  const char* shown;
};

constexpr ProbeLine kLines[] = {
    {"CL CLock", 1, 0, 3, 0, 32, 0, 1000000, 1, 1.0f, 8500000, "85.00      MHz"},
    {"Frame Rate", 1, 0, 3, 0, 38, 0, 1000000, 1, 1.0f, 3, "30.00      Frames/sec"},
    {"Line Rate", 1, 0, 3, 0, 41, 0, 1000000, 1, 1.0f, 0, "0.00       Lines/sec"},
    {"Trigger Rate", 1, 0, 3, 0, 8, 0, 1000000, 1, 1.0f, 1, "10.00      Triggers/sec"},
    {"EncoderA Rate", 1, 0, 3, 0, 9, 0, 1000000, 1, 1.0f, 12345, "123450.00  EncA/sec"},
    {"EncoderB Rate", 1, 0, 3, 0, 10, 0, 1000000, 1, 1.0f, 0xFFFFFFFF, "42949672960.00 EncB/sec"},
    {"CC1 Rate", 1, 0, 3, 0, 47, 0, 1000000, 1, 1.0f, 7, "70.00      CC1/sec"},
    {"CC1 Width", 47, 0, 47, 1, 3, 0, 1, 0, 0.25f, 250, "25.00      us"},
    {"CC2 Rate", 1, 0, 3, 0, 48, 0, 1000000, 1, 1.0f, 100, "1000.00    CC2/sec"},
    {"CC2 Width", 48, 0, 48, 1, 3, 0, 1, 0, 0.25f, 1, "0.10       us"},
    {"CC3 Rate", 1, 0, 3, 0, 49, 0, 1000000, 1, 1.0f, 2, "20.00      CC3/sec"},
    {"CC3 Width", 49, 0, 49, 1, 3, 0, 1, 0, 0.25f, 10000000, "1000000.00 us"},
    {"CC4 Rate", 1, 0, 3, 0, 50, 0, 1000000, 1, 1.0f, 1000, "10000.00   CC4/sec"},
    {"CC4 Width", 50, 0, 50, 1, 3, 0, 1, 0, 0.25f, 0, "0.00       us"},
    {"PCIe Bandwidth", 1, 0, 3, 0, 16, 0, 1000000, 1, 1.0f, 625000, "100.00     MBytes/sec"},
    {"PCIe Drop Bandwidth", 1, 0, 3, 0, 17, 0, 1000000, 1, 1.0f, 1, "0.00       MBytes/sec"},
    {"Interrupt Rate", 1, 0, 3, 0, 15, 0, 1000000, 1, 1.0f, 5, "50.00      Interrupts/sec"},
    {"Interrupt Service Time", 15, 0, 15, 1, 3, 0, 1, 0, 1.0f, 123, "12.30      us"},
    {"Lines per Frame", 38, 0, 38, 1, 41, 0, 1, 0, 1.0f, 1080, "1080       Lines"},
    {"Lines between Frames", 38, 1, 38, 0, 41, 0, 1, 0, 1.0f, 16777217, "16777216   Lines"},
    {"Clocks between Frames", 38, 1, 38, 0, 32, 2, 1, 0, 1.0f, 0x80000000, "2147483648 Clocks"},
    {"Clocks to first Line", 38, 0, 41, 0, 32, 2, 1, 0, 1.0f, 0xFFFFFFFF, "4294967296 Clocks"},
    {"Clocks per Line", 41, 0, 41, 1, 32, 0, 1, 0, 1.0f, 0x7FFFFFFF, "2147483648 Clocks"},
    {"DVAL per Line", 41, 0, 41, 1, 44, 2, 1, 0, 1.0f, 0, "0          DVAL"},
    {"Clocks between Lines", 41, 1, 41, 0, 32, 2, 1, 0, 1.0f, 2048, "2048       Clocks"},
    {"CC1 to Frame Latency", 47, 0, 38, 0, 3, 0, 1, 0, 1.0f, 37, "3.70       us"},
};
constexpr size_t kLineCount = sizeof kLines / sizeof kLines[0];

std::string label_of(const char* label) {
  std::string padded(label);
  padded.resize(25, ' ');
  return padded + " : ";
}

// The measurement under way: one per start write (2908 with 1).
size_t measurement_index(const FakeBoard& board) {
  return board.calls("poke 0 2908").size() - 1;
}

// Board answers: never busy, and the count of `counts` for the measurement under way.
void answer_counts(FakeBoard& board, std::vector<uint32_t> counts) {
  board.on_peek = [&board, counts = std::move(counts)](int,
                                                       uint32_t reg) -> std::optional<uint32_t> {
    if (reg == 2911) return 0u;
    if (reg == 2912) return counts.at(measurement_index(board));
    return std::nullopt;
  };
}

TEST(SystemProbe, ExpandedPanelShowsEveryMeasurementInOrder) {
  FakeBoard& board = FakeBoard::reset(1);
  std::vector<uint32_t> counts;
  std::vector<std::string> expected_log;
  for (const ProbeLine& l : kLines) {
    counts.push_back(l.raw);
    const auto poke = [&](uint32_t reg, uint32_t value) {
      expected_log.push_back("poke 0 " + std::to_string(reg) + " " + std::to_string(value));
    };
    poke(2909, 1);
    poke(2913, l.stop_count);
    poke(2904, 1);
    poke(2905, 0);
    poke(2902, l.start);
    poke(2903, l.start_edge);
    poke(2900, l.stop);
    poke(2901, l.stop_edge);
    poke(2898, l.count);
    poke(2899, l.count_edge);
    poke(2906, l.mode);
    poke(2908, 1);
    expected_log.push_back("peek 0 2911");
    expected_log.push_back("peek 0 2912");
  }
  answer_counts(board, counts);

  const std::string text = render(draw_system_probe, 1);
  const auto lines = split_lines(text);
  ASSERT_EQ(lines.size(), kLineCount + 4);
  EXPECT_EQ(lines[0], "SystemProbe");
  EXPECT_EQ(lines[1], "--------^------------------");
  for (size_t i = 0; i < kLineCount; ++i) {
    EXPECT_EQ(lines[i + 2], label_of(kLines[i].label) + kLines[i].shown) << i;
  }
  EXPECT_EQ(text.substr(text.size() - 3), "\n\n\n");
  EXPECT_EQ(board.log(), expected_log);
}

// A clock that moves 251 ms on every reading.
uint32_t g_now = 0;
uint32_t stepping_clock() {
  return g_now += 251;
}

TEST(SystemProbe, TimedOutLinesShowUnknownAndWaitTheirOwnLimit) {
  FakeBoard& board = FakeBoard::reset(1);
  board.set(2911, 1);  // never finishes
  board.set(2912, 42);
  g_now = 0xFFFFFE00u;
  const std::string text =
      render([](std::ostream& out, KvHandle vfg,
                int expanded) { draw_system_probe(out, vfg, expanded, stepping_clock); },
             1);
  const auto lines = split_lines(text);
  ASSERT_EQ(lines.size(), kLineCount + 4);
  EXPECT_TRUE(board.calls("peek 0 2912").empty());

  // Busy reads per measurement: at 251 ms a step, a 0.25 s limit allows the first read only,
  // a 1.0 s limit the first and three re-reads.
  std::vector<size_t> busy_reads;
  for (const std::string& call : board.log()) {
    if (call == "poke 0 2908 1") busy_reads.push_back(0);
    if (call == "peek 0 2911") ++busy_reads.back();
  }
  ASSERT_EQ(busy_reads.size(), kLineCount);
  for (size_t i = 0; i < kLineCount; ++i) {
    EXPECT_EQ(lines[i + 2], label_of(kLines[i].label) + "Unknown   ") << i;
    EXPECT_EQ(busy_reads[i], kLines[i].limit == 0.25f ? 1u : 4u) << kLines[i].label;
  }
}

struct ConversionCase {
  size_t line;
  uint32_t raw;
  const char* shown;
};

void PrintTo(const ConversionCase& c, std::ostream* out) {
  *out << kLines[c.line].label << " count " << c.raw;
}

class SystemProbeConversion : public ::testing::TestWithParam<ConversionCase> {};

// Counts whose shown value differs when a step is taken in double precision, by another
// single-precision constant or without the narrowing back to single precision.
TEST_P(SystemProbeConversion, ConvertsInSinglePrecision) {
  const ConversionCase& c = GetParam();
  FakeBoard& board = FakeBoard::reset(1);
  answer_counts(board, std::vector<uint32_t>(kLineCount, c.raw));
  const auto lines = split_lines(render(draw_system_probe, 1));
  ASSERT_EQ(lines.size(), kLineCount + 4);
  EXPECT_EQ(lines[c.line + 2], label_of(kLines[c.line].label) + c.shown);
}

INSTANTIATE_TEST_SUITE_P(Counts, SystemProbeConversion,
                         ::testing::Values(ConversionCase{0, 4289597818u, "42895.97   MHz"},
                                           ConversionCase{1, 131383004u,
                                                          "1313830016.00 Frames/sec"},
                                           ConversionCase{14, 617437914u, "98790.05   MBytes/sec"},
                                           ConversionCase{7, 242886303u, "24288632.00 us"},
                                           ConversionCase{25, 242886303u, "24288632.00 us"},
                                           ConversionCase{18, 16777219u, "16777220   Lines"}));

TEST(SystemProbe, EveryLineIsFlushedBeforeTheNextMeasurementStarts) {
  struct FlushCounter : std::stringbuf {
    size_t flushed_lines = 0;
    int sync() override {
      const std::string text = str();
      flushed_lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
      return 0;
    }
  } buffer;
  std::ostream out(&buffer);
  FakeBoard& board = FakeBoard::reset(1);
  std::vector<size_t> flushed_at_start;
  board.on_peek = [&](int, uint32_t reg) -> std::optional<uint32_t> {
    if (reg == 2911) flushed_at_start.push_back(buffer.flushed_lines);
    return 0u;
  };
  draw_system_probe(out, FakeBoard::handle(0), 1);
  ASSERT_EQ(flushed_at_start.size(), kLineCount);
  for (size_t i = 0; i < kLineCount; ++i) EXPECT_EQ(flushed_at_start[i], i + 2) << i;
  EXPECT_EQ(buffer.flushed_lines, kLineCount + 4);
}

TEST(SystemProbe, CollapsedIsThreeLinesAndTouchesNoRegister) {
  FakeBoard& board = FakeBoard::reset(1);
  EXPECT_EQ(render(draw_system_probe, 0), "SystemProbe\n--------^--\n\n");
  EXPECT_TRUE(board.log().empty());
}

struct StatLineCase {
  int32_t failed;
  int print_mode;
  const char* label;
  float value;
  const char* units;
  const char* text;
};

void PrintTo(const StatLineCase& c, std::ostream* out) {
  *out << "failed " << c.failed << " mode " << c.print_mode << " value " << c.value;
}

class StatLine : public ::testing::TestWithParam<StatLineCase> {};

TEST_P(StatLine, PrintsOneLineOrNothing) {
  const StatLineCase& c = GetParam();
  std::ostringstream out;
  out << std::right;
  write_stat_line(out, c.failed, c.print_mode, c.label, c.value, c.units);
  EXPECT_EQ(out.str(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, StatLine,
    ::testing::Values(
        StatLineCase{0, 2, "X", 2.675f, "u", "X                         : 2.67       u\n"},
        StatLineCase{0, 2, "X", -1.5f, "u", "X                         : -1.50      u\n"},
        StatLineCase{0, 1, "X", 1080.99f, "u", "X                         : 1080       u\n"},
        StatLineCase{0, 1, "X", -2.9f, "u", "X                         : -2         u\n"},
        StatLineCase{0, 1, "X", 4294967296.0f, "u", "X                         : 4294967296 u\n"},
        StatLineCase{0, 1, "X", 1e12f, "u", "X                         : 999999995904 u\n"},
        StatLineCase{-1, 2, "CC1 Width", 25.0f, "us", "CC1 Width                 : Unknown   \n"},
        StatLineCase{1, 0, "X", 1.0f, "u", "X                         : Unknown   \n"},
        StatLineCase{0, 0, "X", 1.0f, "u", ""}, StatLineCase{0, 3, "X", 1.0f, "u", ""},
        StatLineCase{0, -1, "X", 1.0f, "u", ""}));

TEST(StatLine, LeavesLeftAlignmentAndTwoFixedDecimals) {
  std::ostringstream out;
  write_stat_line(out, -1, 2, "A", 0.0f, "u");
  EXPECT_EQ(out.flags() & std::ios_base::adjustfield, std::ios_base::left);
  EXPECT_EQ(out.flags() & std::ios_base::floatfield, std::ios_base::fmtflags{});
  write_stat_line(out, 0, 2, "B", 1.0f, "u");
  out.str("");
  out << 2.0 / 3.0 << '|' << std::setw(4) << 7;
  EXPECT_EQ(out.str(), "0.67|7   ");
}

}  // namespace
}  // namespace boardstat
