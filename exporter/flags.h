// The exporter's command line.
#ifndef BOARDSTAT_EXPORTER_FLAGS_H_
#define BOARDSTAT_EXPORTER_FLAGS_H_

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exporter/collector.h"

namespace boardstat {

/// The default port: our own, outside the 9100-9999 range that exporters have taken.
inline constexpr std::string_view kDefaultListenAddress = ":10208";
inline constexpr std::string_view kDefaultTelemetryPath = "/metrics";

struct ExporterFlags {
  std::string listen_address{kDefaultListenAddress};
  std::string telemetry_path{kDefaultTelemetryPath};
  std::string textfile_directory;  // empty: serve HTTP
  std::string web_config_file;     // TLS and passwords; empty: plain HTTP, none asked
  size_t max_requests = 40;        // answered at once, past it 503; 0: no limit
  size_t max_connections = 64;
  std::chrono::milliseconds read_timeout{10000};
  std::chrono::milliseconds write_timeout{10000};
  bool exporter_metrics = true;  // build_info, process_* and the requests' own metrics
  bool once = false;
  CollectorOptions collector;
  bool probe_given = false;  // --collect.probe on the command line
  bool help = false;
  bool version = false;
};

/// The flags, or the message that says what is wrong with them.
struct ParsedFlags {
  ExporterFlags flags;
  std::string error;  // empty when the command line is good
};

/// Parses the arguments after the program name. Each flag takes its value as `--flag=VALUE` or
/// as the next argument.
ParsedFlags parse_flags(const std::vector<std::string_view>& args);

/// A duration of whole milliseconds written with a unit: "5ms", "1s", "2m".
std::optional<std::chrono::milliseconds> parse_duration(std::string_view text);

/// The --help text.
std::string usage();

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_FLAGS_H_
