// The exporter's command line: one table of flags drives the parser and --help.
#ifndef BOARDSTAT_EXPORTER_FLAGS_H_
#define BOARDSTAT_EXPORTER_FLAGS_H_

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exporter/collector.h"
#include "exporter/http_options.h"

namespace boardstat {

/// Every setting of the command line; a flag not given keeps the default written here or in
/// the options' own structs.
struct ExporterFlags {
  HttpOptions http;
  std::string textfile_directory;  // empty: serve HTTP
  bool exporter_metrics = true;    // build_info, process_* and the requests' own metrics
  bool once = false;
  CollectorOptions collector;
  bool probe_given = false;  // --collect.probe on the command line
  bool help = false;
  bool version = false;
};

/// One flag: its name, what --help says of it, and how it is set.
struct ExporterFlag {
  std::string_view name;        // "--web.listen-address"
  std::string_view alias;       // another name for it ("-h"), or empty
  std::string_view value_name;  // "ADDR" in --help; empty for a flag that takes no value
  std::string_view help;        // "{}" stands for the default
  /// The default as --help shows it; null for a flag without one.
  std::string (*shown_default)(const ExporterFlags& defaults);
  /// Sets the flag from its value (ignored by a flag that takes none). Returns empty when it is
  /// set; else what the flag wants ("a duration such as 10s"), or, starting with ':', another
  /// complaint about the value, which follows the flag's name.
  std::string (*set)(ExporterFlags& flags, std::string_view value);
};

/// Every flag, in --help's order.
const std::vector<ExporterFlag>& exporter_flags();

/// The flags, or the message that says what is wrong with them.
struct ParsedFlags {
  ExporterFlags flags;
  std::string error;  // empty when the command line is good
};

/// Parses the arguments after the program name. Each flag that takes a value takes it as
/// `--flag=VALUE` or as the next argument.
ParsedFlags parse_flags(const std::vector<std::string_view>& args);

/// A duration of whole milliseconds written with a unit: "5ms", "1s", "2m".
std::optional<std::chrono::milliseconds> parse_duration(std::string_view text);

/// The --help text.
std::string usage();

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_FLAGS_H_
