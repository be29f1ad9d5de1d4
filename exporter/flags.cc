#include "exporter/flags.h"

#include <charconv>
#include <limits>

#include "board/discovery.h"
#include "exporter/program.h"

namespace boardstat {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kShortestCollectInterval{1};
constexpr milliseconds kLongestCollectInterval{1000};
constexpr milliseconds kShortestProbeInterval{1000};
// --help's help texts are wrapped to this width.
constexpr size_t kUsageWidth = 92;
constexpr size_t kUsageNameWidth = 28;

struct ProbeSetName {
  ProbeSet set;
  std::string_view name;
};
constexpr ProbeSetName kProbeSetNames[] = {
    {ProbeSet::kNone, "none"}, {ProbeSet::kBasic, "basic"}, {ProbeSet::kAll, "all"}};

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string duration_text(milliseconds duration) {
  const auto count = duration.count();
  if (count != 0 && count % 60000 == 0) return std::to_string(count / 60000) + "m";
  if (count != 0 && count % 1000 == 0) return std::to_string(count / 1000) + "s";
  return std::to_string(count) + "ms";
}

std::optional<size_t> whole_number(std::string_view text) {
  uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// A duration from `low` to `high`, or nothing.
std::optional<milliseconds> duration_within(std::string_view text, milliseconds low,
                                            milliseconds high = milliseconds::max()) {
  const std::optional<milliseconds> duration = parse_duration(text);
  if (!duration || *duration < low || *duration > high) return std::nullopt;
  return duration;
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

// --collect.vfg-name=N=NAME, given once per VFG; returns as ExporterFlag::set does.
std::string set_vfg_name(std::vector<std::string>& names, std::string_view value) {
  const size_t equals = value.find('=');
  size_t vfg = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), vfg);
  if (equals == std::string_view::npos || error != std::errc() || end != value.data() + equals ||
      equals + 1 == value.size()) {
    return "VFG=NAME, such as 0=\"line 3 top\"";
  }
  const std::string_view name = value.substr(equals + 1);
  const std::string vfg_text = "VFG " + std::to_string(vfg);
  if (vfg >= kMaxVfgs) {
    return ": " + vfg_text + " is past the last, " + std::to_string(kMaxVfgs - 1);
  }
  if (vfg < names.size() && !names[vfg].empty()) {
    return ": " + vfg_text + " is named twice";
  }
  const std::optional<size_t> characters = printable_characters(name);
  if (!characters) {
    return ": the name of " + vfg_text + " holds a control character or bytes that are not UTF-8";
  }
  if (*characters > kLongestVfgName) {
    return ": the name of " + vfg_text + " has " + std::to_string(*characters) +
           " characters, at most " + std::to_string(kLongestVfgName);
  }
  for (size_t other = 0; other < names.size(); ++other) {
    if (names[other] == name) {
      return ": " + quoted(name) + " names VFG " + std::to_string(other) + " and " + vfg_text;
    }
  }
  if (names.size() <= vfg) names.resize(vfg + 1);
  names[vfg] = name;
  return {};
}

const std::vector<ExporterFlag> kFlags = {
    {"--web.listen-address", "", "ADDR", "serve HTTP on ADDR, HOST:PORT or :PORT (default {})",
     [](const ExporterFlags& f) { return f.http.listen_address; },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       if (value.find(':') == std::string_view::npos) return "HOST:PORT or :PORT";
       f.http.listen_address = value;
       return {};
     }},
    {"--web.telemetry-path", "", "PATH", "serve the metrics at PATH (default {})",
     [](const ExporterFlags& f) { return f.http.telemetry_path; },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       if (value.size() < 2 || value[0] != '/') return "a path below /, such as /metrics";
       f.http.telemetry_path = value;
       return {};
     }},
    {"--web.config.file", "", "FILE",
     "TLS and passwords, in the Prometheus exporters' web configuration format (YAML); taken up "
     "again when it changes",
     nullptr,
     [](ExporterFlags& f, std::string_view value) -> std::string {
       if (value.empty()) return "a file";
       f.http.web_config_file = value;
       return {};
     }},
    {"--web.max-requests", "", "N",
     "answer at most N requests at once, 503 past it (default {}, 0 for no limit)",
     [](const ExporterFlags& f) { return std::to_string(f.http.max_requests); },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       const std::optional<size_t> number = whole_number(value);
       if (!number) return "a whole number";
       f.http.max_requests = *number;
       return {};
     }},
    {"--web.max-connections", "", "N", "keep at most N connections open (default {})",
     [](const ExporterFlags& f) { return std::to_string(f.http.max_connections); },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       const std::optional<size_t> number = whole_number(value);
       if (!number || *number == 0) return "a whole number from 1";
       f.http.max_connections = *number;
       return {};
     }},
    {"--web.read-timeout", "", "DURATION",
     "time for a whole request, or an idle connection (default {})",
     [](const ExporterFlags& f) { return duration_text(f.http.read_timeout); },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       const std::optional<milliseconds> duration = duration_within(value, milliseconds(1));
       if (!duration) return "a duration such as 10s";
       f.http.read_timeout = *duration;
       return {};
     }},
    {"--web.write-timeout", "", "DURATION", "time to write an answer (default {})",
     [](const ExporterFlags& f) { return duration_text(f.http.write_timeout); },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       const std::optional<milliseconds> duration = duration_within(value, milliseconds(1));
       if (!duration) return "a duration such as 10s";
       f.http.write_timeout = *duration;
       return {};
     }},
    {"--web.disable-exporter-metrics", "", "",
     "leave out boardstat_exporter_build_info, process_* and boardstat_exporter_http_*", nullptr,
     [](ExporterFlags& f, std::string_view) -> std::string {
       f.exporter_metrics = false;
       return {};
     }},
    {"--textfile.directory", "", "DIR",
     "no HTTP: write DIR/boardstat.prom every second, atomically", nullptr,
     [](ExporterFlags& f, std::string_view value) -> std::string {
       if (value.empty()) return "a folder";
       f.textfile_directory = value;
       return {};
     }},
    {"--once", "", "",
     "one exposition to standard output (or, with --textfile.directory, one file), then exit",
     nullptr,
     [](ExporterFlags& f, std::string_view) -> std::string {
       f.once = true;
       return {};
     }},
    {"--collect.interval", "", "DURATION",
     "poll the acquired counts this often (default {}, 1ms to 1s)",
     [](const ExporterFlags& f) { return duration_text(f.collector.collect_interval); },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       const std::optional<milliseconds> duration =
           duration_within(value, kShortestCollectInterval, kLongestCollectInterval);
       if (!duration) return "a duration such as 5ms, from 1ms to 1s";
       f.collector.collect_interval = *duration;
       return {};
     }},
    {"--collect.probe", "", "SET",
     "rate probe figures: none, basic (camera clock, frame and line rate) or all (default {}; "
     "--once measures only when given)",
     [](const ExporterFlags& f) {
       for (const ProbeSetName& p : kProbeSetNames) {
         if (p.set == f.collector.probe) return std::string(p.name);
       }
       return std::string();
     },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       for (const ProbeSetName& p : kProbeSetNames) {
         if (p.name != value) continue;
         f.collector.probe = p.set;
         f.probe_given = true;
         return {};
       }
       return "none, basic or all";
     }},
    {"--collect.probe-interval", "", "DURATION",
     "start a round of probe figures this often (default {})",
     [](const ExporterFlags& f) { return duration_text(f.collector.probe_interval); },
     [](ExporterFlags& f, std::string_view value) -> std::string {
       const std::optional<milliseconds> duration = duration_within(value, kShortestProbeInterval);
       if (!duration) return "a duration such as 10s, 1s or more";
       f.collector.probe_interval = *duration;
       return {};
     }},
    {"--collect.vfg-name", "", "VFG=NAME",
     "the site's name for VFG number VFG, such as 2=\"line 3 top\", as boardstat_vfg_info's label "
     "name; once per VFG, names unique, at most 64 characters",
     nullptr,
     [](ExporterFlags& f, std::string_view value) {
       return set_vfg_name(f.collector.vfg_names, value);
     }},
    {"--help", "-h", "", "this text", nullptr,
     [](ExporterFlags& f, std::string_view) -> std::string {
       f.help = true;
       return {};
     }},
    {"--version", "", "", "the version", nullptr,
     [](ExporterFlags& f, std::string_view) -> std::string {
       f.version = true;
       return {};
     }},
};

