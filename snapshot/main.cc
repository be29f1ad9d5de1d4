// boardstat_snapshot [--probe] [-o FILE]: writes the board description of every VFG.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "board/board_library.h"
#include "common/platform.h"
#include "snapshot/output_file.h"
#include "snapshot/snapshot.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: boardstat_snapshot [--probe] [-o FILE]\n"
    "\n"
    "Reads every register the boardstat console reads, on every VFG, and writes a board\n"
    "description that the console shows with BOARDSIM_CONFIG=FILE boardstat.\n"
    "\n"
    "  --probe     also measure with the rate probe and write the probe signals that give\n"
    "              the same SystemProbe figures (a few seconds a VFG, up to about 25 when\n"
    "              its signals never come)\n"
    "  -o FILE     write to FILE instead of standard output: a file is replaced at once\n"
    "              (a temporary file beside it, then a rename), keeping its mode and owner;\n"
    "              a symlink's target is replaced; a device or FIFO is written as > would\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "The time in the header is the current time, or SOURCE_DATE_EPOCH when it is set.\n";

// The current time, or SOURCE_DATE_EPOCH for a reproducible file.
std::string taken_at() {
  time_t now = time(nullptr);
  if (const char* epoch = getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    now = static_cast<time_t>(strtoll(epoch, nullptr, 10));
  }
  const struct tm utc = boardstat::utc_time(now);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  boardstat::snapshot::SnapshotOptions options;
  options.version = BOARDSTAT_VERSION;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--probe") {
      options.probe = true;
    } else if (arg == "-o") {
      if (i + 1 == argc || *argv[i + 1] == '\0') {
        std::cerr << "boardstat_snapshot: -o needs a file name\n" << kUsage;
        return 2;
      }
      output = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << "boardstat_snapshot " << BOARDSTAT_VERSION << '\n';
      return 0;
    } else {
      std::cerr << "boardstat_snapshot: unknown argument '" << arg << "'\n" << kUsage;
      return 2;
    }
  }
  options.taken_at = taken_at();

  // The output is made ready first, so that a file that cannot be written fails at once, not
  // after the probe has measured for seconds.
  boardstat::snapshot::OutputFile file;
  if (!output.empty()) {
    if (const std::string error = file.open(output); !error.empty()) {
      std::cerr << "boardstat_snapshot: " << error << '\n';
      return 1;
    }
  }

  const boardstat::BoardLibrary& library = boardstat::load_board_library();
  if (!library.loaded) {
    std::cerr << "boardstat_snapshot: " << library.error << '\n';
    return 1;
  }
  options.board_library = library.path;
  std::ostringstream text;
  if (boardstat::snapshot::write_snapshot(text, options) == 0) {
    std::cerr << "boardstat_snapshot: no VFG found\n";
    return 1;
  }
  if (output.empty()) {
    boardstat::set_binary_stdout();  // the same bytes on every platform: no carriage returns
    errno = 0;
    std::cout << text.str() << std::flush;
    if (std::cout) return 0;
    std::cerr << "boardstat_snapshot: cannot write the description: "
              << strerror(errno != 0 ? errno : EIO) << '\n';
    return 1;
  }
  if (const std::string error = file.write(text.str()); !error.empty()) {
    std::cerr << "boardstat_snapshot: " << error << '\n';
    return 1;
  }
  return 0;
}
