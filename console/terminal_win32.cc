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

#include <iostream>

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
};

}  // namespace

std::unique_ptr<Terminal> open_console_terminal() {
  return std::make_unique<Win32Terminal>();
}

}  // namespace boardstat
