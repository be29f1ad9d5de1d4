#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "board/rate_probe.h"
#include "panels/panels.h"
#include "panels/system_probe.h"
#include "tests/support/fake_board.h"
#include "tests/support/render.h"

namespace boardstat::testing {
namespace {

// One line of the expanded panel: how the probe is set up for it, a count the board gives and
// what the line shows. The setup is "START/EDGE STOP/EDGE COUNT/EDGE STOP-COUNT MODE" (signal
// numbers and edge selectors). The counts include ones whose shown value would differ if a
// conversion step were taken in double precision, with another single-precision constant or
// without narrowing back to single precision, and counts of 2^24 and 2^31 and more.
struct ProbeLine {
  const char *label, *setup;
  uint32_t count;
  const char* shown;
};

const std::vector<ProbeLine> kLines = {
    {"CL CLock", "1/0 3/0 32/0 1000000 1", 1109920575, "11099.20   MHz"},
    {"Frame Rate", "1/0 3/0 38/0 1000000 1", 131383004, "1313830016.00 Frames/sec"},
    {"Line Rate", "1/0 3/0 41/0 1000000 1", 0, "0.00       Lines/sec"},
    {"Trigger Rate", "1/0 3/0 8/0 1000000 1", 1, "10.00      Triggers/sec"},
    {"EncoderA Rate", "1/0 3/0 9/0 1000000 1", 12345, "123450.00  EncA/sec"},
    {"EncoderB Rate", "1/0 3/0 10/0 1000000 1", 0xFFFFFFFF, "42949672960.00 EncB/sec"},
    {"CC1 Rate", "1/0 3/0 47/0 1000000 1", 7, "70.00      CC1/sec"},
    {"CC1 Width", "47/0 47/1 3/0 1 0", 242886303, "24288632.00 us"},
    {"CC2 Rate", "1/0 3/0 48/0 1000000 1", 100, "1000.00    CC2/sec"},
    {"CC2 Width", "48/0 48/1 3/0 1 0", 1, "0.10       us"},
    {"CC3 Rate", "1/0 3/0 49/0 1000000 1", 2, "20.00      CC3/sec"},
    {"CC3 Width", "49/0 49/1 3/0 1 0", 10000000, "1000000.00 us"},
    {"CC4 Rate", "1/0 3/0 50/0 1000000 1", 1000, "10000.00   CC4/sec"},
    {"CC4 Width", "50/0 50/1 3/0 1 0", 0, "0.00       us"},
    {"PCIe Bandwidth", "1/0 3/0 16/0 1000000 1", 65428279, "10468.53   MBytes/sec"},
    {"PCIe Drop Bandwidth", "1/0 3/0 17/0 1000000 1", 617437914, "98790.05   MBytes/sec"},
    {"Interrupt Rate", "1/0 3/0 15/0 1000000 1", 5, "50.00      Interrupts/sec"},
    {"Interrupt Service Time", "15/0 15/1 3/0 1 0", 123, "12.30      us"},
    {"Lines per Frame", "38/0 38/1 41/0 1 0", 16777219, "16777220   Lines"},
    {"Lines between Frames", "38/1 38/0 41/0 1 0", 16777217, "16777216   Lines"},
    {"Clocks between Frames", "38/1 38/0 32/2 1 0", 0x80000000, "2147483648 Clocks"},
    {"Clocks to first Line", "38/0 41/0 32/2 1 0", 0xFFFFFFFF, "4294967296 Clocks"},
    {"Clocks per Line", "41/0 41/1 32/0 1 0", 0x7FFFFFFF, "2147483648 Clocks"},
    {"DVAL per Line", "41/0 41/1 44/2 1 0", 0, "0          DVAL"},
    {"Clocks between Lines", "41/1 41/0 32/2 1 0", 2048, "2048       Clocks"},
    {"CC1 to Frame Latency", "47/0 38/0 3/0 1 0", 37, "3.70       us"},
};

// A clock that moves 251 ms at every reading, and wraps on the way.
uint32_t g_now = 0xFFFFFE00u;
uint32_t stepping_clock() {
  return g_now += 251;
}

// Each measurement's line is on the console (flushed) before the next one starts. A probe that
// never finishes shows "Unknown" after each line's own limit: the widths (0.25 s) allow their
// first busy read only, the others (1 s) three more. Collapsed, no register is touched.
TEST(SystemProbe, EveryMeasurementSetUpConvertedAndShownInTurn) {
  for (const bool finishes : {true, false}) {
    SCOPED_TRACE(finishes ? "finishing" : "never finishing");
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
    render(draw_system_probe, 0);
    EXPECT_TRUE(board.log().empty());
    std::vector<std::string> setups;  // at each measurement's first busy read
    std::vector<size_t> flushed, busy_reads;
    board.on_peek = [&](int, uint32_t reg) -> std::optional<uint32_t> {
      if (reg == 2912) return kLines.at(setups.size() - 1).count;
      if (reg != 2911) return std::nullopt;
      const auto& log = board.log();
      if (log[log.size() - 2] == "poke 0 2908 1") {  // the first busy read follows the start
        const auto at = [&](uint32_t r) { return std::to_string(board.value(0, r)); };
        setups.push_back(at(2902) + "/" + at(2903) + " " + at(2900) + "/" + at(2901) + " " +
                         at(2898) + "/" + at(2899) + " " + at(2913) + " " + at(2906));
        flushed.push_back(buffer.flushed_lines);
        busy_reads.push_back(0);
      }
      ++busy_reads.back();
      return finishes ? 0u : 1u;
    };
    draw_system_probe(out, FakeBoard::handle(0), 1, stepping_clock);
    const auto lines = split_lines(buffer.str());
    ASSERT_EQ(lines.size(), kLines.size() + 4);
    ASSERT_EQ(setups.size(), kLines.size());
    EXPECT_EQ(lines[1], "--------^------------------");
    for (size_t i = 0; i < kLines.size(); ++i) {
      const std::string label = kLines[i].label;
      SCOPED_TRACE(label);
      EXPECT_EQ(lines[i + 2], (label + std::string(25, ' ')).substr(0, 25) + " : " +
                                  (finishes ? kLines[i].shown : "Unknown   "));
      EXPECT_EQ(setups[i], kLines[i].setup);
      EXPECT_EQ(flushed[i], i + 2);
      const bool width = label.find("Width") != std::string::npos;
      EXPECT_EQ(busy_reads[i], finishes || width ? 1u : 4u);
    }
    EXPECT_EQ(buffer.flushed_lines, kLines.size() + 4);
    EXPECT_EQ(board.calls("peek 0 2912").size(), finishes ? kLines.size() : 0);
  }
}

}  // namespace
}  // namespace boardstat::testing
