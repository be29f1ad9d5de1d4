// boardstat_exporter: the boards' counts, states, error latches and rate probe figures for
// Prometheus, over HTTP or through a textfile collector's folder.
#include <signal.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "exporter/collector.h"
#include "exporter/exposition.h"
#include "exporter/flags.h"
#include "exporter/textfile.h"

#ifdef BOARDSTAT_EXPORTER_HTTP
#include "exporter/http/http_server.h"
#endif

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "exporter/windows_service.h"
#endif

namespace boardstat {
namespace {

constexpr int kExitBadFlags = 2;
constexpr int kExitCannotServe = 1;
constexpr std::string_view kProgram = "boardstat_exporter";

// Set by a signal handler, or on Windows by a control handler's thread.
std::atomic<int> g_stop_requested{0};

void request_stop(int) {
  g_stop_requested = 1;
}

#ifdef _WIN32
// A stop that comes as a call from another thread: the service manager's, or Ctrl-C's.
void stop_exporter() {
  g_stop_requested = 1;
#ifdef BOARDSTAT_EXPORTER_HTTP
  stop_serving();
#endif
}
#endif

std::string exposition_of(const Collector& collector) {
  return format_exposition(collector.latest(), std::chrono::steady_clock::now());
}

void complain(const std::string& message) {
  fprintf(stderr, "%s: %s\n", kProgram.data(), message.c_str());
}

// Writes the file every refresh until SIGINT or SIGTERM. Failures are reported and retried.
int run_textfile(const Collector& collector, const ExporterFlags& flags) {
  signal(SIGINT, request_stop);
  signal(SIGTERM, request_stop);
  constexpr auto kStep = std::chrono::milliseconds(250);  // how soon a signal is noticed
  auto next_write = std::chrono::steady_clock::now();
  while (g_stop_requested == 0) {
    if (std::chrono::steady_clock::now() >= next_write) {
      const std::string error = write_textfile(flags.textfile_directory, exposition_of(collector));
      if (!error.empty()) complain(error);
      next_write += flags.collector.refresh_interval;
    }
    std::this_thread::sleep_for(kStep);
  }
  return 0;
}

int serve(const Collector& collector, const ExporterFlags& flags) {
  if (!flags.textfile_directory.empty()) return run_textfile(collector, flags);
#ifdef BOARDSTAT_EXPORTER_HTTP
  HttpOptions options;
  options.listen_address = flags.listen_address;
  options.telemetry_path = flags.telemetry_path;
  return serve_http(options, [&collector] { return exposition_of(collector); });
#else
  return kExitCannotServe;  // refused with the flags
#endif
}

int run(const ExporterFlags& flags) {
  Collector collector(flags.collector);
  collector.discover();
  if (flags.once) {
    const bool probe = flags.probe_given && flags.collector.probe != ProbeSet::kNone;
    collector.collect_once(probe);
    const std::string text = exposition_of(collector);
    if (!flags.textfile_directory.empty()) {
      const std::string error = write_textfile(flags.textfile_directory, text);
      if (error.empty()) return 0;
      complain(error);
      return kExitCannotServe;
    }
    fwrite(text.data(), 1, text.size(), stdout);
    return fflush(stdout) == 0 ? 0 : kExitCannotServe;
  }
  // A first snapshot before anyone asks; from here on the collector thread alone calls the
  // board.
  collector.collect_once(false);
  std::thread collector_thread([&collector] { collector.run(); });
  const int status = serve(collector, flags);
  collector.stop();
  collector_thread.join();
  return status;
}

// The command line's faults that parsing alone cannot see.
std::string check_mode(const ExporterFlags& flags) {
  if (!flags.textfile_directory.empty() &&
      !std::filesystem::is_directory(flags.textfile_directory)) {
    return "--textfile.directory: " + flags.textfile_directory + " is not a folder";
  }
#ifndef BOARDSTAT_EXPORTER_HTTP
  if (!flags.once && flags.textfile_directory.empty()) {
    return "this build serves no HTTP: use --textfile.directory DIR or --once";
  }
#endif
  return {};
}

int exporter_main(const std::vector<std::string_view>& args) {
  const ParsedFlags parsed = parse_flags(args);
  std::string error = parsed.error;
  if (error.empty() && !parsed.flags.help && !parsed.flags.version) {
    error = check_mode(parsed.flags);
  }
  if (!error.empty()) {
    complain(error);
    fprintf(stderr, "Try '%s --help'.\n", kProgram.data());
    return kExitBadFlags;
  }
  if (parsed.flags.help) {
    fputs(usage().c_str(), stdout);
    return 0;
  }
  if (parsed.flags.version) {
    printf("%s %s\n", kProgram.data(), BOARDSTAT_VERSION);
    return 0;
  }
  return run(parsed.flags);
}

}  // namespace
}  // namespace boardstat

int main(int argc, char** argv) {
  using namespace boardstat;
#ifdef _WIN32
  // The same bytes as on POSIX: LF line ends, no carriage returns.
  _setmode(_fileno(stdout), _O_BINARY);
  const std::vector<std::string> service_args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ExporterWork work = [](const std::vector<std::string>& args) {
    return exporter_main(std::vector<std::string_view>(args.begin(), args.end()));
  };
  if (const auto status = run_if_started_as_service(service_args, work, stop_exporter)) {
    return *status;
  }
  stop_on_console_control(stop_exporter);
#endif
  return exporter_main(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
