#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "common/platform.h"

namespace boardstat {

std::tm utc_time(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  return parts;
}

void set_binary_stdout() {}

int process_id() {
  return static_cast<int>(getpid());
}

int create_new_file(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

long write_to_file(int fd, const char* data, size_t size) {
  return static_cast<long>(write(fd, data, size));
}

bool sync_file(int fd) {
  return fsync(fd) == 0;
}

int close_file(int fd) {
  return close(fd);
}

bool replace_file(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace boardstat
