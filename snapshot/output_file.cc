#include "snapshot/output_file.h"

#include <errno.h>
#include <string.h>

#include "common/platform.h"

namespace boardstat::snapshot {

OutputFile::~OutputFile() {
  close_in_place();
  forget_on_signal();
}

void OutputFile::close_in_place() {
  if (in_place_ >= 0) close_file(in_place_);
  in_place_ = -1;
}

std::string OutputFile::error(const char* what, int error_number) {
  forget_on_signal();
  return std::string(what) + " " + path_ + ": " + strerror(error_number);
}

std::string OutputFile::open(const std::string& path) {
  close_in_place();
  path_ = path;
  const OutputTarget target = find_output_target(path);
  if (target.error != 0) return error("cannot write", target.error);
  in_place_ = target.in_place;
  if (in_place_ >= 0) return {};
  int failed = replaced_.create(target.file);
  if (failed != 0) return error("cannot write", failed);
  remove_on_signal(replaced_.temporary());
  failed = keep_mode_and_owner(target.file, replaced_.descriptor());
  if (failed != 0) {
    replaced_.discard();
    return error("cannot write", failed);
  }
  return {};
}

std::string OutputFile::write(std::string_view text) {
  if (in_place_ >= 0) {
    int failed = write_all(in_place_, text);
    const int fd = in_place_;
    in_place_ = -1;
    if (close_file(fd) != 0 && failed == 0) failed = errno;
    return failed == 0 ? std::string() : error("cannot write", failed);
  }
  int failed = replaced_.write(text);
  if (failed == 0) failed = replaced_.finish();
  if (failed != 0) return error("cannot write", failed);
  failed = replaced_.replace();
  if (failed != 0) return error("cannot replace", failed);
  forget_on_signal();
  return {};
}

}  // namespace boardstat::snapshot
