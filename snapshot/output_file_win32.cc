// Windows has no symlinks, devices or FIFOs that -o would meet, nor POSIX modes and owners:
// the path is the file to replace.
#include "snapshot/output_file.h"

namespace boardstat::snapshot {

OutputTarget find_output_target(const std::string& path) {
  OutputTarget target;
  target.file = path;
  return target;
}

int keep_mode_and_owner(const std::string&, int) {
  return 0;
}

void remove_on_signal(const std::string&) {}

void forget_on_signal() {}

}  // namespace boardstat::snapshot
