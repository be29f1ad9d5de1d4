#include <gtest/gtest.h>

#include <stdio.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/board_system.h"
#include "tests/sim/sim_test_support.h"

namespace boardsim {
namespace {

using testing::kMillisecond;
using testing::ManualClock;
using testing::parse_valid;

struct System {
  explicit System(std::string_view text, FILE* trace = nullptr) {
    auto owned = std::make_unique<ManualClock>();
    clock = owned.get();
    board = std::make_unique<BoardSystem>(parse_valid(text), std::move(owned), trace);
  }
  KvHandle open(uint32_t index) {
    LmBrdEntry entry;
    KvHandle handle = nullptr;
    EXPECT_EQ(board->find(kLmBoardFamily, index, &entry), 0);
    EXPECT_EQ(board->open(&entry, &handle), 0);
    return handle;
  }
  ManualClock* clock;
  std::unique_ptr<BoardSystem> board;
};

std::string read_all(FILE* file) {
  rewind(file);
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

TEST(BoardSystem, FindsOpensAndTracesEveryCall) {
  FILE* trace = tmpfile();
  ASSERT_NE(trace, nullptr);
  System s("vfg\nreg 7 70\nvfg open-fails\nvfg\nreg 7 72\n", trace);
  LmBrdEntry entries[4];
  KvHandle h0 = nullptr, h1 = nullptr, h2 = nullptr;
  EXPECT_EQ(s.board->find(208, 0, &entries[0]), 0);
  EXPECT_EQ(s.board->open(&entries[0], &h0), 0);
  EXPECT_EQ(s.board->find(208, 1, &entries[1]), 0);
  EXPECT_EQ(s.board->open(&entries[1], &h1), 1);  // found but refuses to open
  EXPECT_EQ(h1, nullptr);
  EXPECT_EQ(s.board->find(208, 2, &entries[2]), 0);
  EXPECT_EQ(s.board->open(&entries[2], &h2), 0);
  EXPECT_NE(s.board->find(208, 3, &entries[3]), 0);
  EXPECT_NE(s.board->find(207, 0, &entries[3]), 0);
  EXPECT_NE(h0, h2);
  s.board->poke(h2, 7, 4294967295u);
  EXPECT_EQ(s.board->peek(h0, 7), 70u);
  EXPECT_EQ(s.board->peek(h2, 7), 4294967295u);
  LmBrdEntry stray{};  // never filled by find
  KvHandle h = nullptr;
  EXPECT_NE(s.board->open(&stray, &h), 0);
  EXPECT_EQ(read_all(trace),
            "find 208 0 -> 0\nopen 0 -> 0\nfind 208 1 -> 0\nopen 1 -> 1\nfind 208 2 -> 0\n"
            "open 2 -> 0\nfind 208 3 -> 1\nfind 207 0 -> 1\npoke 2 7 4294967295\n"
            "peek 0 7 -> 70\npeek 2 7 -> 4294967295\nopen 0 -> 2\n");
  fclose(trace);
}

TEST(BoardSystem, ReopeningKeepsTheVfgAndItsBoardTime) {
  System s("vfg\ncounter 1420 30\n");
  const KvHandle first = s.open(0);
  s.clock->advance(testing::kSecond);
  const KvHandle again = s.open(0);
  EXPECT_EQ(first, again);
  EXPECT_EQ(s.board->peek(again, 1420), 30u);
}

TEST(BoardSystem, NoDescriptionMeansNoVfg) {
  System s("");
  LmBrdEntry entry;
  EXPECT_NE(s.board->find(208, 0, &entry), 0);
}

TEST(BoardSystem, UnreadableFilesAreReportedWithTheirName) {
  std::string text, error;
  EXPECT_FALSE(read_description_file("/nonexistent/dir/x.board", &text, &error));
  EXPECT_EQ(error, "/nonexistent/dir/x.board: cannot open the board description");
}

// --- The built-in board, measured the way the console's SystemProbe panel does ------------

struct ProbeLine {
  const char* label;
  uint32_t start, start_edge, stop, stop_edge, count, count_edge, stop_count, mode;
  double limit;
  int print;  // 1 integer, 2 fixed
  enum Conversion { kRate, kMegahertz, kBandwidth, kMicroseconds, kCount } conversion;
  const char* units;
};

constexpr ProbeLine kWindow(const char* label, uint32_t count, ProbeLine::Conversion c,
                            const char* units) {
  return ProbeLine{label, 1, 0, 3, 0, count, 0, 1000000, 1, 1.0, 2, c, units};
}
constexpr ProbeLine kInterval(const char* label, uint32_t start, uint32_t start_edge, uint32_t stop,
                              uint32_t stop_edge, uint32_t count, uint32_t count_edge, double limit,
                              ProbeLine::Conversion c, const char* units) {
  return ProbeLine{label,
                   start,
                   start_edge,
                   stop,
                   stop_edge,
                   count,
                   count_edge,
                   1,
                   0,
                   limit,
                   c == ProbeLine::kCount ? 1 : 2,
                   c,
                   units};
}

const ProbeLine kProbeLines[] = {
    kWindow("CL CLock", 32, ProbeLine::kMegahertz, "MHz"),
    kWindow("Frame Rate", 38, ProbeLine::kRate, "Frames/sec"),
    kWindow("Line Rate", 41, ProbeLine::kRate, "Lines/sec"),
    kWindow("Trigger Rate", 8, ProbeLine::kRate, "Triggers/sec"),
    kWindow("EncoderA Rate", 9, ProbeLine::kRate, "EncA/sec"),
    kWindow("EncoderB Rate", 10, ProbeLine::kRate, "EncB/sec"),
    kWindow("CC1 Rate", 47, ProbeLine::kRate, "CC1/sec"),
    kInterval("CC1 Width", 47, 0, 47, 1, 3, 0, 0.25, ProbeLine::kMicroseconds, "us"),
    kWindow("CC2 Rate", 48, ProbeLine::kRate, "CC2/sec"),
    kInterval("CC2 Width", 48, 0, 48, 1, 3, 0, 0.25, ProbeLine::kMicroseconds, "us"),
    kWindow("CC3 Rate", 49, ProbeLine::kRate, "CC3/sec"),
    kInterval("CC3 Width", 49, 0, 49, 1, 3, 0, 0.25, ProbeLine::kMicroseconds, "us"),
    kWindow("CC4 Rate", 50, ProbeLine::kRate, "CC4/sec"),
    kInterval("CC4 Width", 50, 0, 50, 1, 3, 0, 0.25, ProbeLine::kMicroseconds, "us"),
    kWindow("PCIe Bandwidth", 16, ProbeLine::kBandwidth, "MBytes/sec"),
    kWindow("PCIe Drop Bandwidth", 17, ProbeLine::kBandwidth, "MBytes/sec"),
    kWindow("Interrupt Rate", 15, ProbeLine::kRate, "Interrupts/sec"),
    kInterval("Interrupt Service Time", 15, 0, 15, 1, 3, 0, 1.0, ProbeLine::kMicroseconds, "us"),
    kInterval("Lines per Frame", 38, 0, 38, 1, 41, 0, 1.0, ProbeLine::kCount, "Lines"),
    kInterval("Lines between Frames", 38, 1, 38, 0, 41, 0, 1.0, ProbeLine::kCount, "Lines"),
    kInterval("Clocks between Frames", 38, 1, 38, 0, 32, 2, 1.0, ProbeLine::kCount, "Clocks"),
    kInterval("Clocks to first Line", 38, 0, 41, 0, 32, 2, 1.0, ProbeLine::kCount, "Clocks"),
    kInterval("Clocks per Line", 41, 0, 41, 1, 32, 0, 1.0, ProbeLine::kCount, "Clocks"),
    kInterval("DVAL per Line", 41, 0, 41, 1, 44, 2, 1.0, ProbeLine::kCount, "DVAL"),
    kInterval("Clocks between Lines", 41, 1, 41, 0, 32, 2, 1.0, ProbeLine::kCount, "Clocks"),
    kInterval("CC1 to Frame Latency", 47, 0, 38, 0, 3, 0, 1.0, ProbeLine::kMicroseconds, "us"),
};

// One figure as the console shows it: the value and units, or Unknown after a time-out.
std::string measure(System& s, KvHandle vfg, const ProbeLine& line) {
  const uint32_t writes[][2] = {
      {2909, 1},          {2913, line.stop_count}, {2904, 1},         {2905, 0},
      {2902, line.start}, {2903, line.start_edge}, {2900, line.stop}, {2901, line.stop_edge},
      {2898, line.count}, {2899, line.count_edge}, {2906, line.mode}, {2908, 1}};
  for (const auto& w : writes) s.board->poke(vfg, w[0], w[1]);
  const Picoseconds t0 = s.clock->now();
  while (s.board->peek(vfg, 2911) != 0) {
    s.clock->advance(kMillisecond);
    if (static_cast<double>(s.clock->now() - t0) / 1e12 > line.limit) return "Unknown";
  }
  const float count = static_cast<float>(s.board->peek(vfg, 2912));
  float value = count;
  switch (line.conversion) {
    case ProbeLine::kRate:
      value = count / 0.1f;
      break;
    case ProbeLine::kMegahertz:
      value = count / 0.1f * 0.000001f;
      break;
    case ProbeLine::kBandwidth:
      value = count * 16 / 1000000 / 0.1f;
      break;
    case ProbeLine::kMicroseconds:
      value = static_cast<float>(static_cast<double>(count * 0.0000001f) * 1000000);
      break;
    case ProbeLine::kCount:
      break;
  }
  std::ostringstream out;
  if (line.print == 1) {
    out << static_cast<int32_t>(value);
  } else {
    out.setf(std::ios::fixed);
    out.precision(2);
    out << value;
  }
  return out.str() + " " + line.units;
}

std::vector<std::string> figures(uint32_t vfg, Picoseconds when) {
  System s(default_board_text());
  s.clock->set(when);
  const KvHandle handle = s.open(vfg);
  s.clock->advance(when / 7);  // measurements start at some unaligned time after the open
  std::vector<std::string> shown;
  for (const ProbeLine& line : kProbeLines) shown.push_back(measure(s, handle, line));
  return shown;
}

TEST(DefaultBoard, Parses) {
  const ParseResult r = parse_board_description(default_board_text(), kDefaultBoardName);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.board.vfgs.size(), 3u);
}

// What sim/README.md lists for the built-in board: the same figures whenever the measurements
// are taken (the line rate of VFG 0 alone may read one line more per window).
TEST(DefaultBoard, ProbeFiguresAreConsistent) {
  const std::vector<std::vector<std::string>> expected = {{"85.03 MHz",
                                                           "30.00 Frames/sec",
                                                           "32580.00 Lines/sec",
                                                           "30.00 Triggers/sec",
                                                           "20000.00 EncA/sec",
                                                           "20000.00 EncB/sec",
                                                           "30.00 CC1/sec",
                                                           "25.00 us",
                                                           "30.00 CC2/sec",
                                                           "40.00 us",
                                                           "0.00 CC3/sec",
                                                           "Unknown",
                                                           "30.00 CC4/sec",
                                                           "10.00 us",
                                                           "62.21 MBytes/sec",
                                                           "0.00 MBytes/sec",
                                                           "30.00 Interrupts/sec",
                                                           "12.50 us",
                                                           "1080 Lines",
                                                           "6 Lines",
                                                           "15660 Clocks",
                                                           "170 Clocks",
                                                           "968 Clocks",
                                                           "960 DVAL",
                                                           "1642 Clocks",
                                                           "100.00 us"},
                                                          {"0.00 MHz",
                                                           "0.00 Frames/sec",
                                                           "0.00 Lines/sec",
                                                           "0.00 Triggers/sec",
                                                           "0.00 EncA/sec",
                                                           "0.00 EncB/sec",
                                                           "0.00 CC1/sec",
                                                           "Unknown",
                                                           "0.00 CC2/sec",
                                                           "Unknown",
                                                           "0.00 CC3/sec",
                                                           "Unknown",
                                                           "0.00 CC4/sec",
                                                           "Unknown",
                                                           "1.00 MBytes/sec",
                                                           "0.00 MBytes/sec",
                                                           "1000.00 Interrupts/sec",
                                                           "3.00 us",
                                                           "Unknown",
                                                           "Unknown",
                                                           "Unknown",
                                                           "Unknown",
                                                           "Unknown",
                                                           "Unknown",
                                                           "Unknown",
                                                           "Unknown"},
                                                          {"40.00 MHz",
                                                           "50.00 Frames/sec",
                                                           "62500.00 Lines/sec",
                                                           "0.00 Triggers/sec",
                                                           "20000.00 EncA/sec",
                                                           "0.00 EncB/sec",
                                                           "50.00 CC1/sec",
                                                           "5000.00 us",
                                                           "0.00 CC2/sec",
                                                           "Unknown",
                                                           "0.00 CC3/sec",
                                                           "Unknown",
                                                           "0.00 CC4/sec",
                                                           "Unknown",
                                                           "78.64 MBytes/sec",
                                                           "0.02 MBytes/sec",
                                                           "50.00 Interrupts/sec",
                                                           "8.40 us",
                                                           "1024 Lines",
                                                           "226 Lines",
                                                           "144640 Clocks",
                                                           "40 Clocks",
                                                           "520 Clocks",
                                                           "512 DVAL",
                                                           "120 Clocks",
                                                           "5200.00 us"}};
  for (const Picoseconds when : {Picoseconds{0}, Picoseconds{123456789},
                                 7 * testing::kSecond + 987654321, 3600 * testing::kSecond}) {
    for (uint32_t vfg = 0; vfg < 3; ++vfg) {
      std::vector<std::string> shown = figures(vfg, when);
      if (vfg == 0 && shown[2] == "32590.00 Lines/sec") shown[2] = "32580.00 Lines/sec";
      EXPECT_EQ(shown, expected[vfg]) << "VFG " << vfg << " at " << static_cast<double>(when);
    }
  }
}

}  // namespace
}  // namespace boardsim
