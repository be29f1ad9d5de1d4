#include "exporter/exposition.h"

#include <charconv>
#include <cmath>

namespace boardstat {
namespace {

std::string escape(std::string_view text, bool quotes) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '"' && quotes) {
      out += "\\\"";
    } else {
      out += c;
    }
  }
  return out;
}

std::string vfg_label(size_t index) {
  return std::to_string(index);
}

void write_up(ExpositionWriter& out, const Snapshot& snapshot) {
  bool any_open = false;
  for (const VfgSnapshot& vfg : snapshot.vfgs) any_open = any_open || vfg.up;
  out.family("boardstat_up", kGauge, "1 while at least one VFG is open and collected.");
  out.sample("boardstat_up", {}, snapshot.collected && any_open ? "1" : "0");
  if (snapshot.board_library.loaded) {
    out.family("boardstat_board_library_info", kGauge,
               "The board access library the VFGs are read through: its file, and whether it is "
               "the simulated board.");
    out.sample("boardstat_board_library_info",
               {{"path", snapshot.board_library.path},
                {"simulated", snapshot.board_library.simulated ? "true" : "false"}},
               "1");
  }
  out.family("boardstat_vfgs", kGauge, "VFGs the board library found.");
  out.sample("boardstat_vfgs", {}, format_value(static_cast<uint64_t>(snapshot.vfgs_found)));
  out.family("boardstat_vfg_up", kGauge,
             "1 when the VFG is open and its last collection succeeded, 0 when it cannot be "
             "opened.");
  for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
    out.sample("boardstat_vfg_up", {{"vfg", vfg_label(v)}}, snapshot.vfgs[v].up ? "1" : "0");
  }
  out.family("boardstat_vfg_info", kGauge, "The name the site gave the VFG (--collect.vfg-name).");
  for (size_t v = 0; v < snapshot.vfgs.size() && v < snapshot.vfg_names.size(); ++v) {
    if (snapshot.vfg_names[v].empty()) continue;
    out.sample("boardstat_vfg_info", {{"vfg", vfg_label(v)}, {"name", snapshot.vfg_names[v]}}, "1");
  }
  out.family("boardstat_firmware_info", kGauge, "Firmware build date and time of the VFG.");
  for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
    const VfgSnapshot& vfg = snapshot.vfgs[v];
    if (!vfg.up) continue;
    out.sample("boardstat_firmware_info",
               {{"vfg", vfg_label(v)},
                {"build_date", vfg.firmware_date},
                {"build_time", vfg.firmware_time}},
               "1");
  }
}

template <typename Value>
void write_per_vfg(ExpositionWriter& out, const Snapshot& snapshot, std::string_view name,
                   Value value_of) {
  for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
    if (!snapshot.vfgs[v].up) continue;
    out.sample(name, {{"vfg", vfg_label(v)}}, format_value(value_of(snapshot.vfgs[v])));
  }
}

void write_counts(ExpositionWriter& out, const Snapshot& snapshot) {
  for (size_t i = 0; i < kAcquiredCountCount; ++i) {
    const CounterMetric& metric = kAcquiredCounts[i];
    out.family(metric.name, kCounter, metric.help);
    write_per_vfg(out, snapshot, metric.name,
                  [i](const VfgSnapshot& vfg) { return vfg.acquired[i]; });
  }
  out.family("boardstat_acquired_clears_total", kCounter,
             "Clears of the acquired counts seen by the exporter (the counters above restart).");
  write_per_vfg(out, snapshot, "boardstat_acquired_clears_total",
                [](const VfgSnapshot& vfg) { return vfg.acquired_clears; });
  for (size_t i = 0; i < kEngineCountCount; ++i) {
    const CounterMetric& metric = kEngineCounts[i];
    out.family(metric.name, kCounter, metric.help);
    write_per_vfg(out, snapshot, metric.name,
                  [i](const VfgSnapshot& vfg) { return vfg.engine_counts[i]; });
  }
}

void write_states_and_flags(ExpositionWriter& out, const Snapshot& snapshot) {
  for (size_t i = 0; i < kStateSetCount; ++i) {
    const StateSetMetric& metric = kStateSets[i];
    out.family(metric.name, kGauge, metric.help);
    for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
      const VfgSnapshot& vfg = snapshot.vfgs[v];
      if (!vfg.up) continue;
      for (size_t s = 0; s < metric.state_count; ++s) {
        out.sample(metric.name, {{"vfg", vfg_label(v)}, {"state", metric.states[s]}},
                   vfg.states[i] == s ? "1" : "0");
      }
    }
  }
  for (size_t i = 0; i < kFlagSetCount; ++i) {
    const FlagMetric& metric = kFlagSets[i];
    out.family(metric.name, kGauge, metric.help);
    for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
      const VfgSnapshot& vfg = snapshot.vfgs[v];
      if (!vfg.up) continue;
      for (size_t f = 0; f < metric.flag_count; ++f) {
        out.sample(metric.name, {{"vfg", vfg_label(v)}, {"flag", metric.flags[f].name}},
                   vfg.flags[i][f] ? "1" : "0");
      }
    }
  }
  constexpr std::string_view kLatchSets = "boardstat_error_latch_sets_total";
  out.family(kLatchSets, kCounter,
             "Error latches the collector saw go from 0 to 1; one set before the exporter "
             "started is not counted. panel: the console panel whose Errors line shows it.");
  for (size_t i = 0; i < kFlagSetCount; ++i) {
    const FlagMetric& metric = kFlagSets[i];
    if (metric.latch_panel.empty()) continue;
    for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
      const VfgSnapshot& vfg = snapshot.vfgs[v];
      if (!vfg.up) continue;
      for (size_t f = 0; f < metric.flag_count; ++f) {
        out.sample(
            kLatchSets,
            {{"vfg", vfg_label(v)}, {"flag", metric.flags[f].name}, {"panel", metric.latch_panel}},
            format_value(vfg.latch_sets[i][f]));
      }
    }
  }
}

