#include "console/screen_output.h"

#include <errno.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <iostream>

namespace boardstat {
namespace {

constexpr int kStandardOutput = 1;

// One write call; the result is the count written, or -1 with errno set.
long write_some(const char* data, size_t size) {
#ifdef _WIN32
  return _write(kStandardOutput, data, static_cast<unsigned>(size));
#else
  return static_cast<long>(write(kStandardOutput, data, size));
#endif
}

}  // namespace

ScreenOutputBuffer::ScreenOutputBuffer() {
  setp(buffer_, buffer_ + sizeof buffer_);
}

bool ScreenOutputBuffer::drain() {
  const char* next = pbase();
  const char* const end = pptr();
  while (error_ == 0 && next < end) {
    const long written = write_some(next, static_cast<size_t>(end - next));
    if (written > 0) {
      next += written;
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else {
      // A write that takes nothing and reports nothing would loop for ever: call it a failure.
      error_ = written < 0 && errno != 0 ? errno : EIO;
    }
  }
  setp(buffer_, buffer_ + sizeof buffer_);
  return error_ == 0;
}

ScreenOutputBuffer::int_type ScreenOutputBuffer::overflow(int_type ch) {
  if (!drain()) return traits_type::eof();
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  *pptr() = traits_type::to_char_type(ch);
  pbump(1);
  return ch;
}

int ScreenOutputBuffer::sync() {
  return drain() ? 0 : -1;
}

ScreenOutputBuffer& use_screen_output() {
  static ScreenOutputBuffer* const buffer = new ScreenOutputBuffer;
  std::ios_base::sync_with_stdio(false);
  std::cout.rdbuf(buffer);
  return *buffer;
}

}  // namespace boardstat
