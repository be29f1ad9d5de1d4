#include "snapshot/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

#include "common/atomic_file.h"
#include "common/platform.h"

namespace boardstat::snapshot {
namespace {

#ifdef _WIN32

int open_new(const std::string& name) {
  return _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int write_some(int fd, const char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}
int close_file(int fd) {
  return _close(fd);
}

#else

int open_new(const std::string& name) {
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);  // umask as `>`
}
ssize_t write_some(int fd, const char* data, size_t size) {
  return ::write(fd, data, size);
}
int close_file(int fd) {
  return ::close(fd);
}

// The temporary file, removed when the program is stopped by a signal while it measures.
char g_temporary[PATH_MAX + 32];
volatile sig_atomic_t g_has_temporary = 0;

extern "C" void remove_temporary_and_stop(int signal_number) {
  if (g_has_temporary) unlink(g_temporary);
  ::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void remember_temporary(const std::string& name) {
  if (name.size() >= sizeof g_temporary) return;
  memcpy(g_temporary, name.c_str(), name.size() + 1);
  g_has_temporary = 1;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, remove_temporary_and_stop);
}

void forget_temporary() {
  g_has_temporary = 0;
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

#endif

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

void OutputFile::discard() {
  if (fd_ >= 0) close_file(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    remove(temporary_.c_str());
#ifndef _WIN32
    forget_temporary();
#endif
  }
  temporary_.clear();
}

std::string OutputFile::error(const char* what, int error_number) const {
  return std::string(what) + " " + path_ + ": " + strerror(error_number);
}

std::string OutputFile::open(const std::string& path) {
  discard();
  path_ = path;
  target_ = path;
#ifndef _WIN32
  struct stat st {};
  const bool exists = follow_links(path, target_, st);
  if (!exists && errno != ENOENT) return error("cannot write", errno);
  if (exists && !S_ISREG(st.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    return fd_ >= 0 ? std::string() : error("cannot write", errno);
  }
#endif
  // Beside the target, so that the rename stays on one file system; the name ends in neither
  // .board nor .prom.
  // One left by an earlier process of the same id is not ours to remove: another name.
  for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
    temporary_ = target_ + "." + std::to_string(process_id()) +
                 (attempt == 0 ? "" : "-" + std::to_string(attempt)) + ".tmp";
    fd_ = open_new(temporary_);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int open_errno = errno;
    temporary_.clear();
    return error("cannot write", open_errno);
  }
#ifndef _WIN32
  remember_temporary(temporary_);
  if (exists) {
    // The owner first: a change of owner clears the set-user-ID bits that the mode then sets.
    // Only root may give a file away; anyone else's file keeps its mode at least.
    if ((st.st_uid != geteuid() || st.st_gid != getegid()) && fchown(fd_, st.st_uid, st.st_gid)) {
      errno = 0;
    }
    if (fchmod(fd_, st.st_mode & 07777) != 0) {
      const int mode_errno = errno;
      discard();
      return error("cannot write", mode_errno);
    }
  }
#endif
  return {};
}

std::string OutputFile::write(std::string_view text) {
  if (fd_ < 0) return error("cannot write", EBADF);
  while (!text.empty()) {
    const auto written = write_some(fd_, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int write_errno = written < 0 ? errno : EIO;
      discard();
      return error("cannot write", write_errno);
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
#ifndef _WIN32
  if (!temporary_.empty() && fsync(fd_) != 0) {
    const int sync_errno = errno;
    discard();
    return error("cannot write", sync_errno);
  }
#endif
  const int fd = fd_;
  fd_ = -1;
  if (close_file(fd) != 0) {
    const int close_errno = errno;
    discard();
    return error("cannot write", close_errno);
  }
  if (temporary_.empty()) return {};
  if (!replace_file(temporary_, target_)) {
    const int rename_errno = errno;
    discard();
    return error("cannot replace", rename_errno);
  }
  temporary_.clear();
#ifndef _WIN32
  forget_temporary();
#endif
  return {};
}

}  // namespace boardstat::snapshot
