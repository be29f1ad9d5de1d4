// Ctrl-C, Ctrl-Break and closing the console window, taken by a console control handler that
// the system calls on a thread of its own. A service's stop request comes through ask_to_stop
// as well (exporter/service_win32.cc).
#include <windows.h>

#include "exporter/stop_signals.h"

namespace boardstat {
namespace {

BOOL WINAPI on_console_control(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      ask_to_stop();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void start_stop_signals(std::chrono::milliseconds grace, std::string_view) {
  set_stop_grace(grace);
  SetConsoleCtrlHandler(on_console_control, TRUE);
}

}  // namespace boardstat
