#include "exporter/self_metrics.h"

#include "exporter/process_figures.h"

#ifndef BOARDSTAT_VERSION
#define BOARDSTAT_VERSION "unknown"
#endif
#ifndef BOARDSTAT_REVISION
#define BOARDSTAT_REVISION "unknown"
#endif

namespace boardstat {
namespace {

void write_process(ExpositionWriter& out, const ProcessFigures& p) {
  const struct {
    std::string_view name, type, help;
    double value;
  } figures[] = {
      {"process_cpu_seconds_total", kCounter, "Total user and system CPU time spent in seconds.",
       p.cpu_seconds},
      {"process_open_fds", kGauge, "Number of open file descriptors.", p.open_fds},
      {"process_max_fds", kGauge, "Maximum number of open file descriptors.", p.max_fds},
      {"process_virtual_memory_bytes", kGauge, "Virtual memory size in bytes.", p.virtual_bytes},
      {"process_resident_memory_bytes", kGauge, "Resident memory size in bytes.", p.resident_bytes},
      {"process_start_time_seconds", kGauge,
       "Start time of the process since unix epoch in seconds.", p.start_time_seconds},
  };
  for (const auto& f : figures) {
    out.family(f.name, f.type, f.help);
    out.sample(f.name, {}, format_value(f.value));
  }
}

}  // namespace

std::string compiler_name() {
#if defined(__clang__)
  return "clang " + std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__) + "." +
         std::to_string(__clang_patchlevel__);
#elif defined(__GNUC__)
  return "gcc " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
         std::to_string(__GNUC_PATCHLEVEL__);
#elif defined(_MSC_VER)
  return "msvc " + std::to_string(_MSC_VER);
#else
  return "unknown";
#endif
}

void write_exporter_metrics(ExpositionWriter& out, const RequestStats& requests) {
  out.family("boardstat_exporter_build_info", kGauge,
             "A metric with a constant '1' value labeled by version, revision and compiler from "
             "which boardstat_exporter was built.");
  const std::string compiler = compiler_name();
  out.sample(
      "boardstat_exporter_build_info",
      {{"version", BOARDSTAT_VERSION}, {"revision", BOARDSTAT_REVISION}, {"compiler", compiler}},
      "1");
  if (const auto process = read_process_figures()) write_process(out, *process);

  constexpr std::string_view kRequests = "boardstat_exporter_http_requests_total";
  out.family(kRequests, kCounter, "HTTP requests answered, by status code.");
  for (size_t i = 0; i < RequestStats::kCodes.size(); ++i) {
    const uint64_t n = requests.answered[i].load(std::memory_order_relaxed);
    const unsigned code = RequestStats::kCodes[i];
    // 200 always, so that the series exists from the start; the others once they happen.
    if (n == 0 && code != 200) continue;
    out.sample(kRequests, {{"code", std::to_string(code)}}, format_value(n));
  }
  constexpr std::string_view kInFlight = "boardstat_exporter_http_requests_in_flight";
  out.family(kInFlight, kGauge,
             "HTTP requests being answered when this exposition was written (the limit is "
             "--web.max-requests).");
  const int64_t in_flight = requests.in_flight.load(std::memory_order_relaxed);
  out.sample(kInFlight, {}, format_value(static_cast<uint64_t>(in_flight < 0 ? 0 : in_flight)));
}

}  // namespace boardstat
