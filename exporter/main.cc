// boardstat_exporter: the boards' counts, states, error latches and rate probe figures for
// Prometheus, over HTTP or through a textfile collector's folder. main reads the command line,
// checks it and picks the mode; the data go one way, from the collector to the published
// exposition and on to the HTTP server, the textfile or standard output.
#include <stdio.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board/discovery.h"
#include "common/platform.h"
#include "exporter/collector.h"
#include "exporter/flags.h"
#include "exporter/program.h"
#include "exporter/published.h"
#include "exporter/request_stats.h"
#include "exporter/service.h"
#include "exporter/stop_signals.h"
#include "exporter/textfile.h"

#ifdef BOARDSTAT_EXPORTER_HTTP
#include "exporter/http/http_server.h"
#endif

namespace boardstat {
namespace {

// A stop asked for by a signal ends the program by itself well within this; past it, the
// signal thread ends it.
constexpr auto kStopGrace = std::chrono::milliseconds(750);

void complain(const std::string& message) {
  fprintf(stderr, "%s: %s\n", kProgram.data(), message.c_str());
}

// The one start-up line: the version, where the exposition goes, the VFGs found and open, and
// whether the simulated board stands in for a missing board access library.
void announce(const Collector& collector, const std::string& where) {
  const Snapshot snapshot = collector.latest();
  size_t open = 0;
  for (const VfgSnapshot& vfg : snapshot.vfgs) open += vfg.up ? 1 : 0;
  const std::string line = std::string(kProgram) + " " + BOARDSTAT_VERSION + ": " + where + "; " +
                           vfgs_text(snapshot.vfgs_found) + " found, " + std::to_string(open) +
                           " open" +
                           (snapshot.board_library.fallback
                                ? "; the simulated board, as no board access library was found "
                                  "(BOARDSTAT_BOARD_LIBRARY=sim chooses it without this note)"
                                : "");
  fprintf(stderr, "%s\n", line.c_str());
  fflush(stderr);
}

// A first snapshot before anyone asks, then `mode` while the collector's thread collects:
// from here on that thread alone calls the board.
int while_collecting(Collector& collector, const std::function<int()>& mode) {
  collector.collect_once(false);
  if (stop_requested()) return 0;
  std::thread collector_thread([&collector] { collector.run(); });
  const int status = mode();
  collector.stop();
  collector_thread.join();
  return status;
}

int once(Collector& collector, const ExporterFlags& flags) {
  const bool probe = flags.probe_given && flags.collector.probe != ProbeSet::kNone;
  collector.collect_once(probe);
  const std::string text = exposition_now(collector);
  if (!flags.textfile_directory.empty()) {
    const std::string error = write_textfile(flags.textfile_directory, text);
    if (error.empty()) return 0;
    complain(error);
    return kExitCannotServe;
  }
  fwrite(text.data(), 1, text.size(), stdout);
  return fflush(stdout) == 0 ? 0 : kExitCannotServe;
}

int textfile(Collector& collector, const ExporterFlags& flags) {
  return while_collecting(collector, [&collector, &flags] {
    const std::chrono::milliseconds interval = flags.collector.refresh_interval;
    announce(collector, "writing " + textfile_path(flags.textfile_directory) + " every " +
                            std::to_string(interval.count()) + " ms");
    const bool stopped = run_textfile(collector, flags.textfile_directory, interval, complain);
    return stopped ? 0 : kExitCannotServe;
  });
}

#ifdef BOARDSTAT_EXPORTER_HTTP
int exit_status(ListenFailure failure) {
  switch (failure) {
    case ListenFailure::kNone:
      return 0;
    case ListenFailure::kCannotListen:
      return kExitCannotServe;
    case ListenFailure::kBadWebConfig:
      return kExitBadFlags;
  }
  return kExitCannotServe;
}

int serve_http(Collector& collector, const ExporterFlags& flags) {
  RequestStats requests;
  Published published(collector, flags.collector.refresh_interval,
                      flags.exporter_metrics ? &requests : nullptr);
#if defined(__GLIBC__)
  // The exposition (230 KB for 32 VFGs) and its gzip are written anew every second: their
  // memory is taken from the system and given back whole rather than kept in the heap, and
  // both threads share one heap. 1 MiB less resident, for about 200 page faults a second.
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, 64 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024);
#endif
  collector.on_publish([&published](const Snapshot& snapshot) { published.write(snapshot); });
  return while_collecting(collector, [&collector, &flags, &requests, &published] {
    HttpOptions options = flags.http;
    options.stats = &requests;
    Listening listening = listen_http(options, [&published] { return published.fresh_enough(); });
    if (!listening.server) return exit_status(listening.failure);
    const std::unique_ptr<HttpServer>& server = listening.server;
    const std::string& address = options.listen_address;
    std::string where = "serving " + options.telemetry_path + " on " + address;
    if (address.size() >= 2 && address.compare(address.size() - 2, 2, ":0") == 0) {
      where += " (port " + std::to_string(server->port()) + ")";  // the one the system chose
    }
    announce(collector, where);
    on_stop([&server] { server->stop(); });
    server->run();
    on_stop(nullptr);
    return 0;
  });
}
#endif

int run(ExporterFlags flags) {
  flags.collector.report = complain;
  Collector collector(flags.collector);
  collector.discover();
  if (flags.once) return once(collector, flags);
  if (!flags.textfile_directory.empty()) return textfile(collector, flags);
#ifdef BOARDSTAT_EXPORTER_HTTP
  return serve_http(collector, flags);
#else
  return kExitCannotServe;  // refused with the flags
#endif
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
#else
  if (!flags.http.web_config_file.empty() && !web_config_supported()) {
    return "--web.config.file: " + std::string(kNoWebConfigInThisBuild);
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
  // First of all: from here on SIGINT and SIGTERM (Ctrl-C on Windows) end the program with
  // status 0.
  start_stop_signals(kStopGrace, kProgram);
  // The same bytes on every platform: LF line ends, no carriage returns.
  set_binary_stdout();
  // A Windows service's start parameters follow the arguments it was installed with.
  const std::vector<std::string> service_args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ExporterWork work = [](const std::vector<std::string>& args) {
    return exporter_main(std::vector<std::string_view>(args.begin(), args.end()));
  };
  if (const auto status = run_if_started_as_service(service_args, work)) return *status;
  return exporter_main(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
