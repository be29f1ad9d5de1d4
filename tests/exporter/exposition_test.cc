#include "exporter/exposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace boardstat {
namespace {

TEST(Exposition, EscapesAndValues) {
  struct Case {
    std::string_view raw;
    std::string_view label;
    std::string_view help;
  };
  for (const Case& c :
       {Case{"12/05/2016", "12/05/2016", "12/05/2016"}, Case{"a\\b", "a\\\\b", "a\\\\b"},
        Case{"say \"hi\"", "say \\\"hi\\\"", "say \"hi\""},
        Case{"two\nlines", "two\\nlines", "two\\nlines"},
        Case{"\\\"\n", "\\\\\\\"\\n", "\\\\\"\\n"}}) {
    EXPECT_EQ(escape_label_value(c.raw), c.label) << c.raw;
    EXPECT_EQ(escape_help(c.raw), c.help) << c.raw;
  }
  // Values read back exactly.
  EXPECT_EQ(format_value(std::numeric_limits<uint64_t>::max()), "18446744073709551615");
  EXPECT_EQ(format_value(85034013.6), "85034013.6");
  EXPECT_EQ(format_value(std::nan("")), "NaN");
  EXPECT_EQ(format_value(-std::numeric_limits<double>::infinity()), "-Inf");
}

// A snapshot with every kind of value: VFG 0 up with every probe figure, VFG 1 that could not
// be opened, VFG 2 up with state values outside their lists and no probe figure.
Snapshot full_snapshot() {
  Snapshot s;
  s.collected = true;
  s.vfgs_found = 3;
  s.vfgs.resize(3);
  for (size_t v : {0u, 2u}) {
    VfgSnapshot& vfg = s.vfgs[v];
    vfg.up = true;
    vfg.firmware_date = "12/05/2016";
    vfg.firmware_time = "09:07";
    for (size_t i = 0; i < kFlagSetCount; ++i) {
      vfg.flags[i].assign(kFlagSets[i].flag_count, v == 0);
      vfg.latch_sets[i].assign(kFlagSets[i].flag_count, v);
    }
    vfg.acquired = {1, 2, 3, 48};
  }
  for (size_t f = 0; f < kProbeFigureCount; ++f) s.vfgs[0].probe[f] = ProbeResult{1.5, 1.7e9};
  for (uint32_t& state : s.vfgs[2].states) state = 0xFFFFFFFF;
  s.vfg_names = {"", "line 3 \"top\"", "", "not found"};
  s.published = std::chrono::steady_clock::now();
  return s;
}

// The rules a scraper relies on (HELP, TYPE and names are promtool's to check, in
// exporter_test.sh): a family's samples together, no series twice, a final newline; a VFG that
// is not open has only boardstat_vfg_up and its name; a state set has exactly one series at 1
// when the value is in its list, none when it is not (no sentinel state); every probe figure
// joins its time: the timestamp series with its `measurement` label turned into the metric name
// names a series of the exposition, and every figure has its time.
TEST(Exposition, TheRulesAScraperReliesOn) {
  const std::string text = format_exposition(full_snapshot(), std::chrono::steady_clock::now());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::regex sample("(\\w+)(\\{.*\\})? (\\S+)"), state("\\{vfg=\"(\\d+)\",state=.*");
  const std::regex stamp("\\{(vfg=\"\\d+\"),measurement=\"(\\w+)\"(,\\w+=\"\\w+\")?\\}");
  std::set<std::string> families, series, stamped, figures;
  std::map<std::string, int> states, ones;
  std::string current;
  std::istringstream lines(text);
  std::smatch m, label;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    if (line[0] == '#') continue;
    ASSERT_TRUE(std::regex_match(line, m, sample));
    const bool apart = m[1] != current && !families.insert(current = m[1]).second;
    EXPECT_FALSE(apart) << "a family's samples apart";
    EXPECT_TRUE(series.insert(line.substr(0, line.rfind(' '))).second) << "series twice";
    EXPECT_TRUE(m[1] == "boardstat_vfg_up" || m[1] == "boardstat_vfg_info" ||
                m.str(2).find("vfg=\"1\"") == std::string::npos);
    const std::string name = m[1], labels = m[2];
    if (std::regex_match(labels, label, state)) {
      ++states[name + label.str(1)];
      ones[name + label.str(1)] += m[3] == "1";
    }
    if (name == "boardstat_probe_measured_timestamp_seconds") {
      EXPECT_TRUE(std::regex_match(labels, label, stamp));
      stamped.insert(label.str(2) + "{" + label.str(1) + label.str(3) + "}");
    } else if (name.rfind("boardstat_probe_", 0) == 0) {
      figures.insert(name + labels);
    }
  }
  EXPECT_TRUE(series.count("boardstat_vfg_up{vfg=\"1\"}"));
  // Only VFGs found and named have a name; only error latches count their sets.
  EXPECT_TRUE(series.count("boardstat_vfg_info{vfg=\"1\",name=\"line 3 \\\"top\\\"\"}"));
  EXPECT_EQ(text.find("name=\"\""), std::string::npos);
  EXPECT_EQ(text.find("not found"), std::string::npos);
  EXPECT_NE(text.find(",flag=\"cplError\",panel=\"BufferManager\"} 2\n"), std::string::npos);
  EXPECT_EQ(text.find("flag=\"pktFlushEn\",panel"), std::string::npos);
  for (const StateSetMetric& metric : kStateSets) {
    for (const char* vfg : {"0", "2"}) {
      const std::string key = std::string(metric.name) + vfg;
      EXPECT_EQ(states[key], static_cast<int>(metric.state_count)) << key;
      EXPECT_EQ(ones[key], vfg[0] == '0' ? 1 : 0) << key;
    }
  }
  EXPECT_EQ(stamped.size(), kProbeFigureCount);  // VFG 0 has every figure
  EXPECT_EQ(stamped, figures);
}

// Before the first collection boardstat_up is 0 with every VFG open (exporter_test.sh has boards
// with no VFG, with none that opens and with one of two).
TEST(Exposition, NotUpBeforeTheFirstCollection) {
  Snapshot s = full_snapshot();
  s.collected = false;
  const std::string text = format_exposition(s, std::chrono::steady_clock::now());
  EXPECT_NE(text.find("\nboardstat_up 0\n"), std::string::npos);
}

}  // namespace
}  // namespace boardstat
