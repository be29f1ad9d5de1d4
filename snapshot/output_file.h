// The snapshot tool's -o FILE, treated as a careful Unix tool treats its output: a regular file
// (or a missing one) is replaced atomically and keeps its mode and owner, a symlink is followed
// and its target replaced, and anything else (a device, a FIFO) is written in place as the
// shell's `>` would. Every error names the path as the user gave it.
#ifndef BOARDSTAT_SNAPSHOT_OUTPUT_FILE_H_
#define BOARDSTAT_SNAPSHOT_OUTPUT_FILE_H_

#include <string>
#include <string_view>

namespace boardstat::snapshot {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // an output never written leaves no temporary file behind
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
  std::string error(const char* what, int error_number) const;
  void discard();

  std::string path_;       // as given
  std::string target_;     // the file that is replaced (links followed)
  std::string temporary_;  // beside target_; empty when writing in place
  int fd_ = -1;
};

}  // namespace boardstat::snapshot

#endif  // BOARDSTAT_SNAPSHOT_OUTPUT_FILE_H_
