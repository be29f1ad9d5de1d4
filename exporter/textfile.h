// The textfile mode: the exposition written to a folder that node_exporter's or
// windows_exporter's textfile collector reads.
#ifndef BOARDSTAT_EXPORTER_TEXTFILE_H_
#define BOARDSTAT_EXPORTER_TEXTFILE_H_

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace boardstat {

class Collector;

/// The file the collectors read.
inline constexpr std::string_view kTextfileName = "boardstat.prom";

/// DIR/boardstat.prom.
std::string textfile_path(const std::string& directory);

/// Writes `text` to DIR/boardstat.prom atomically: a temporary file in the same folder (a name
/// the collectors skip), then a rename over the old file, so a reader sees the old file or the
/// new one, never a part. Returns the error, empty on success; no temporary file is left.
std::string write_textfile(const std::string& directory, std::string_view text);

/// Writes the collector's newest exposition every `interval` until a stop is asked for; true
/// then. A failure is reported once and retried each time; false when the file could not be
/// written for a minute. `report` gets each message, without the program's name.
bool run_textfile(const Collector& collector, const std::string& directory,
                  std::chrono::milliseconds interval,
                  const std::function<void(const std::string&)>& report);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_TEXTFILE_H_
