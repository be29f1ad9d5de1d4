#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdio.h>

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

}  // namespace boardstat
