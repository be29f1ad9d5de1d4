#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "snapshot/output_file.h"

namespace boardstat::snapshot {
namespace {

// The temporary file, removed when the program is stopped by a signal while it measures.
char g_temporary[PATH_MAX + 32];
volatile sig_atomic_t g_has_temporary = 0;

extern "C" void remove_temporary_and_stop(int signal_number) {
  if (g_has_temporary) unlink(g_temporary);
  ::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// The file that a path names once symlinks are followed, as the kernel follows them; `st` gets
// its status. False with errno set when it cannot be looked at; a missing file is no error
// (errno ENOENT, the target is where it would be created).
bool follow_links(const std::string& path, std::string& target, struct stat& st) {
  target = path;
  for (int hops = 0; hops < 40; ++hops) {
    if (lstat(target.c_str(), &st) != 0) return false;
    if (!S_ISLNK(st.st_mode)) return true;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t length = readlink(target.c_str(), link.data(), link.size());
    if (length < 0) return false;
    link.resize(static_cast<size_t>(length));
    if (link.empty() || link[0] == '/') {
      target = link;
    } else {
      const size_t slash = target.rfind('/');
      target = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
    }
  }
  errno = ELOOP;
  return false;
}

}  // namespace

OutputTarget find_output_target(const std::string& path) {
  OutputTarget target;
  struct stat st {};
  const bool exists = follow_links(path, target.file, st);
  if (!exists && errno != ENOENT) {
    target.error = errno;
  } else if (exists && !S_ISREG(st.st_mode)) {
    target.in_place = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    if (target.in_place < 0) target.error = errno;
  }
  return target;
}

int keep_mode_and_owner(const std::string& file, int fd) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) return 0;  // a new file: the umask's mode, our owner
  // The owner first: a change of owner clears the set-user-ID bits that the mode then sets.
  // Only root may give a file away; anyone else's file keeps its mode at least.
  if (st.st_uid != geteuid() || st.st_gid != getegid()) {
    if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
  }
  return fchmod(fd, st.st_mode & 07777) == 0 ? 0 : errno;
}

void remove_on_signal(const std::string& temporary) {
  if (temporary.size() >= sizeof g_temporary) return;
  memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
  g_has_temporary = 1;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, remove_temporary_and_stop);
}

void forget_on_signal() {
  g_has_temporary = 0;
}

}  // namespace boardstat::snapshot
