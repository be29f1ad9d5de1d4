#include "exporter/flags.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace boardstat {
namespace {

const ExporterFlag* flag_named(std::string_view name) {
  for (const ExporterFlag& flag : exporter_flags()) {
    if (flag.name == name) return &flag;
  }
  return nullptr;
}

// Each command line of command_lines.txt sets its first flag, as the flag's own default
// shows it, or gives the complaint that names what is wrong.
TEST(Flags, CommandLines) {
  std::ifstream file(BOARDSTAT_EXPORTER_TESTS "/command_lines.txt");
  ASSERT_TRUE(file);
  int cases = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find(" | ");
    ASSERT_NE(bar, std::string::npos) << line;
    std::istringstream words(line.substr(0, bar));
    std::vector<std::string> args;
    for (std::string word; words >> word;) args.push_back(word);
    const ParsedFlags parsed = parse_flags(std::vector<std::string_view>(args.begin(), args.end()));
    const std::string want = line.substr(bar + 3);
    if (want.rfind("= ", 0) == 0) {
      ASSERT_EQ(parsed.error, "") << line;
      const ExporterFlag* flag = flag_named(args[0].substr(0, args[0].find('=')));
      ASSERT_TRUE(flag && flag->shown_default) << line;
      EXPECT_EQ(flag->shown_default(parsed.flags), want.substr(2)) << line;
    } else {
      EXPECT_EQ(parsed.error.substr(0, want.size()), want) << line;
    }
    ++cases;
  }
  EXPECT_GT(cases, 0);
}

// Switches take no value; -h is --help.
TEST(Flags, Switches) {
  const ParsedFlags parsed = parse_flags({"--once", "-h", "--web.disable-exporter-metrics"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.flags.once && parsed.flags.help && !parsed.flags.exporter_metrics);
  EXPECT_FALSE(parsed.flags.probe_given);
  EXPECT_TRUE(parse_flags({"--collect.probe=none"}).flags.probe_given);
}

// Names as they are given, and names with bytes that a text file does not show.
TEST(Flags, VfgNames) {
  std::string umlauts;  // the longest name: 64 characters, 128 bytes
  for (int i = 0; i < 64; ++i) umlauts += "\xc3\xb6";
  const std::string longest = "--collect.vfg-name=3=" + umlauts;
  const ParsedFlags parsed = parse_flags(
      {"--collect.vfg-name=2=line 3 top", "--collect.vfg-name", "0=Band \"A\"", longest});
  ASSERT_EQ(parsed.error, "");
  const std::vector<std::string> names = {"Band \"A\"", "", "line 3 top", umlauts};
  EXPECT_EQ(parsed.flags.collector.vfg_names, names);
  for (const char* name : {"1=top\tcamera", "1=\xff", "1=ab\xc3"}) {
    const std::string arg = std::string("--collect.vfg-name=") + name;
    EXPECT_EQ(parse_flags({arg}).error.substr(0, 53),
              "--collect.vfg-name: the name of VFG 1 holds a control")
        << arg;
  }
}

}  // namespace
}  // namespace boardstat
