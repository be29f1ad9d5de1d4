// boardstat_exporter: the boards' counts, states, error latches and rate probe figures for
// Prometheus, over HTTP or through a textfile collector's folder.
#include <signal.h>
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

#include "exporter/collector.h"
#include "exporter/exposition.h"
#include "exporter/flags.h"
#include "exporter/gzip.h"
#include "exporter/rendered.h"
#include "exporter/request_stats.h"
#include "exporter/self_metrics.h"
#include "exporter/textfile.h"

#ifdef BOARDSTAT_EXPORTER_HTTP
#include "exporter/http/http_server.h"
#endif

namespace boardstat {
namespace {

constexpr int kExitBadFlags = 2;
constexpr int kExitCannotServe = 1;
constexpr std::string_view kProgram = "boardstat_exporter";

volatile sig_atomic_t g_stop_requested = 0;

void request_stop(int) {
  g_stop_requested = 1;
}

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

// The HTTP mode's exposition, written with its gzipped copy on the collector's thread at each
// refresh; a scrape takes the newest and sends it.
class Published {
 public:
  void write(const Snapshot& snapshot, const RequestStats* requests) {
    auto rendered = std::make_shared<RenderedExposition>();
    rendered->plain = format_exposition(snapshot, std::chrono::steady_clock::now());
    if (requests != nullptr) {
      ExpositionWriter own;
      write_exporter_metrics(own, *requests);
      rendered->plain += own.take();
    }
    rendered->gzip = gzip(rendered->plain);
    std::lock_guard<std::mutex> lock(mutex_);
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

int serve(const Collector& collector, const ExporterFlags& flags,
          [[maybe_unused]] const Published& published, [[maybe_unused]] RequestStats& requests) {
  if (!flags.textfile_directory.empty()) return run_textfile(collector, flags);
#ifdef BOARDSTAT_EXPORTER_HTTP
  HttpOptions options;
  options.listen_address = flags.listen_address;
  options.telemetry_path = flags.telemetry_path;
  options.web_config_file = flags.web_config_file;
  options.max_requests = flags.max_requests;
  options.max_connections = flags.max_connections;
  options.read_timeout = flags.read_timeout;
  options.write_timeout = flags.write_timeout;
  options.stats = &requests;
  return serve_http(options, [&published] { return published.newest(); });
#else
  return kExitCannotServe;  // refused with the flags
#endif
}

int run(const ExporterFlags& flags) {
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
  if (!flags.web_config_file.empty() && !web_config_supported()) {
    return "--web.config.file: this build has no TLS or passwords (it was built without "
           "yaml-cpp, OpenSSL or libcrypt)";
  }
#endif
  return {};
}

}  // namespace
}  // namespace boardstat

int main(int argc, char** argv) {
  using namespace boardstat;
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
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
