// Standard output as the console writes its screens: a buffer of the console's own that leaves
// in one write per flush (each screen line is flushed as it ends), and that remembers why the
// first failed write failed, so that a full disk is reported instead of lost in silence.
#ifndef BOARDSTAT_CONSOLE_SCREEN_OUTPUT_H_
#define BOARDSTAT_CONSOLE_SCREEN_OUTPUT_H_

#include <streambuf>

namespace boardstat {

class ScreenOutputBuffer final : public std::streambuf {
 public:
  ScreenOutputBuffer();
  ScreenOutputBuffer(const ScreenOutputBuffer&) = delete;
  ScreenOutputBuffer& operator=(const ScreenOutputBuffer&) = delete;

  /// The errno of the first write that failed, or 0 while every write has gone through.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type ch) override;
  int sync() override;

 private:
  /// Writes out what is buffered. After a failure everything is dropped: a screen that cannot
  /// be written is not kept back for a later try.
  bool drain();

  char buffer_[4096];
  int error_ = 0;
};

/// Makes std::cout write through a ScreenOutputBuffer of its own (never destroyed, since the
/// stream may still flush while the process ends) and returns that buffer. Call before
/// anything is written to std::cout.
ScreenOutputBuffer& use_screen_output();

}  // namespace boardstat

#endif  // BOARDSTAT_CONSOLE_SCREEN_OUTPUT_H_
