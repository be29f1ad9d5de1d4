#include "exporter/flags.h"

#include <charconv>
#include <limits>

#include "board/discovery.h"

namespace boardstat {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kShortestCollectInterval{1};
constexpr milliseconds kLongestCollectInterval{1000};
constexpr milliseconds kShortestProbeInterval{1000};

std::optional<ProbeSet> parse_probe_set(std::string_view text) {
  if (text == "none") return ProbeSet::kNone;
  if (text == "basic") return ProbeSet::kBasic;
  if (text == "all") return ProbeSet::kAll;
  return std::nullopt;
}

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

constexpr size_t kLongestVfgName = 64;  // characters

// Characters of well-formed UTF-8 without control characters, or nullopt: a label value
// carries any text, but a name with a line feed or broken bytes would only show garbled.
std::optional<size_t> printable_characters(std::string_view text) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++characters) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size() || lead < 0x20 || lead == 0x7F) return {};
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return {};
    }
    i += length;
  }
  return characters;
}

// --collect.vfg-name=N=NAME, given once per VFG.
std::string set_vfg_name(std::vector<std::string>& names, std::string_view value) {
  constexpr std::string_view kFlag = "--collect.vfg-name";
  const size_t equals = value.find('=');
  size_t vfg = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), vfg);
  if (equals == std::string_view::npos || error != std::errc() || end != value.data() + equals ||
      equals + 1 == value.size()) {
    return std::string(kFlag) + " wants VFG=NAME, such as 0=\"line 3 top\", not " + quoted(value);
  }
  const std::string_view name = value.substr(equals + 1);
  const std::string vfg_text = "VFG " + std::to_string(vfg);
  if (vfg >= kMaxVfgs) {
    return std::string(kFlag) + ": " + vfg_text + " is past the last, " +
           std::to_string(kMaxVfgs - 1);
  }
  if (vfg < names.size() && !names[vfg].empty()) {
    return std::string(kFlag) + ": " + vfg_text + " is named twice";
  }
  const std::optional<size_t> characters = printable_characters(name);
  if (!characters) {
    return std::string(kFlag) + ": the name of " + vfg_text +
           " holds a control character or bytes that are not UTF-8";
  }
  if (*characters > kLongestVfgName) {
    return std::string(kFlag) + ": the name of " + vfg_text + " has " +
           std::to_string(*characters) + " characters, at most " + std::to_string(kLongestVfgName);
  }
  for (size_t other = 0; other < names.size(); ++other) {
    if (names[other] == name) {
      return std::string(kFlag) + ": " + quoted(name) + " names VFG " + std::to_string(other) +
             " and " + vfg_text;
    }
  }
  if (names.size() <= vfg) names.resize(vfg + 1);
  names[vfg] = name;
  return {};
}

// Sets the flag `name` from `value`; returns the error, empty when it is fine.
std::string set_flag(ExporterFlags& flags, std::string_view name, std::string_view value) {
  if (name == "--web.listen-address") {
    if (value.find(':') == std::string_view::npos) {
      return "--web.listen-address wants HOST:PORT or :PORT, not " + quoted(value);
    }
    flags.listen_address = value;
  } else if (name == "--web.telemetry-path") {
    if (value.size() < 2 || value[0] != '/') {
      return "--web.telemetry-path wants a path below /, such as /metrics, not " + quoted(value);
    }
    flags.telemetry_path = value;
  } else if (name == "--textfile.directory") {
    if (value.empty()) return "--textfile.directory wants a folder";
    flags.textfile_directory = value;
  } else if (name == "--web.config.file") {
    if (value.empty()) return "--web.config.file wants a file";
    flags.web_config_file = value;
  } else if (name == "--web.max-requests" || name == "--web.max-connections") {
    const bool requests = name == "--web.max-requests";
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size() || (!requests && number == 0)) {
      return std::string(name) + " wants a whole number" + (requests ? "" : " from 1") + ", not " +
             quoted(value);
    }
    (requests ? flags.max_requests : flags.max_connections) = number;
  } else if (name == "--web.read-timeout" || name == "--web.write-timeout") {
    const std::optional<milliseconds> duration = parse_duration(value);
    if (!duration || duration->count() == 0) {
      return std::string(name) + " wants a duration such as 10s, not " + quoted(value);
    }
    (name == "--web.read-timeout" ? flags.read_timeout : flags.write_timeout) = *duration;
  } else if (name == "--collect.interval" || name == "--collect.probe-interval") {
    const bool collect = name == "--collect.interval";
    const std::optional<milliseconds> duration = parse_duration(value);
    const milliseconds low = collect ? kShortestCollectInterval : kShortestProbeInterval;
    const milliseconds high = collect ? kLongestCollectInterval : milliseconds::max();
    if (!duration || *duration < low || *duration > high) {
      return std::string(name) + " wants a duration such as " +
             (collect ? "5ms, from 1ms to 1s" : "10s, 1s or more") + ", not " + quoted(value);
    }
    (collect ? flags.collector.collect_interval : flags.collector.probe_interval) = *duration;
  } else if (name == "--collect.probe") {
    const std::optional<ProbeSet> set = parse_probe_set(value);
    if (!set) return "--collect.probe wants none, basic or all, not " + quoted(value);
    flags.collector.probe = *set;
    flags.probe_given = true;
  } else if (name == "--collect.vfg-name") {
    return set_vfg_name(flags.collector.vfg_names, value);
  } else {
    return "unknown flag " + std::string(name);
  }
  return {};
}

