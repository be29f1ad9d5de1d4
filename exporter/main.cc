// boardstat_exporter: the boards' counts, states, error latches and rate probe figures for
// Prometheus, over HTTP or through a textfile collector's folder.
#include <stdio.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board/discovery.h"
#include "exporter/collector.h"
#include "exporter/exposition.h"
#include "exporter/flags.h"
#include "exporter/gzip.h"
#include "exporter/program.h"
#include "exporter/rendered.h"
#include "exporter/request_stats.h"
#include "exporter/self_metrics.h"
#include "exporter/stop_signals.h"
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

// A stop asked for by a signal ends the program by itself well within this; past it, the
// signal thread ends it.
constexpr auto kStopGrace = std::chrono::milliseconds(750);
// A textfile that cannot be written for this long ends the exporter, so that the service shows
// as failed.
constexpr auto kTextfileGiveUp = std::chrono::seconds(60);

std::string exposition_of(const Collector& collector) {
  return format_exposition(collector.latest(), std::chrono::steady_clock::now());
}

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

// Writes the file every refresh until SIGINT or SIGTERM. A failure is reported once and
// retried; one that lasts kTextfileGiveUp ends the exporter with status 1.
int run_textfile(const Collector& collector, const ExporterFlags& flags) {
  announce(collector, "writing " + flags.textfile_directory + "/" + std::string(kTextfileName) +
                          " every " + std::to_string(flags.collector.refresh_interval.count()) +
                          " ms");
  auto next_write = std::chrono::steady_clock::now();
  const std::string give_up = std::to_string(kTextfileGiveUp.count()) + " s";
  bool failing = false;
  std::chrono::steady_clock::time_point failing_since{};
  while (!stop_requested()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_write) {
      const std::string error = write_textfile(flags.textfile_directory, exposition_of(collector));
      if (error.empty()) {
        if (failing) complain("the textfile is written again");
        failing = false;
      } else if (!failing) {
        complain(error + " (trying again every refresh, for at most " + give_up + ")");
        failing = true;
        failing_since = now;
      } else if (now - failing_since >= kTextfileGiveUp) {
        complain(error + ": the textfile could not be written for " + give_up + ", stopping");
        return kExitCannotServe;
      }
      next_write += flags.collector.refresh_interval;
      if (next_write <= now) next_write = now + flags.collector.refresh_interval;
    }
    wait_for_stop_until(next_write);
  }
  return 0;
}

// The HTTP mode's exposition, written with its gzipped copy on the collector's thread at each
// refresh; a scrape takes the newest and sends it.
class Published {
 public:
  void write(const Snapshot& snapshot, const RequestStats* requests) {
    auto rendered = std::make_shared<RenderedExposition>();
    rendered->data_time = snapshot.published;
    rendered->plain = format_exposition(snapshot, std::chrono::steady_clock::now());
    if (requests != nullptr) {
      ExpositionWriter own;
      write_exporter_metrics(own, *requests);
      rendered->plain += own.take();
    }
    rendered->gzip = gzip(rendered->plain);
    std::lock_guard<std::mutex> lock(mutex_);
    // A text written on a scrape's thread must not replace a newer one of the collector's.
    if (newest_ && newest_->data_time > rendered->data_time) return;
    newest_ = std::move(rendered);
  }
  RenderedPtr newest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return newest_;
  }

 private:
  mutable std::mutex mutex_;
  RenderedPtr newest_;
};

// The newest text, unless its data are older than two refreshes (a board call that hangs):
// then each scrape writes one anew, so that boardstat_collector_data_age_seconds shows how old
// the data have grown by then, not by the last text written.
RenderedPtr fresh_enough(Published& published, const Collector& collector,
                         const ExporterFlags& flags, const RequestStats& requests) {
  RenderedPtr newest = published.newest();
  const auto now = std::chrono::steady_clock::now();
  if (newest && now - newest->data_time < 2 * flags.collector.refresh_interval) return newest;
  published.write(collector.latest(), flags.exporter_metrics ? &requests : nullptr);
  return published.newest();
}

int serve(const Collector& collector, const ExporterFlags& flags,
          [[maybe_unused]] Published& published, [[maybe_unused]] RequestStats& requests) {
  if (!flags.textfile_directory.empty()) return run_textfile(collector, flags);
#ifdef BOARDSTAT_EXPORTER_HTTP
  HttpOptions options = flags.http;
  options.stats = &requests;
  Listening listening =
      listen_http(options, [&] { return fresh_enough(published, collector, flags, requests); });
  if (!listening.server) return listening.status;
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
#else
  return kExitCannotServe;  // refused with the flags
#endif
}

int run(ExporterFlags flags) {
  flags.collector.report = complain;
  Collector collector(flags.collector);
  collector.discover();
  Published published;
  RequestStats requests;
  if (!flags.once && flags.textfile_directory.empty()) {
#if defined(__GLIBC__)
    // The exposition (230 KB for 32 VFGs) and its gzip are written anew every second: their
    // memory is taken from the system and given back whole rather than kept in the heap, and
    // both threads share one heap. 1 MiB less resident, for about 200 page faults a second.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024);
#endif
    collector.on_publish([&published, &requests, &flags](const Snapshot& snapshot) {
      published.write(snapshot, flags.exporter_metrics ? &requests : nullptr);
    });
  }
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
  if (stop_requested()) return 0;
  std::thread collector_thread([&collector] { collector.run(); });
  const int status = serve(collector, flags, published, requests);
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
  // First of all: from here on SIGINT and SIGTERM end the program with status 0.
  start_stop_signals(kStopGrace, kProgram);
#ifdef _WIN32
  // The same bytes as on POSIX: LF line ends, no carriage returns.
  _setmode(_fileno(stdout), _O_BINARY);
  const std::vector<std::string> service_args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ExporterWork work = [](const std::vector<std::string>& args) {
    return exporter_main(std::vector<std::string_view>(args.begin(), args.end()));
  };
  if (const auto status = run_if_started_as_service(service_args, work, ask_to_stop)) {
    return *status;
  }
  // Ctrl-C, Ctrl-Break and closing the window stop it as SIGINT does on POSIX.
  stop_on_console_control(ask_to_stop);
#endif
  return exporter_main(std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
