#include "exporter/flags.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace boardstat {
namespace {

using std::chrono::milliseconds;

TEST(Flags, DefaultsAndEveryFlagInBothValueForms) {
  const ParsedFlags defaults = parse_flags({});
  EXPECT_EQ(defaults.flags.max_requests, 40u);
  EXPECT_TRUE(defaults.flags.exporter_metrics);
  std::string umlauts;  // the longest name: 64 characters, 128 bytes
  for (int i = 0; i < 64; ++i) umlauts += "\xc3\xb6";
  const ParsedFlags parsed = parse_flags({"--web.listen-address=127.0.0.1:9",
                                          "--web.telemetry-path",
                                          "/m",
                                          "--textfile.directory=/tmp",
                                          "--collect.interval",
                                          "2ms",
                                          "--collect.probe=all",
                                          "--collect.probe-interval=1m",
                                          "--once",
                                          "--web.config.file=/etc/web.yml",
                                          "--web.max-requests",
                                          "0",
                                          "--web.max-connections=5",
                                          "--web.read-timeout=2s",
                                          "--web.write-timeout",
                                          "150ms",
                                          "--web.disable-exporter-metrics",
                                          "--collect.vfg-name=2=line 3 top",
                                          "--collect.vfg-name",
                                          "0=Band \"A\"",
                                          "--collect.vfg-name=3=" + umlauts});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.flags.listen_address, "127.0.0.1:9");
  EXPECT_EQ(parsed.flags.telemetry_path, "/m");
  EXPECT_EQ(parsed.flags.textfile_directory, "/tmp");
  EXPECT_EQ(parsed.flags.collector.collect_interval, milliseconds(2));
  EXPECT_EQ(parsed.flags.collector.probe, ProbeSet::kAll);
  EXPECT_TRUE(parsed.flags.probe_given);
  EXPECT_EQ(parsed.flags.collector.probe_interval, milliseconds(60000));
  EXPECT_TRUE(parsed.flags.once);
  EXPECT_EQ(parsed.flags.web_config_file, "/etc/web.yml");
  EXPECT_EQ(parsed.flags.max_requests, 0u);  // no limit
  EXPECT_EQ(parsed.flags.max_connections, 5u);
  EXPECT_EQ(parsed.flags.read_timeout, milliseconds(2000));
  EXPECT_EQ(parsed.flags.write_timeout, milliseconds(150));
  EXPECT_FALSE(parsed.flags.exporter_metrics);
  const std::vector<std::string> names = {"Band \"A\"", "", "line 3 top", umlauts};
  EXPECT_EQ(parsed.flags.collector.vfg_names, names);
}

// Each bad command line of bad_flags.txt (its arguments apart by blanks) names what is wrong; so
// do names with bytes that a text file does not show.
TEST(Flags, BadCommandLines) {
  std::ifstream file(BOARDSTAT_EXPORTER_TESTS "/bad_flags.txt");
  ASSERT_TRUE(file);
  int cases = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find(" | ");
    const std::string args = line.substr(0, bar), error = line.substr(bar + 3);
    const size_t blank = args.find(' ');  // two arguments at most
    std::vector<std::string_view> split = {std::string_view(args).substr(0, blank)};
    if (blank != std::string::npos) split.push_back(std::string_view(args).substr(blank + 1));
    EXPECT_EQ(parse_flags(split).error.substr(0, error.size()), error) << args;
    ++cases;
  }
  EXPECT_GT(cases, 0);
  for (const char* name : {"1=top\tcamera", "1=\xff", "1=ab\xc3"}) {
    const std::string arg = std::string("--collect.vfg-name=") + name;
    EXPECT_EQ(parse_flags({arg}).error.substr(0, 53),
              "--collect.vfg-name: the name of VFG 1 holds a control")
        << arg;
  }
}

}  // namespace
}  // namespace boardstat
