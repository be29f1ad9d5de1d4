// boardstat_snapshot [--probe] [-o FILE]: writes the board description of every VFG.
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "exporter/snapshot/snapshot.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: boardstat_snapshot [--probe] [-o FILE]\n"
    "\n"
    "Reads every register the boardstat console reads, on every VFG, and writes a board\n"
    "description that the console shows with BOARDSIM_CONFIG=FILE boardstat.\n"
    "\n"
    "  --probe     also measure with the rate probe (about 2 s per VFG) and write the probe\n"
    "              signals that give the same SystemProbe figures\n"
    "  -o FILE     write to FILE (atomically: a temporary file beside it, then a rename)\n"
    "              instead of standard output\n"
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
  struct tm utc {};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

bool replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return rename(from.c_str(), to.c_str()) == 0;
#endif
}

long process_id() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<long>(getpid());
#endif
}

// The whole text to a temporary file in the same folder, then renamed over `path`, so that a
// reader never sees half a description.
bool write_atomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp-" + std::to_string(process_id());
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << text;
    file.flush();
    if (!file) {
      file.close();
      remove(temporary.c_str());
      return false;
    }
  }
  if (!replace_file(temporary, path)) {
    remove(temporary.c_str());
    return false;
  }
  return true;
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
    } else if (arg == "-o" && i + 1 < argc) {
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

  std::ostringstream text;
  if (boardstat::snapshot::write_snapshot(text, options) == 0) {
    std::cerr << "boardstat_snapshot: no VFG found\n";
    return 1;
  }
  if (output.empty()) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // the same bytes as on POSIX: no carriage returns
#endif
    std::cout << text.str() << std::flush;
    return std::cout ? 0 : 1;
  }
  if (!write_atomically(output, text.str())) {
    std::cerr << "boardstat_snapshot: cannot write " << output << '\n';
    return 1;
  }
  return 0;
}
