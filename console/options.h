// The console's command line: an optional redraw delay, --help and --version. Without any
// argument the console redraws only on a key, as it always has.
#ifndef BOARDSTAT_CONSOLE_OPTIONS_H_
#define BOARDSTAT_CONSOLE_OPTIONS_H_

#include <chrono>
#include <string>

namespace boardstat {

/// The shortest and longest redraw delay, in seconds.
inline constexpr double kMinDelaySeconds = 0.1;
inline constexpr double kMaxDelaySeconds = 3600;

/// The exit status of a bad command line.
inline constexpr int kBadCommandLine = 2;

struct ConsoleOptions {
  enum class Action { kRun, kHelp, kVersion, kBadCommandLine };
  Action action = Action::kRun;
  /// 0: redraw only on a key. Otherwise also redraw this long after the last redraw began.
  std::chrono::microseconds delay{0};
  /// Why the command line is bad (Action::kBadCommandLine), without the program's name.
  std::string error;
};

/// Reads argv[1] to argv[argc - 1]: -d SECONDS, -dSECONDS, --delay=SECONDS, --delay SECONDS,
/// -h, --help, --version. SECONDS is digits with an optional fraction, from 0.1 to 3600.
ConsoleOptions parse_console_options(int argc, const char* const* argv);

/// One line for standard error after a bad command line: what is wrong and the usage.
std::string bad_command_line_message(const std::string& error);

/// The text of --help.
std::string console_help();

}  // namespace boardstat

#endif  // BOARDSTAT_CONSOLE_OPTIONS_H_
