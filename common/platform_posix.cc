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

}  // namespace boardstat
