// The console window: the only two things the console needs of it.
#ifndef BOARDSTAT_CONSOLE_TERMINAL_H_
#define BOARDSTAT_CONSOLE_TERMINAL_H_

#include <chrono>
#include <memory>

namespace boardstat {

/// What read_key returns when no key can ever come (end of input, a hung-up terminal).
inline constexpr int kEndOfInput = -1;
/// What read_key_until returns when its deadline passed with no key.
inline constexpr int kNoKey = -2;

class Terminal {
 public:
  virtual ~Terminal() = default;
  /// Blanks the whole window and puts the cursor home, without starting another process.
  virtual void clear_screen() = 0;
  /// Waits for one key press (no echo, no Enter) and returns its code, or kEndOfInput.
  virtual int read_key() = 0;
  /// The same, but gives up at `deadline` with kNoKey. The wait is the system's own (no
  /// polling loop); a signal that interrupts it (a stop and a continue) does not end it early.
  virtual int read_key_until(std::chrono::steady_clock::time_point deadline) = 0;
};

/// The terminal of this process, set up for single key presses until it is destroyed. It also
/// puts the user's terminal settings back when the process is ended by a signal.
std::unique_ptr<Terminal> open_console_terminal();

}  // namespace boardstat

#endif  // BOARDSTAT_CONSOLE_TERMINAL_H_
