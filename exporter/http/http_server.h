// The exporter's HTTP side: one I/O thread serving the metrics text and a landing page.
#ifndef BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H
#define BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace boardstat {

struct HttpOptions {
  std::string listen_address = ":10208";
  std::string telemetry_path = "/metrics";
  size_t max_connections = 64;
  size_t max_request_bytes = 8192;
  std::chrono::milliseconds read_timeout{10000};
  std::chrono::milliseconds write_timeout{10000};
};

/// Serves GET and HEAD of telemetry_path with the text metrics() returns (Content-Type:
/// text/plain; version=0.0.4; charset=utf-8), a small HTML landing page at "/" linking to it;
/// other paths 404, other methods 405 (with Allow: GET, HEAD); request header/body size
/// bounded (431/413 or close), connection count bounded (refuse beyond max), read and write
/// timeouts. Runs until SIGINT or SIGTERM, then returns 0; prints "boardstat_exporter: cannot
/// listen on ADDR: REASON" to stderr and returns 1 when it cannot listen (bad address, port in
/// use). metrics() is called on the server thread; it is fast (it only formats collected
/// values).
int serve_http(const HttpOptions& options, const std::function<std::string()>& metrics);

/// Ends serve_http as SIGINT does (at once if it is listening, as soon as it is otherwise);
/// safe from any thread, for the stop requests that come as calls: those of a Windows service's
/// control manager and of a Windows console's Ctrl-C.
void stop_serving();

/// The server behind serve_http, for a caller that runs and stops it itself (the tests).
/// Address forms: "HOST:PORT", ":PORT" (all interfaces), "[::1]:PORT"; port 0 takes any free
/// port, which port() then tells.
class HttpServer {
 public:
  /// Listens at once; throws std::runtime_error with the reason when it cannot.
  HttpServer(const HttpOptions& options, std::function<std::string()> metrics);
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
