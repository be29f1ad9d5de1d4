#include "console/options.h"

#include <stdlib.h>

#include <cmath>
#include <string_view>
#include <utility>

namespace boardstat {
namespace {

constexpr char kUsage[] = "boardstat [-d SECONDS | --delay=SECONDS] [-h | --help] [--version]";

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Digits, optionally a point and more digits, with at least one digit in all: no sign, no
// exponent, no blanks, so that "1e3", " 1" or "0x10" are refused rather than half read.
bool is_plain_decimal(std::string_view text) {
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  const auto all_digits = [](std::string_view part) {
    for (const char c : part) {
      if (!is_digit(c)) return false;
    }
    return true;
  };
  return (!whole.empty() || !fraction.empty()) && all_digits(whole) && all_digits(fraction);
}

// Empty on success, else why the value is not a delay.
std::string set_delay(ConsoleOptions& options, std::string_view value) {
  const std::string text(value);
  const std::string why = "bad delay '" + text + "': seconds from 0.1 to 3600 are wanted";
  if (!is_plain_decimal(value) || text.size() > 32) return why;
  // strtod reads a point as the decimal point: the console never changes the C locale.
  const double seconds = strtod(text.c_str(), nullptr);
  if (!(seconds >= kMinDelaySeconds && seconds <= kMaxDelaySeconds)) return why;
  options.delay = std::chrono::microseconds(std::llround(seconds * 1e6));
  return "";
}

ConsoleOptions bad(std::string error) {
  ConsoleOptions options;
  options.action = ConsoleOptions::Action::kBadCommandLine;
  options.error = std::move(error);
  return options;
}

}  // namespace

ConsoleOptions parse_console_options(int argc, const char* const* argv) {
  ConsoleOptions options;
  bool help = false;
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::string_view value;
    if (arg == "-h" || arg == "--help") {
      help = true;
      continue;
    }
    if (arg == "--version") {
      version = true;
      continue;
    }
    if (arg == "-d" || arg == "--delay") {
      if (i + 1 >= argc) return bad(std::string(arg) + " wants a number of seconds");
      value = argv[++i];
    } else if (arg.substr(0, 8) == "--delay=") {
      value = arg.substr(8);
    } else if (arg.size() > 2 && arg.substr(0, 2) == "-d") {
      value = arg.substr(2);
    } else {
      return bad((arg.substr(0, 1) == "-" ? "unknown option '" : "unexpected argument '") +
                 std::string(arg) + "'");
    }
    std::string error = set_delay(options, value);
    if (!error.empty()) return bad(std::move(error));
  }
  if (help) {
    options.action = ConsoleOptions::Action::kHelp;
  } else if (version) {
    options.action = ConsoleOptions::Action::kVersion;
  }
  return options;
}

std::string bad_command_line_message(const std::string& error) {
  return "boardstat: " + error + "; usage: " + kUsage + "\n";
}

std::string console_help() {
  return std::string("Usage: ") + kUsage + R"(
Shows the live register state of the frame grabber boards' VFGs, one VFG at a time.

  -d, --delay=SECONDS  also redraw when SECONDS (0.1 to 3600, decimals allowed) have passed
                       since the last redraw began; without it the screen changes only on a
                       key. An expanded SystemProbe measures again on every redraw: with a
                       delay shorter than its 26 measurements, the next round starts as soon
                       as one ends.
  -h, --help           this text
  --version            the version

Keys: L R A B P T I O expand or collapse a panel, c clears the errors and acquired counts of
every VFG, + and - change the VFG, q quits; the end of standard input quits too.
Exit status: 0 after q, 2 for a bad command line, 255 when no VFG can be found or opened.
)";
}

}  // namespace boardstat
