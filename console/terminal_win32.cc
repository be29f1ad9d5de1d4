// The Windows console: keys come from _getch (no echo, no Enter) and the window is cleared
// through the console API, so no redraw ever starts a process. Without a console (standard
// input or output redirected, or a terminal such as mintty that talks through pipes) the
// console behaves as on POSIX: the bytes of standard input are the keys, and clearing writes
// the terminal's clear sequence.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <conio.h>
#include <stdio.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

#include "console/terminal.h"

namespace boardstat {
namespace {

// Home, clear the screen, clear the scroll-back: what a terminal behind a pipe understands.
constexpr char kClearSequence[] = "\033[H\033[2J\033[3J";

bool is_console_input(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

/// Blanks every cell of the screen buffer (the visible window and everything scrolled out of
/// it) in the buffer's current colours and puts the cursor home. False when `out` is not a
/// console screen buffer.
bool clear_console_buffer(HANDLE out) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (out == nullptr || out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &info)) {
    return false;
  }
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  const COORD home = {0, 0};
  DWORD written = 0;
  FillConsoleOutputCharacterA(out, ' ', cells, home, &written);
  FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &written);
  // Moving the cursor home also scrolls the window back to the top of the buffer.
  SetConsoleCursorPosition(out, home);
  return true;
}

// Standard input that is not a console (a pipe, a file): Windows has no timed wait on such a
// handle (a pipe handle is not signalled by data), so with a deadline a thread of its own
// blocks in ReadFile and hands each byte over; the console's thread waits on a condition
// variable with a timeout. The thread is started by the first timed read and never joined:
// it may be blocked in ReadFile when the process ends, which ends it.
class PipeReader {
 public:
  explicit PipeReader(HANDLE input) : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_, input] {
      for (;;) {
        unsigned char byte = 0;
        DWORD count = 0;
        const bool got = input != nullptr && input != INVALID_HANDLE_VALUE &&
                         ReadFile(input, &byte, 1, &count, nullptr) && count == 1;
        const std::lock_guard<std::mutex> lock(shared->mutex);
        if (got) {
          shared->bytes.push_back(byte);
        } else {
          shared->ended = true;
        }
        shared->changed.notify_one();
        if (!got) return;
      }
    }).detach();
  }

  int read_until(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    const bool ready = shared_->changed.wait_until(
        lock, deadline, [this] { return !shared_->bytes.empty() || shared_->ended; });
    if (!ready) return kNoKey;
    if (shared_->bytes.empty()) return kEndOfInput;
    const int byte = shared_->bytes.front();
    shared_->bytes.pop_front();
    return byte;
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<unsigned char> bytes;
    bool ended = false;
  };
  std::shared_ptr<Shared> shared_;  // the thread holds it too, and may outlive this object
};

// Whether a console input event is a key press that _getch returns as one or two codes: a key
// going down, other than a key that only modifies others (Shift, Ctrl, Alt, the locks, the
// Windows keys). _kbhit cannot tell: wine's looks only at keys with a character, so it misses
// the arrows, and never at the last event pending.
bool is_key_press(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return false;
  switch (record.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
      return record.Event.KeyEvent.uChar.AsciiChar != 0;
    default:
      return true;
  }
}

class Win32Terminal final : public Terminal {
 public:
  Win32Terminal()
      : input_(GetStdHandle(STD_INPUT_HANDLE)), console_input_(is_console_input(input_)) {}

  void clear_screen() override {
    // Whatever is still buffered belongs to the screen that is being cleared away.
    std::cout.flush();
    fflush(stdout);
    if (!clear_console_buffer(GetStdHandle(STD_OUTPUT_HANDLE))) {
      std::cout.write(kClearSequence, sizeof kClearSequence - 1);
      std::cout.flush();
    }
  }

  int read_key() override {
    if (!console_input_) return read_byte();
    // A console that has gone away can never deliver a key; _getch would not say so reliably.
    DWORD pending = 0;
    if (!GetNumberOfConsoleInputEvents(input_, &pending)) return kEndOfInput;
    // Arrow and function keys arrive as a prefix code (0 or 0xE0) and then their own code;
    // each call returns one of them, so such a key is that many keys to the main loop.
    const int code = _getch();
    return code == EOF ? kEndOfInput : code;
  }

  int read_key_until(std::chrono::steady_clock::time_point deadline) override {
    using namespace std::chrono;
    if (!console_input_) {
      if (!pipe_reader_) pipe_reader_ = std::make_unique<PipeReader>(input_);
      return pipe_reader_->read_until(deadline);
    }
    for (;;) {
      // The second code of an arrow key waits inside the runtime, not in the console's input.
      if (_kbhit()) return read_key();
      // A deadline that has passed still looks at what is pending: keys must not wait behind
      // back-to-back redraws.
      const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
      const DWORD wait =
          left < 0 ? 0 : static_cast<DWORD>(std::min<long long>(left + 1, 24 * 3600 * 1000));
      const DWORD result = WaitForSingleObject(input_, wait);
      if (result == WAIT_TIMEOUT) {
        if (steady_clock::now() >= deadline) return kNoKey;
        continue;
      }
      if (result != WAIT_OBJECT_0) return read_key();  // a console gone away: read_key says so
      // Mouse, focus, resize and key releases signal the handle too, and _getch would never
      // return them: drop them, or the wait would wake at once again and again.
      INPUT_RECORD record;
      DWORD count = 0;
      if (!PeekConsoleInputA(input_, &record, 1, &count)) return kEndOfInput;
      if (count == 0) continue;
      if (is_key_press(record)) return read_key();
      if (!ReadConsoleInputA(input_, &record, 1, &count)) return kEndOfInput;
    }
  }

 private:
  int read_byte() {
    unsigned char byte = 0;
    DWORD count = 0;
    // End of a file, a closed pipe and a missing handle all mean that no key can ever come.
    if (input_ == nullptr || input_ == INVALID_HANDLE_VALUE ||
        !ReadFile(input_, &byte, 1, &count, nullptr) || count == 0) {
      return kEndOfInput;
    }
    return byte;
  }

  HANDLE input_;
  bool console_input_;
  std::unique_ptr<PipeReader> pipe_reader_;
};

}  // namespace

std::unique_ptr<Terminal> open_console_terminal() {
  return std::make_unique<Win32Terminal>();
}

}  // namespace boardstat
