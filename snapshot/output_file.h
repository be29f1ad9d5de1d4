// The snapshot tool's -o FILE, treated as a careful Unix tool treats its output: a regular file
// (or a missing one) is replaced atomically and keeps its mode and owner, a symlink is followed
// and its target replaced, and anything else (a device, a FIFO) is written in place as the
// shell's `>` would. Every error names the path as the user gave it.
#ifndef BOARDSTAT_SNAPSHOT_OUTPUT_FILE_H_
#define BOARDSTAT_SNAPSHOT_OUTPUT_FILE_H_

#include <string>
#include <string_view>

#include "common/atomic_file.h"

namespace boardstat::snapshot {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /// Gets `path` ready before anything is measured: opens a device or FIFO for writing (a FIFO
  /// waits for its reader, as `>` does), or creates the temporary file beside the file that
  /// will be replaced. Returns the error, empty on success.
  std::string open(const std::string& path);

  /// Writes `text` and, for a replaced file, renames it into place. Returns the error, empty on
  /// success; on an error a replaced file is left as it was.
  std::string write(std::string_view text);

 private:
  std::string error(const char* what, int error_number);
  void close_in_place();

  std::string path_;     // as given
  AtomicFile replaced_;  // a regular file, or a new one
  int in_place_ = -1;    // a device or FIFO
};

// What differs by platform (output_file_posix.cc, output_file_win32.cc).

/// Where -o PATH goes: the file to replace, PATH with its symlinks followed, or a device or
/// FIFO opened for writing in place (`in_place`). `error` tells why neither is possible.
struct OutputTarget {
  std::string file;
  int in_place = -1;
  int error = 0;
};
OutputTarget find_output_target(const std::string& path);

/// Gives the open file `fd` the mode and owner of `file` when that exists: the owner where the
/// system lets us (root), the mode always. 0 or the errno of the failure.
int keep_mode_and_owner(const std::string& file, int fd);

/// The temporary file is removed if a signal stops the program before it is renamed.
void remove_on_signal(const std::string& temporary);
void forget_on_signal();

}  // namespace boardstat::snapshot

#endif  // BOARDSTAT_SNAPSHOT_OUTPUT_FILE_H_
