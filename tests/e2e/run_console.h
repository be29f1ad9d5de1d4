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

/// Runs boardstat with `keys` as standard input, or with the output of the shell command
/// `feeder` when there is one (keys with pauses between them). `description` is written to the
/// file that BOARDSIM_CONFIG names; an empty one means the built-in board, one that starts with
/// '/' is the path of the file to use.
ConsoleRun run_console(const std::string& keys, const std::string& description,
                       const std::string& feeder = "");

inline ConsoleRun run_console_fed_by(const std::string& feeder) {
  return run_console("", "", feeder);
}

}  // namespace boardstat::testing

#endif  // BOARDSTAT_TESTS_E2E_RUN_CONSOLE_H_