bool figure_measured(const Snapshot& snapshot, size_t figure) {
  for (const VfgSnapshot& vfg : snapshot.vfgs) {
    if (vfg.up && vfg.probe[figure]) return true;
  }
  return false;
}

// Figures of one family stand next to each other in the table: the family's header goes out
// before its first figure that has a value.
void write_probe(ExpositionWriter& out, const Snapshot& snapshot) {
  std::string_view family_written;
  bool any = false;
  for (size_t f = 0; f < kProbeFigureCount; ++f) {
    const ProbeFigure& figure = kProbeFigures[f];
    if (!figure_measured(snapshot, f)) continue;
    any = true;
    if (figure.family != family_written) {
      out.family(figure.family, kGauge, figure.help);
      family_written = figure.family;
    }
    for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
      const VfgSnapshot& vfg = snapshot.vfgs[v];
      if (!vfg.up || !vfg.probe[f]) continue;
      const std::string value = format_value(vfg.probe[f]->value);
      if (figure.label_name.empty()) {
        out.sample(figure.family, {{"vfg", vfg_label(v)}}, value);
      } else {
        out.sample(figure.family, {{"vfg", vfg_label(v)}, {figure.label_name, figure.label_value}},
                   value);
      }
    }
  }
  if (!any) return;
  constexpr std::string_view kMeasured = "boardstat_probe_measured_timestamp_seconds";
  out.family(kMeasured, kGauge,
             "When the rate probe figure was last measured, in seconds since 1970; measurement "
             "names the figure's family, whose own label (cc, encoder) it keeps. A figure whose "
             "measurement ran out of time is left out.");
  for (size_t f = 0; f < kProbeFigureCount; ++f) {
    for (size_t v = 0; v < snapshot.vfgs.size(); ++v) {
      const VfgSnapshot& vfg = snapshot.vfgs[v];
      if (!vfg.up || !vfg.probe[f]) continue;
      const ProbeFigure& figure = kProbeFigures[f];
      const std::string when = format_value(vfg.probe[f]->measured_unix_seconds);
      if (figure.label_name.empty()) {
        out.sample(kMeasured, {{"vfg", vfg_label(v)}, {"measurement", figure.family}}, when);
      } else {
        out.sample(kMeasured,
                   {{"vfg", vfg_label(v)},
                    {"measurement", figure.family},
                    {figure.label_name, figure.label_value}},
                   when);
      }
    }
  }
}

void write_collector(ExpositionWriter& out, const Snapshot& snapshot,
                     std::chrono::steady_clock::time_point now) {
  out.family("boardstat_collector_duration_seconds", kGauge,
             "Duration of the collector's last refresh of every VFG's registers.");
  out.sample("boardstat_collector_duration_seconds", {}, format_value(snapshot.collection_seconds));
  out.family("boardstat_collector_data_age_seconds", kGauge,
             "Age of the newest collected data when this exposition was written.");
  const double age = std::chrono::duration<double>(now - snapshot.published).count();
  out.sample("boardstat_collector_data_age_seconds", {}, format_value(age < 0 ? 0.0 : age));
  // Over HTTP the text is written at each refresh and sent as it is, so the age says little
  // between refreshes; the refresh's own time says when the data were read, whenever it is
  // scraped.
  out.family("boardstat_collector_last_refresh_timestamp_seconds", kGauge,
             "When the collector published the data of this exposition, in seconds since 1970.");
  const double wall =
      std::chrono::duration<double>(snapshot.published_wall.time_since_epoch()).count();
  out.sample("boardstat_collector_last_refresh_timestamp_seconds", {}, format_value(wall));
  out.family("boardstat_collector_count_polls_total", kCounter,
             "Polls of the acquired counts (one every collect interval).");
  out.sample("boardstat_collector_count_polls_total", {}, format_value(snapshot.count_polls));
}

}  // namespace

std::string escape_label_value(std::string_view value) {
  return escape(value, true);
}

std::string escape_help(std::string_view help) {
  return escape(help, false);
}

std::string format_value(uint64_t value) {
  return std::to_string(value);
}

std::string format_value(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

void ExpositionWriter::family(std::string_view name, std::string_view type, std::string_view help) {
  text_ += "# HELP ";
  text_ += name;
  text_ += ' ';
  text_ += escape_help(help);
  text_ += "\n# TYPE ";
  text_ += name;
  text_ += ' ';
  text_ += type;
  text_ += '\n';
}

void ExpositionWriter::sample(std::string_view name, std::initializer_list<Label> labels,
                              std::string_view value) {
  text_ += name;
  if (labels.size() != 0) {
    char separator = '{';
    for (const Label& label : labels) {
      text_ += separator;
      text_ += label.first;
      text_ += "=\"";
      text_ += escape_label_value(label.second);
      text_ += '"';
      separator = ',';
    }
    text_ += '}';
  }
  text_ += ' ';
  text_ += value;
  text_ += '\n';
}

std::string format_exposition(const Snapshot& snapshot, std::chrono::steady_clock::time_point now) {
  ExpositionWriter out;
  write_up(out, snapshot);
  write_counts(out, snapshot);
  write_states_and_flags(out, snapshot);
  write_probe(out, snapshot);
  out.family(kSkippedProbeRounds, kCounter, kSkippedProbeRoundsHelp);
  write_per_vfg(out, snapshot, kSkippedProbeRounds,
                [](const VfgSnapshot& vfg) { return vfg.skipped_probe_rounds; });
  write_collector(out, snapshot, now);
  return out.take();
}

}  // namespace boardstat
