// The HTTP server's settings: the --web.* flags, and what the program hands the server besides.
#ifndef BOARDSTAT_EXPORTER_HTTP_OPTIONS_H_
#define BOARDSTAT_EXPORTER_HTTP_OPTIONS_H_

#include <chrono>
#include <cstddef>
#include <string>

#include "exporter/request_stats.h"

namespace boardstat {

struct HttpOptions {
  /// Our own port, outside the 9100-9999 range that exporters have taken.
  std::string listen_address = ":10208";
  std::string telemetry_path = "/metrics";
  std::string web_config_file;  // TLS and passwords; empty: plain HTTP, no passwords
  size_t max_requests = 40;     // answered at once; past it 503; 0: no limit
  size_t max_connections = 64;
  std::chrono::milliseconds read_timeout{10000};
  std::chrono::milliseconds write_timeout{10000};
  size_t max_request_bytes = 8192;
  RequestStats* stats = nullptr;  // counts the requests when given
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_OPTIONS_H_
