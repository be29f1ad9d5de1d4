// The exporter's HTTP side: one I/O thread serving the metrics text and a landing page.
#ifndef BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H
#define BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "exporter/rendered.h"
#include "exporter/request_stats.h"

namespace boardstat {

struct HttpOptions {
  std::string listen_address = ":10208";
  std::string telemetry_path = "/metrics";
  size_t max_connections = 64;
  size_t max_request_bytes = 8192;
  std::chrono::milliseconds read_timeout{10000};
  std::chrono::milliseconds write_timeout{10000};
  size_t max_requests = 40;       // answered at once; past it 503; 0: no limit
  std::string web_config_file;    // TLS and passwords; empty: plain HTTP, no passwords
  RequestStats* stats = nullptr;  // counts the requests when given
};

/// The metrics as last written: the server sends one of its texts as it is.
using MetricsSource = std::function<RenderedPtr()>;

/// True where the build can read --web.config.file (TLS, passwords).
bool web_config_supported();

/// Serves GET and HEAD of telemetry_path with the text metrics() returns (Content-Type:
/// text/plain; version=0.0.4; charset=utf-8; gzipped when the client accepts it), a small HTML
/// landing page at "/" linking to it; other paths 404, other methods 405 (with Allow: GET,
/// HEAD); request size bounded (414, 431, 413), HTTP/1.1 without Host 400, connection count
/// and requests at once bounded (503 beyond), read and write timeouts. Runs until SIGINT or
/// SIGTERM, then returns 0; prints "boardstat_exporter: cannot listen on ADDR: REASON" to
/// stderr and returns 1 when it cannot listen (bad address, port in use), and returns 2 with
/// one message when the web configuration file is invalid.
int serve_http(const HttpOptions& options, const MetricsSource& metrics);

struct WebConfigError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// The server behind serve_http, for a caller that runs and stops it itself (the tests).
/// Address forms: "HOST:PORT", ":PORT" (all interfaces), "[::1]:PORT"; port 0 takes any free
/// port, which port() then tells.
class HttpServer {
 public:
  /// Reads the web configuration file and listens at once; throws WebConfigError when the file
  /// is invalid, std::runtime_error with the reason when it cannot listen.
  HttpServer(const HttpOptions& options, MetricsSource metrics);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  unsigned short port() const;
  /// Serves on the calling thread until stop() or, with stop_on_signals, SIGINT or SIGTERM.
  void run(bool stop_on_signals = false);
  /// Safe from any thread.
  void stop();

  struct Impl;  // the I/O state, defined where it is used

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H
