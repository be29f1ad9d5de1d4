#include "common/atomic_file.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace boardstat {
namespace {

int process_id() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Replaces `to` with `from`; the error text, empty on success.
std::string replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // rename() refuses an existing target on Windows.
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return {};
  }
  return "error " + std::to_string(GetLastError());
#else
  if (rename(from.c_str(), to.c_str()) == 0) return {};
  return strerror(errno);
#endif
}

}  // namespace

std::string write_file_atomically(const std::string& target, std::string_view text) {
  // Not ending in .prom or .board, so that no collector or console reads it half written.
  const std::string temporary = target + "." + std::to_string(process_id()) + ".tmp";
  FILE* file = fopen(temporary.c_str(), "wb");
  if (file == nullptr) return "cannot write " + temporary + ": " + strerror(errno);
  const bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
  const int write_errno = errno;
  const bool closed = fclose(file) == 0;
  if (!written || !closed) {
    remove(temporary.c_str());
    return "cannot write " + temporary + ": " + strerror(written ? errno : write_errno);
  }
  const std::string error = replace_file(temporary, target);
  if (error.empty()) return {};
  remove(temporary.c_str());
  return "cannot rename " + temporary + " to " + target + ": " + error;
}

}  // namespace boardstat
