// Runs the built boardstat as a user would: a board description file, keys on standard input,
// an access trace, and the screens it prints.
#ifndef BOARDSTAT_TESTS_E2E_RUN_CONSOLE_H_
#define BOARDSTAT_TESTS_E2E_RUN_CONSOLE_H_

#include <string>
#include <vector>

namespace boardstat::testing {

struct ConsoleRun {
  int exit_status = -1;            // as the shell sees it: 255 for -1
  std::string output;              // everything on standard output
  std::string errors;              // everything on standard error
  std::vector<std::string> trace;  // the simulated board's access trace, a line each

  /// The output cut at every clear sequence: one element per screen.
  std::vector<std::string> screens() const;
};

/// Runs boardstat with `keys` as standard input. `description` is written to a file that
/// BOARDSIM_CONFIG names; an empty one leaves the variable unset (the built-in board).
ConsoleRun run_console(const std::string& keys, const std::string& description);

/// Runs boardstat on an existing description file.
ConsoleRun run_console_on_file(const std::string& keys, const std::string& description_path);

/// Runs boardstat on the built-in board with the output of the shell command `feeder` as
/// standard input, so that keys can arrive with pauses between them.
ConsoleRun run_console_fed_by(const std::string& feeder);

/// The clear sequence the console writes before every screen.
inline constexpr char kClearSequence[] = "\033[H\033[2J\033[3J";

}  // namespace boardstat::testing

#endif  // BOARDSTAT_TESTS_E2E_RUN_CONSOLE_H_