const ExporterFlag* find_flag(std::string_view name) {
  for (const ExporterFlag& flag : kFlags) {
    if (name == flag.name || (!flag.alias.empty() && name == flag.alias)) return &flag;
  }
  return nullptr;
}

// `text` broken into lines at blanks, each but the first indented to `indent`, none past
// kUsageWidth where a word allows.
std::string wrapped(std::string_view text, size_t indent) {
  std::string out;
  size_t column = indent;
  while (!text.empty()) {
    const size_t blank = text.find(' ');
    const std::string_view word = text.substr(0, blank);
    text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
    if (column > indent && column + 1 + word.size() > kUsageWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
  return out;
}

std::string help_line(const ExporterFlag& flag, const ExporterFlags& defaults) {
  std::string name = flag.alias.empty() ? std::string() : std::string(flag.alias) + ", ";
  name += flag.name;
  if (!flag.value_name.empty()) name += "=" + std::string(flag.value_name);
  std::string help(flag.help);
  const size_t mark = help.find("{}");
  if (mark != std::string::npos && flag.shown_default) {
    help.replace(mark, 2, flag.shown_default(defaults));
  }
  const size_t indent = 2 + kUsageNameWidth + 1;
  std::string line = "  " + name;
  line += name.size() <= kUsageNameWidth ? std::string(kUsageNameWidth + 1 - name.size(), ' ')
                                         : "\n" + std::string(indent, ' ');
  return line + wrapped(help, indent) + "\n";
}

}  // namespace

const std::vector<ExporterFlag>& exporter_flags() {
  return kFlags;
}

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
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const ExporterFlag* flag = find_flag(name);
    if (flag == nullptr || (flag->value_name.empty() && equals != std::string_view::npos)) {
      parsed.error = arg.substr(0, 2) == "--" ? "unknown flag " + std::string(name)
                                              : "unexpected argument " + quoted(arg);
      return parsed;
    }
    std::string_view value;
    if (flag->value_name.empty() || equals != std::string_view::npos) {
      value = equals == std::string_view::npos ? std::string_view() : arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      parsed.error = std::string(name) + " wants a value";
      return parsed;
    }
    const std::string complaint = flag->set(parsed.flags, value);
    if (complaint.empty()) continue;
    parsed.error = std::string(name);
    if (complaint[0] == ':') {
      parsed.error += complaint;
    } else {
      parsed.error += " wants " + complaint;
      if (!value.empty()) parsed.error += ", not " + quoted(value);
    }
    return parsed;
  }
  return parsed;
}

std::string usage() {
  std::string text = "Usage: " + std::string(kProgram) +
                     " [FLAG]...\nExposes the frame grabber boards' counts, states, error latches "
                     "and rate probe figures to\nPrometheus.\n\n";
  const ExporterFlags defaults;
  for (const ExporterFlag& flag : kFlags) text += help_line(flag, defaults);
  return text + "\nDurations: a whole number and ms, s or m. Exit status: 0 after SIGINT or " +
         "SIGTERM or --once,\n" + std::to_string(kExitCannotServe) +
         " when the exporter cannot listen or write, " + std::to_string(kExitBadFlags) +
         " for a bad command line or web configuration file.\n";
}

}  // namespace boardstat