bool takes_value(std::string_view name) {
  return name == "--web.listen-address" || name == "--web.telemetry-path" ||
         name == "--web.config.file" || name == "--web.max-requests" ||
         name == "--web.max-connections" || name == "--web.read-timeout" ||
         name == "--web.write-timeout" || name == "--textfile.directory" ||
         name == "--collect.interval" || name == "--collect.probe" ||
         name == "--collect.probe-interval" || name == "--collect.vfg-name";
}

}  // namespace

std::optional<milliseconds> parse_duration(std::string_view text) {
  uint64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  const std::string_view unit(end, static_cast<size_t>(text.data() + text.size() - end));
  uint64_t per_unit = 0;
  if (unit == "ms") {
    per_unit = 1;
  } else if (unit == "s") {
    per_unit = 1000;
  } else if (unit == "m") {
    per_unit = 60000;
  } else {
    return std::nullopt;
  }
  if (number > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) / per_unit) {
    return std::nullopt;
  }
  return milliseconds(number * per_unit);
}

ParsedFlags parse_flags(const std::vector<std::string_view>& args) {
  ParsedFlags parsed;
  ExporterFlags& flags = parsed.flags;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      flags.help = true;
      continue;
    }
    if (arg == "--version") {
      flags.version = true;
      continue;
    }
    if (arg == "--once") {
      flags.once = true;
      continue;
    }
    if (arg == "--web.disable-exporter-metrics") {
      flags.exporter_metrics = false;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    if (!takes_value(name)) {
      parsed.error = arg.substr(0, 2) == "--" ? "unknown flag " + std::string(name)
                                              : "unexpected argument " + quoted(arg);
      return parsed;
    }
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      parsed.error = std::string(name) + " wants a value";
      return parsed;
    }
    parsed.error = set_flag(flags, name, value);
    if (!parsed.error.empty()) return parsed;
  }
  return parsed;
}

std::string usage() {
  return R"(Usage: boardstat_exporter [FLAG]...
Exposes the frame grabber boards' counts, states, error latches and rate probe figures to
Prometheus.

  --web.listen-address=ADDR    serve HTTP on ADDR, HOST:PORT or :PORT (default :10208)
  --web.telemetry-path=PATH    serve the metrics at PATH (default /metrics)
  --web.config.file=FILE       TLS and passwords, in the Prometheus exporters' web
                               configuration format (YAML); taken up again when it changes
  --web.max-requests=N         answer at most N requests at once, 503 past it (default 40,
                               0 for no limit)
  --web.max-connections=N      keep at most N connections open (default 64)
  --web.read-timeout=DURATION  time for a whole request, or an idle connection (default 10s)
  --web.write-timeout=DURATION time to write an answer (default 10s)
  --web.disable-exporter-metrics
                               leave out boardstat_exporter_build_info, process_* and
                               boardstat_exporter_http_*
  --textfile.directory=DIR     no HTTP: write DIR/boardstat.prom every second, atomically
  --once                       one exposition to standard output (or, with
                               --textfile.directory, one file), then exit
  --collect.interval=DURATION  poll the acquired counts this often (default 5ms, 1ms to 1s)
  --collect.probe=SET          rate probe figures: none, basic (camera clock, frame and line
                               rate) or all (default basic; --once measures only when given)
  --collect.probe-interval=DURATION
                               start a round of probe figures this often (default 10s)
  --collect.vfg-name=VFG=NAME  the site's name for VFG number VFG, such as 2="line 3 top",
                               as boardstat_vfg_info's label name; once per VFG, names
                               unique, at most 64 characters
  -h, --help                   this text
  --version                    the version

Durations: a whole number and ms, s or m. Exit status: 0 after SIGINT or SIGTERM or --once,
1 when the exporter cannot listen or write, 2 for a bad command line or web configuration file.
)";
}

}  // namespace boardstat
