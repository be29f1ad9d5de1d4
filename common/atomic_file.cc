#include "common/atomic_file.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "common/platform.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace boardstat {

bool replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
#else
  return rename(from.c_str(), to.c_str()) == 0;
#endif
}

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
  if (replace_file(temporary, target)) return {};
  const int rename_errno = errno;
  remove(temporary.c_str());
  return "cannot rename " + temporary + " to " + target + ": " + strerror(rename_errno);
}

}  // namespace boardstat
