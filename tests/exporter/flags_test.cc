#include "exporter/flags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace boardstat {
namespace {

using std::chrono::milliseconds;

TEST(Flags, BothValueFormsAndEveryFlag) {
  const ParsedFlags parsed =
      parse_flags({"--web.listen-address=127.0.0.1:9", "--web.telemetry-path", "/m",
                   "--textfile.directory=/tmp", "--collect.interval", "2ms", "--collect.probe=all",
                   "--collect.probe-interval=1m", "--once"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.flags.listen_address, "127.0.0.1:9");
  EXPECT_EQ(parsed.flags.telemetry_path, "/m");
  EXPECT_EQ(parsed.flags.textfile_directory, "/tmp");
  EXPECT_EQ(parsed.flags.collector.collect_interval, milliseconds(2));
  EXPECT_EQ(parsed.flags.collector.probe, ProbeSet::kAll);
  EXPECT_TRUE(parsed.flags.probe_given);
  EXPECT_EQ(parsed.flags.collector.probe_interval, milliseconds(60000));
  EXPECT_TRUE(parsed.flags.once);
}

TEST(Flags, WebServerFlags) {
  const ParsedFlags defaults = parse_flags({});
  EXPECT_EQ(defaults.flags.max_requests, 40u);
  EXPECT_TRUE(defaults.flags.exporter_metrics);
  const ParsedFlags parsed = parse_flags(
      {"--web.config.file=/etc/web.yml", "--web.max-requests", "0", "--web.max-connections=5",
       "--web.read-timeout=2s", "--web.write-timeout", "150ms", "--web.disable-exporter-metrics"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.flags.web_config_file, "/etc/web.yml");
  EXPECT_EQ(parsed.flags.max_requests, 0u);  // no limit
  EXPECT_EQ(parsed.flags.max_connections, 5u);
  EXPECT_EQ(parsed.flags.read_timeout, milliseconds(2000));
  EXPECT_EQ(parsed.flags.write_timeout, milliseconds(150));
  EXPECT_FALSE(parsed.flags.exporter_metrics);
}

// Each bad command line names what is wrong.
TEST(Flags, BadCommandLines) {
  struct Case {
    std::vector<std::string_view> args;
    std::string_view error;
  };
  for (const Case& c : {
           Case{{"--web.listen-addres=:1"}, "unknown flag --web.listen-addres"},
           Case{{"metrics"}, "unexpected argument \"metrics\""},
           Case{{"--collect.interval"}, "--collect.interval wants a value"},
           Case{{"--collect.interval=0ms"}, "--collect.interval wants a duration"},
           Case{{"--collect.interval=2s"}, "--collect.interval wants a duration"},
           Case{{"--collect.interval=99999999999999999999ms"}, "--collect.interval wants"},
           Case{{"--collect.probe-interval=500ms"}, "--collect.probe-interval wants"},
           Case{{"--collect.probe=some"}, "--collect.probe wants none, basic or all"},
           Case{{"--web.telemetry-path=metrics"}, "--web.telemetry-path wants a path"},
           Case{{"--web.telemetry-path=/"}, "--web.telemetry-path wants a path"},
           Case{{"--web.listen-address=10208"}, "--web.listen-address wants HOST:PORT"},
           Case{{"--textfile.directory="}, "--textfile.directory wants a folder"},
           Case{{"--web.max-requests=-1"}, "--web.max-requests wants a whole number"},
           Case{{"--web.max-requests=4x"}, "--web.max-requests wants a whole number"},
           Case{{"--web.max-connections=0"}, "--web.max-connections wants a whole number from 1"},
           Case{{"--web.read-timeout=0s"}, "--web.read-timeout wants a duration"},
           Case{{"--web.write-timeout=10"}, "--web.write-timeout wants a duration"},
           Case{{"--web.config.file="}, "--web.config.file wants a file"},
       }) {
    const ParsedFlags parsed = parse_flags(c.args);
    EXPECT_EQ(parsed.error.substr(0, c.error.size()), c.error) << c.args[0];
  }
}

}  // namespace
}  // namespace boardstat
