// The textfile mode: the exposition written to a folder that node_exporter's or
// windows_exporter's textfile collector reads.
#ifndef BOARDSTAT_EXPORTER_TEXTFILE_H_
#define BOARDSTAT_EXPORTER_TEXTFILE_H_

#include <string>
#include <string_view>

namespace boardstat {

/// The file the collectors read.
inline constexpr std::string_view kTextfileName = "boardstat.prom";

/// Writes `text` to DIR/boardstat.prom atomically: a temporary file in the same folder (a name
/// the collectors skip), then a rename over the old file, so a reader sees the old file or the
/// new one, never a part. Returns the error, empty on success; no temporary file is left.
std::string write_textfile(const std::string& directory, std::string_view text);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_TEXTFILE_H_
