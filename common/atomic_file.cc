#include "common/atomic_file.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "common/platform.h"

namespace boardstat {
namespace {

// Names tried before giving up when files of our names are left from earlier processes.
constexpr int kNamesTried = 100;

}  // namespace

AtomicFile::~AtomicFile() {
  discard();
}

void AtomicFile::discard() {
  if (fd_ >= 0) close_file(fd_);
  fd_ = -1;
  if (exists_) remove(temporary_.c_str());
  exists_ = false;
}

int AtomicFile::fail(int error) {
  discard();
  return error != 0 ? error : EIO;
}

int AtomicFile::create(const std::string& target) {
  discard();
  target_ = target;
  for (int attempt = 0; attempt < kNamesTried; ++attempt) {
    temporary_ = target + "." + std::to_string(process_id()) +
                 (attempt == 0 ? "" : "-" + std::to_string(attempt)) + ".tmp";
    fd_ = create_new_file(temporary_);
    if (fd_ >= 0) {
      exists_ = true;
      return 0;
    }
    if (errno != EEXIST) break;
  }
  return fail(errno);
}

int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const long written = write_to_file(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 && errno != 0 ? errno : EIO;
    text.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

int AtomicFile::write(std::string_view text) {
  if (fd_ < 0) return EBADF;
  const int error = write_all(fd_, text);
  return error == 0 ? 0 : fail(error);
}

int AtomicFile::finish() {
  if (fd_ < 0) return EBADF;
  if (!sync_file(fd_)) return fail(errno);
  const int fd = fd_;
  fd_ = -1;
  return close_file(fd) == 0 ? 0 : fail(errno);
}

int AtomicFile::replace() {
  if (!exists_ || fd_ >= 0) return EBADF;
  if (!replace_file(temporary_, target_)) return fail(errno);
  exists_ = false;
  return 0;
}

std::string write_file_atomically(const std::string& target, std::string_view text) {
  AtomicFile file;
  int error = file.create(target);
  if (error == 0) error = file.write(text);
  if (error == 0) error = file.finish();
  if (error != 0) return "cannot write " + file.temporary() + ": " + strerror(error);
  error = file.replace();
  if (error == 0) return {};
  return "cannot rename " + file.temporary() + " to " + target + ": " + strerror(error);
}

}  // namespace boardstat
