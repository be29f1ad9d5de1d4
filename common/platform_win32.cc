#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <sys/stat.h>
#include <windows.h>

#include "common/platform.h"

namespace boardstat {

std::tm utc_time(std::time_t when) {
  std::tm parts{};
  gmtime_s(&parts, &when);
  return parts;
}

void set_binary_stdout() {
  _setmode(_fileno(stdout), _O_BINARY);
}

int process_id() {
  return _getpid();
}

int create_new_file(const std::string& path) {
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

long write_to_file(int fd, const char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}

bool sync_file(int fd) {
  return _commit(fd) == 0;
}

int close_file(int fd) {
  return _close(fd);
}

bool replace_file(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}

}  // namespace boardstat
