#include "console/console.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <iostream>
#include <vector>

#include "board/board_library.h"
#include "board/discovery.h"
#include "console/banner.h"
#include "console/error_clearing.h"
#include "console/options.h"
#include "console/screen_output.h"
#include "panels/panels.h"
#include "panels/system_probe.h"

namespace boardstat {
namespace {

using PanelDraw = void (*)(std::ostream&, KvHandle, int);

/// The panels in screen order, each with the key that toggles it (in lower case; the upper
/// case toggles it too).
struct PanelSlot {
  char key;
  PanelDraw draw;
};

constexpr PanelSlot kPanels[kPanelCount] = {
    {'l', draw_camera_link},    {'r', draw_pixel_router},  {'a', draw_acquisition_engine},
    {'b', draw_buffer_manager}, {'p', draw_packet_engine}, {'t', draw_timing_sequencer},
    {'i', draw_io_box},         {'o', draw_system_probe},
};

// The SystemProbe panel is drawn with the clock of the console state.
constexpr int kSystemProbePanel = 7;

int to_lower_ascii(int code) {
  return (code >= 'A' && code <= 'Z') ? code - 'A' + 'a' : code;
}

void report_screen_write_failure(int error) {
  fprintf(stderr, "boardstat: cannot write the screen: %s\n", strerror(error));
  fflush(stderr);
}

// A start-up message is written at once; one that cannot be written is reported on standard
// error as a screen would be, and the start-up failure keeps its own status.
void print_startup_message(const char* message) {
  if (fputs(message, stdout) == EOF || fflush(stdout) == EOF) report_screen_write_failure(errno);
}

// Where the simulated board stood in for a missing board access library, the user is told so
// at the end, below the last screen, where it stays in sight.
constexpr char kFallbackNote[] =
    "the simulated board: no board access library was found; BOARDSTAT_BOARD_LIBRARY=sim "
    "chooses it without this note";

}  // namespace

bool discover_vfgs(ConsoleState& state) {
  std::vector<FoundVfg> found;
  find_vfgs(found, OnFailedOpen::kStop);
  for (const FoundVfg& vfg : found) {
    if (!vfg.open) {
      char message[40];
      snprintf(message, sizeof message, "Could not VFG = %d\n", static_cast<int>(state.vfg_count));
      print_startup_message(message);
      return false;
    }
    state.vfgs[static_cast<size_t>(state.vfg_count)] = vfg.handle;
    ++state.vfg_count;
  }
  if (state.vfg_count == 0) {
    print_startup_message("No Rokans found");
    return false;
  }
  return true;
}

void draw_screen(std::ostream& out, const ConsoleState& state) {
  const KvHandle vfg = state.vfgs[static_cast<size_t>(state.current_vfg)];
  if (!out) return;
  draw_banner(out, vfg, state.current_vfg, state.vfg_count);
  for (int i = 0; i < kPanelCount; ++i) {
    // A screen that cannot be written is not read from the board either: no measurement runs
    // for a line that is lost.
    if (!out) return;
    if (i == kSystemProbePanel) {
      draw_system_probe(out, vfg, state.expanded[i], state.probe_clock);
    } else {
      kPanels[i].draw(out, vfg, state.expanded[i]);
    }
  }
}

KeyAction handle_key(ConsoleState& state, int key) {
  const int code = key & 0xFF;
  // Only the lower-case c clears errors: a shifted C must not wipe latches by accident.
  if (code == 'c') {
    for (int32_t i = 0; i < state.vfg_count; ++i) clear_errors(state.vfgs[static_cast<size_t>(i)]);
    return KeyAction::kRedraw;
  }
  const int letter = to_lower_ascii(code);
  if (letter == 'q') return KeyAction::kQuit;
  for (int i = 0; i < kPanelCount; ++i) {
    if (letter == kPanels[i].key) state.expanded[i] = state.expanded[i] ? 0 : 1;
  }
  if ((code == '+' || code == '=') && state.current_vfg < state.vfg_count - 1) ++state.current_vfg;
  if ((code == '-' || code == '_') && state.current_vfg > 0) --state.current_vfg;
  return KeyAction::kRedraw;
}

int run_console(ConsoleState& state, Terminal& terminal, std::ostream& out,
                std::chrono::microseconds delay) {
  for (;;) {
    const auto began = std::chrono::steady_clock::now();
    terminal.clear_screen();
    draw_screen(out, state);
    if (!out) return kScreenWriteFailed;
    const int key =
        delay.count() > 0 ? terminal.read_key_until(began + delay) : terminal.read_key();
    if (key == kNoKey) continue;
    if (key == kEndOfInput || handle_key(state, key) == KeyAction::kQuit) return 0;
  }
}

int console_main(int argc, const char* const* argv) {
  const ConsoleOptions options = parse_console_options(argc, argv);
  switch (options.action) {
    case ConsoleOptions::Action::kBadCommandLine:
      fputs(bad_command_line_message(options.error).c_str(), stderr);
      return kBadCommandLine;
    case ConsoleOptions::Action::kHelp:
      fputs(console_help().c_str(), stdout);
      return fflush(stdout) == 0 ? 0 : 1;
    case ConsoleOptions::Action::kVersion:
      printf("boardstat %s\n", BOARDSTAT_VERSION);
      if (load_board_library().fallback) printf("boardstat runs on %s\n", kFallbackNote);
      return fflush(stdout) == 0 ? 0 : 1;
    case ConsoleOptions::Action::kRun:
      break;
  }
  // Without a board access library nothing is drawn: one line, and the status of "No Rokans
  // found", before the terminal is touched.
  const BoardLibrary& library = load_board_library();
  if (!library.loaded) {
    fprintf(stderr, "boardstat: %s\n", library.error.c_str());
    return -1;
  }
  // The start-up messages are written with stdio and flushed at once, before std::cout is
  // first used, so the two never interleave.
  const ScreenOutputBuffer& screen = use_screen_output();
  ConsoleState state;
  if (!discover_vfgs(state)) return -1;
  int status = 0;
  {
    const auto terminal = open_console_terminal();
    status = run_console(state, *terminal, std::cout, options.delay);
  }  // the terminal's settings are back before anything is said about the failure
  if (status == kScreenWriteFailed) report_screen_write_failure(screen.error());
  if (library.fallback) fprintf(stderr, "boardstat: these were the screens of %s\n", kFallbackNote);
  return status;
}

}  // namespace boardstat
