// VFG locks on POSIX: one file per VFG in /run/lock (world-writable with the sticky bit on
// Debian, and reached by the exporter's service as by a user's console), locked with flock.
// The kernel lets a lock go when its holder dies.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "board/vfg_lock.h"

namespace boardstat::vfg_lock_platform {

intptr_t open_lock(uint32_t index, const char* what, std::string* problem) {
  const char* dir = getenv("BOARDSTAT_LOCK_DIR");
  const std::string path = std::string(dir != nullptr && dir[0] != '\0' ? dir : "/run/lock") +
                           "/boardstat-vfg-" + std::to_string(index) + "." + what;
  // Opened for reading, which is all flock needs, so that a file made by another user serves.
  // An existing file is opened without O_CREAT: in a sticky folder, protected_regular refuses
  // O_CREAT on another user's file.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    fd = open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fchmod(fd, 0666);  // past the umask: any user may open it after us
    } else if (errno == EEXIST) {
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
  }
  if (fd < 0) *problem = path + ": " + strerror(errno);
  return fd;
}

bool take(intptr_t lock, uint32_t wait_ms) {
  const int fd = static_cast<int>(lock);
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  if (wait_ms == 0) return false;
  // flock has no time limit of its own: try again every millisecond.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  const timespec pause{0, 1000000};
  while (std::chrono::steady_clock::now() < deadline) {
    nanosleep(&pause, nullptr);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  }
  return false;
}

void give_back(intptr_t lock) {
  flock(static_cast<int>(lock), LOCK_UN);
}

}  // namespace boardstat::vfg_lock_platform
