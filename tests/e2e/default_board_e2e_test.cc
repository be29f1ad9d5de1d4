// The built-in board end to end: every panel of every VFG against its picture, the counters
// moving and restarting, and the board traffic of the router, sequencer and rate probe.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/e2e/run_console.h"

namespace boardstat::testing {
namespace {

// The lines whose values count events since the board started; the pictures show them as #.
const std::regex kCountLine(
    "^((?:(?:V|Z|Y) Acquired|X Acquired \\(bytes\\)|QTabs (?:Loaded|Used)|Quads (?:Loaded|Used)|"
    "Num PCIe packets (?:sent|dropped)) *: )[0-9]+$");

std::string mask_counts(const std::string& screen) {
  std::istringstream lines(screen);
  std::string masked;
  for (std::string line; std::getline(lines, line);) {
    masked += std::regex_replace(line, kCountLine, "$1#") + "\n";
  }
  return masked;
}

std::string picture(const std::string& name) {
  std::ifstream in(std::string(BOARDSTAT_SOURCE_DIR "/tests/e2e/default_board/") + name,
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value after "LABEL : " on the first line of `screen` that starts with `label`.
long value_of(const std::string& screen, const std::string& label) {
  const auto at = screen.find("\n" + label + " ");
  if (at == std::string::npos) return -1;
  return std::stol(screen.substr(screen.find(": ", at) + 2));
}

std::vector<std::string> lines_of(const std::string& screen, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream lines(screen);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

TEST(DefaultBoard, EveryPanelOfEveryVfgMatchesItsPicture) {
  // Seven panels expanded on VFG 0, then the same panels on VFG 1 and VFG 2.
  const ConsoleRun run = run_console("lrabpti++q", "");
  ASSERT_EQ(run.exit_status, 0);
  const auto screens = run.screens();
  ASSERT_EQ(screens.size(), 10u);
  EXPECT_EQ(mask_counts(screens[7]), picture("vfg0.screen"));
  EXPECT_EQ(mask_counts(screens[8]), picture("vfg1.screen"));
  EXPECT_EQ(mask_counts(screens[9]), picture("vfg2.screen"));
}

TEST(DefaultBoard, CountsGrowWhileRunningAndClearingRestartsThemAndDropsTheErrors) {
  // Redraws a few tenths of a second apart; then c on VFG 0, and the screens of VFG 1 and 2.
  const ConsoleRun run =
      run_console_fed_by("printf abp; sleep 0.3; printf s; sleep 0.3; printf 'c++q'");
  ASSERT_EQ(run.exit_status, 0);
  const auto screens = run.screens();
  ASSERT_EQ(screens.size(), 8u);
  const std::string& before = screens[3];
  const std::string& later = screens[4];
  const std::string& after_clearing = screens[5];
  for (const char* count : {"V Acquired", "Z Acquired", "Y Acquired", "Quads Loaded"}) {
    SCOPED_TRACE(count);
    EXPECT_GE(value_of(before, count), 0);
    EXPECT_GT(value_of(later, count), value_of(before, count));
  }
  // A frame lasts 33 ms: the screen drawn just after c has seen none since the clearing.
  EXPECT_EQ(value_of(after_clearing, "V Acquired"), 0);
  EXPECT_EQ(value_of(after_clearing, "Z Acquired"), 0);
  EXPECT_LT(value_of(after_clearing, "Y Acquired"), value_of(later, "Y Acquired"));
  EXPECT_NE(lines_of(before, "Errors")[1], "Errors                    : {}");
  // Every VFG had latched errors in its BufferManager and PacketEngine; c cleared them all.
  for (std::size_t shown = 5; shown < screens.size(); ++shown) {
    const auto errors = lines_of(screens[shown], "Errors");
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[1], "Errors                    : {}") << "BufferManager, screen " << shown;
    EXPECT_EQ(errors[2], "Errors                    : {}") << "PacketEngine, screen " << shown;
  }
}

TEST(DefaultBoard, RouterScansItsBankTableThenReadsOnlyTapsInUse) {
  const ConsoleRun run = run_console("rq", "");
  ASSERT_EQ(run.exit_status, 0);
  std::vector<std::string> router;
  for (const std::string& line : run.trace) {
    if (std::regex_match(line, std::regex("poke 0 28(78|79|80) .*|peek 0 2881 .*"))) {
      router.push_back(line);
    }
  }
  // Two redraws, each starting with the 80-read scan of the bank table; the second one then
  // reads what its expanded tables show.
  constexpr std::size_t kScanReads = 2 * 80;
  ASSERT_EQ(router.size() % 4, 0u);
  ASSERT_GT(router.size(), kScanReads * 4);
  for (std::size_t read = 0; read < router.size() / 4; ++read) {
    const std::string* entry = &router[read * 4];
    SCOPED_TRACE("read " + std::to_string(read) + ": " + entry[0] + " / " + entry[1]);
    EXPECT_EQ(entry[0].substr(0, 12), "poke 0 2880 ");
    EXPECT_EQ(entry[1].substr(0, 12), "poke 0 2879 ");
    EXPECT_EQ(entry[2].substr(0, 12), "poke 0 2878 ");
    EXPECT_EQ(entry[3].substr(0, 12), "peek 0 2881 ");
    const bool bank_table = entry[0] == "poke 0 2880 1";
    if (read < kScanReads) {
      EXPECT_TRUE(bank_table);
    } else if (!bank_table) {
      // The default camera has two taps: nothing reads the tables of taps 2 to 9.
      EXPECT_TRUE(entry[1] == "poke 0 2879 0" || entry[1] == "poke 0 2879 1");
    }
  }
}

TEST(DefaultBoard, SequencerWalkLeavesTheLastIndexSelected) {
  const ConsoleRun run = run_console("tq", "");
  ASSERT_EQ(run.exit_status, 0);
  std::vector<std::string> index_writes;
  for (const std::string& line : run.trace) {
    if (line.rfind("poke 0 2819 ", 0) == 0) index_writes.push_back(line);
  }
  ASSERT_EQ(index_writes.size(), 256u);
  for (int index = 0; index < 256; ++index) {
    EXPECT_EQ(index_writes[index], "poke 0 2819 " + std::to_string(index));
  }
}

TEST(DefaultBoard, ProbeMeasurementsConfigureWaitAndReadOnce) {
  const ConsoleRun run = run_console("oq", "");
  ASSERT_EQ(run.exit_status, 0);
  const std::vector<std::string> configuration = {"2909", "2913", "2904", "2905", "2902", "2903",
                                                  "2900", "2901", "2898", "2899", "2906", "2908"};
  int measurements = 0;
  int timed_out = 0;
  for (std::size_t at = 0; at < run.trace.size(); ++at) {
    if (run.trace[at] != "poke 0 2909 1") continue;
    ++measurements;
    SCOPED_TRACE("measurement " + std::to_string(measurements));
    ASSERT_LT(at + 14, run.trace.size());
    for (std::size_t write = 0; write < configuration.size(); ++write) {
      EXPECT_EQ(run.trace[at + write].substr(0, 12), "poke 0 " + configuration[write] + " ");
    }
    EXPECT_EQ(run.trace[at + 11], "poke 0 2908 1");
    std::size_t next = at + 12;
    int busy_reads = 0;
    while (next < run.trace.size() && run.trace[next].rfind("peek 0 2911 ", 0) == 0) {
      ++busy_reads;
      ++next;
    }
    EXPECT_GE(busy_reads, 1);  // a short measurement may be over at the first read
    ASSERT_LT(next, run.trace.size());
    if (run.trace[next - 1] == "peek 0 2911 -> 0") {
      EXPECT_EQ(run.trace[next].substr(0, 15), "peek 0 2912 -> ");
      ++next;
    } else {
      ++timed_out;  // nothing more until the next measurement
    }
    // Then the next measurement, or the end: q came next.
    if (next < run.trace.size()) {
      EXPECT_EQ(run.trace[next], "poke 0 2909 1");
    }
  }
  EXPECT_EQ(measurements, 26);
  EXPECT_EQ(timed_out, 1);  // CC3 is forced low on VFG 0: its width never ends
  // The default camera: 1920 x 1080 at 30 frames a second.
  const std::string probe = run.screens()[1];
  EXPECT_NE(probe.find("Frame Rate                : 30.00      Frames/sec"), std::string::npos);
  EXPECT_NE(probe.find("Lines per Frame           : 1080       Lines"), std::string::npos);
}

}  // namespace
}  // namespace boardstat::testing
