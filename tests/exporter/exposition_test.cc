#include "exporter/exposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace boardstat {
namespace {

TEST(Exposition, EscapesLabelValuesAndHelp) {
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
  ExpositionWriter out;
  out.sample("m", {{"vfg", "0"}, {"flag", "x\"y"}}, "1");
  EXPECT_EQ(out.take(), "m{vfg=\"0\",flag=\"x\\\"y\"} 1\n");
}

TEST(Exposition, ValuesReadBackExactly) {
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
    for (size_t i = 0; i < kFlagSetCount; ++i) vfg.flags[i].assign(kFlagSets[i].flag_count, v == 0);
    vfg.acquired = {1, 2, 3, 48};
  }
  for (size_t f = 0; f < kProbeFigureCount; ++f) s.vfgs[0].probe[f] = ProbeResult{1.5, 1.7e9};
  for (uint32_t& state : s.vfgs[2].states) state = 0xFFFFFFFF;
  s.published = std::chrono::steady_clock::now();
  return s;
}

// The rules a scraper relies on: one HELP and then one TYPE per family before its samples, the
// family's samples together, no series twice, _total exactly on counters, a final newline; a
// VFG that is not open has only boardstat_vfg_up.
TEST(Exposition, EveryFamilyOnceEverySeriesOnce) {
  const std::string text = format_exposition(full_snapshot(), std::chrono::steady_clock::now());
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::regex help("# HELP (\\w+) .+"), type("# TYPE (\\w+) (counter|gauge)");
  const std::regex sample("(\\w+)(\\{.*\\})? \\S+");
  std::set<std::string> families, series;
  std::string current, expected = "help";
  std::istringstream lines(text);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    if (std::regex_match(line, m, help)) {
      EXPECT_TRUE(families.insert(current = m[1]).second) << "family twice";
      expected = "type";
    } else if (std::regex_match(line, m, type)) {
      EXPECT_EQ(expected, "type");
      EXPECT_EQ(m[1], current);
      EXPECT_EQ(current.size() > 6 && current.substr(current.size() - 6) == "_total",
                m[2] == "counter");
      expected = "sample";
    } else {
      ASSERT_TRUE(std::regex_match(line, m, sample));
      EXPECT_EQ(expected, "sample");
      EXPECT_EQ(m[1], current) << "sample outside its family";
      EXPECT_TRUE(series.insert(line.substr(0, line.rfind(' '))).second) << "series twice";
      EXPECT_TRUE(m[1] == "boardstat_vfg_up" || m.str(2).find("vfg=\"1\"") == std::string::npos);
    }
  }
  EXPECT_TRUE(series.count("boardstat_vfg_up{vfg=\"1\"}"));
}

// A state set has exactly one series at 1 when the value is in its list, none when it is not
// (no sentinel state).
TEST(Exposition, StateSets) {
  const std::string text = format_exposition(full_snapshot(), std::chrono::steady_clock::now());
  for (const StateSetMetric& metric : kStateSets) {
    SCOPED_TRACE(metric.name);
    for (const char* vfg : {"0", "2"}) {
      int ones = 0;
      int series = 0;
      std::istringstream lines(text);
      std::string line;
      const std::string prefix = std::string(metric.name) + "{vfg=\"" + vfg + "\",state=";
      while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) != 0) continue;
        ++series;
        ones += line.back() == '1';
      }
      EXPECT_EQ(series, static_cast<int>(metric.state_count));
      EXPECT_EQ(ones, vfg[0] == '0' ? 1 : 0);
    }
  }
}

// Every figure's time joins the figure: the timestamp series with its `measurement` label
// turned into the metric name names a series of the exposition, and every figure has its time.
TEST(Exposition, EveryFigureJoinsItsMeasuredTime) {
  const std::string text = format_exposition(full_snapshot(), std::chrono::steady_clock::now());
  const std::regex stamp(
      "boardstat_probe_measured_timestamp_seconds\\{(vfg=\"\\d+\")"
      ",measurement=\"(\\w+)\"(,\\w+=\"\\w+\")?\\} \\S+");
  const std::regex figure("(boardstat_probe_\\w+)(\\{.*\\}) \\S+");
  std::set<std::string> stamped, figures;
  std::istringstream lines(text);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, m, stamp)) {
      stamped.insert(m[2].str() + "{" + m[1].str() + m[3].str() + "}");
    } else if (std::regex_match(line, m, figure)) {
      figures.insert(m[1].str() + m[2].str());
    }
  }
  EXPECT_EQ(stamped.size(), kProbeFigureCount);  // VFG 0 has every figure
  EXPECT_EQ(stamped, figures);
}

TEST(Exposition, UpOnlyWhileAVfgIsOpen) {
  struct Case {
    bool collected;
    std::vector<bool> vfgs_up;
    const char* up;
  };
  for (const Case& c : {Case{true, {}, "0"}, Case{true, {false}, "0"},
                        Case{true, {false, true}, "1"}, Case{false, {true}, "0"}}) {
    Snapshot s;
    s.collected = c.collected;
    s.vfgs_found = c.vfgs_up.size();
    s.vfgs.resize(c.vfgs_up.size());
    for (size_t v = 0; v < s.vfgs.size(); ++v) {
      s.vfgs[v].up = c.vfgs_up[v];
      for (size_t i = 0; i < kFlagSetCount; ++i) {
        s.vfgs[v].flags[i].assign(kFlagSets[i].flag_count, false);
      }
    }
    const std::string text = format_exposition(s, std::chrono::steady_clock::now());
    EXPECT_NE(text.find(std::string("\nboardstat_up ") + c.up + "\n"), std::string::npos)
        << c.vfgs_up.size() << " VFGs, collected " << c.collected;
  }
}

}  // namespace
}  // namespace boardstat
