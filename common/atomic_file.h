// Files that a reader sees whole or not at all: the exporter's textfile is written to a temporary
// file beside the target, one that the collectors skip, then renamed over it. (The snapshot
// tool's -o follows rules of its own, in snapshot/output_file.h, with the same temporary names and
// the same replacing rename.)
#ifndef BOARDSTAT_COMMON_ATOMIC_FILE_H_
#define BOARDSTAT_COMMON_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace boardstat {

/// Renames `from` over `to`, replacing it also on Windows (where rename() refuses an existing
/// target). False with errno set when it cannot.
bool replace_file(const std::string& from, const std::string& to);

/// Writes `text` to `path` atomically: PATH.PID.tmp in the same folder (so the rename stays on
/// one file system; the name ends in neither .prom nor .board), then a rename over `path`.
/// Returns the error, empty on success; no temporary file is left behind.
std::string write_file_atomically(const std::string& path, std::string_view text);

}  // namespace boardstat

#endif  // BOARDSTAT_COMMON_ATOMIC_FILE_H_
