// The console's control flow: find and open every VFG, then redraw, wait for a key and act on
// it until q or the end of input.
#ifndef BOARDSTAT_CONSOLE_CONSOLE_H_
#define BOARDSTAT_CONSOLE_CONSOLE_H_

#include <stdint.h>

#include <array>
#include <ostream>

#include "board/board_access.h"
#include "board/discovery.h"
#include "board/rate_probe.h"
#include "console/terminal.h"

namespace boardstat {

inline constexpr int kPanelCount = 8;

/// Everything the main loop owns. The expanded flags belong to the screen, not to a VFG:
/// changing VFG keeps every panel as it was.
struct ConsoleState {
  std::array<KvHandle, kMaxVfgs> vfgs{};
  int32_t vfg_count = 0;
  int32_t current_vfg = 0;
  std::array<int, kPanelCount> expanded{};  // in screen order, 0 or 1
  /// The clock the SystemProbe panel's measurements wait on.
  MillisecondClock probe_clock = steady_milliseconds;
};

/// Finds VFG 0, 1, 2 ... of the board family and opens each, up to kMaxVfgs. On failure prints the
/// start-up message ("No Rokans found", or "Could not VFG = N" and a line end) and returns false.
bool discover_vfgs(ConsoleState& state);

/// One screen: the banner, then the eight panels in screen order, for the VFG on screen.
void draw_screen(std::ostream& out, const ConsoleState& state);

enum class KeyAction { kRedraw, kQuit };

/// Acts on one key code, matched on its low 8 bits.
KeyAction handle_key(ConsoleState& state, int key);

/// The exit status of a console whose screen could not be written (a full disk, an I/O error).
inline constexpr int kScreenWriteFailed = 1;

/// Clears, draws and reads a key until q (status 0) or the end of input (status 0 too, after
/// the last screen). Stops at the first screen that `out` failed to take, with
/// kScreenWriteFailed: drawing on into a stream that has failed would only lose more.
int run_console(ConsoleState& state, Terminal& terminal, std::ostream& out);

/// The whole program: discovery, then the loop on this process's terminal. Returns the exit
/// status: 0, -1 when start-up failed, or kScreenWriteFailed after saying on standard error
/// why the screen could not be written.
int console_main();

}  // namespace boardstat

#endif  // BOARDSTAT_CONSOLE_CONSOLE_H_
