// Files that a reader sees whole or not at all: the exporter's textfile and the snapshot tool's
// -o. A temporary file is created beside the target (so that the rename stays on one file
// system) under a name no other process uses and that no collector or console reads, written,
// flushed to disk, then renamed over the target. Whatever fails on the way, the temporary file
// is removed and the target left as it was.
#ifndef BOARDSTAT_COMMON_ATOMIC_FILE_H_
#define BOARDSTAT_COMMON_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace boardstat {

/// Each step returns 0 or the errno of its failure; after a failure the temporary file is gone.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // a file never replaced leaves no temporary file behind
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// Creates TARGET.PID.tmp, or TARGET.PID-N.tmp when a file of that name is left from an
  /// earlier process of the same id (not ours to remove).
  int create(const std::string& target);
  /// The open temporary file, for its owner to set its mode; -1 when there is none.
  int descriptor() const { return fd_; }
  /// The temporary file's name, also after a failure, for messages.
  const std::string& temporary() const { return temporary_; }

  /// Writes all of `text`.
  int write(std::string_view text);
  /// Flushes the file to disk and closes it.
  int finish();
  /// Renames the finished file over the target (on Windows too, where a plain rename refuses
  /// an existing target).
  int replace();
  /// Closes and removes the temporary file, leaving the target as it was.
  void discard();

 private:
  int fail(int error);

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  bool exists_ = false;  // the temporary file is there to remove
};

/// Writes all of `text` to the open file `fd`; 0 or the errno of the failure.
int write_all(int fd, std::string_view text);

/// Writes `text` to `path` through an AtomicFile. Returns the error, empty on success.
std::string write_file_atomically(const std::string& path, std::string_view text);

}  // namespace boardstat

#endif  // BOARDSTAT_COMMON_ATOMIC_FILE_H_
