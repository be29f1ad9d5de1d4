// The exporter's HTTP side: one I/O thread serving the metrics text and a landing page.
#ifndef BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H
#define BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "exporter/http_options.h"
#include "exporter/published.h"

namespace boardstat {

/// The metrics as last written: the server sends one of its texts as it is.
using MetricsSource = std::function<RenderedPtr()>;

/// True where the build can read --web.config.file (TLS, passwords).
bool web_config_supported();

struct WebConfigError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// Serves GET and HEAD of telemetry_path with the text metrics() returns (Content-Type:
/// text/plain; version=0.0.4; charset=utf-8; gzipped when the client accepts it), a small HTML
/// landing page at "/" linking to it; other paths 404, other methods 405 (with Allow: GET,
/// HEAD); request size bounded (414, 431, 413), HTTP/1.1 without Host 400, connection count
/// and requests at once bounded (503 beyond), read and write timeouts.
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
  /// Serves on the calling thread until stop().
  void run();
  /// Safe from any thread.
  void stop();

  struct Impl;  // the I/O state, defined where it is used

 private:
  std::unique_ptr<Impl> impl_;
};

/// Why there is no server.
enum class ListenFailure { kNone, kCannotListen, kBadWebConfig };

/// A server listening, or why there is none.
struct Listening {
  std::unique_ptr<HttpServer> server;  // null when it cannot listen
  ListenFailure failure = ListenFailure::kNone;
};

/// Makes the server. When it cannot, prints one message on standard error:
/// "boardstat_exporter: cannot listen on ADDR: REASON" (bad address, port in use) or
/// "boardstat_exporter: --web.config.file FILE: REASON".
Listening listen_http(const HttpOptions& options, MetricsSource metrics);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_HTTP_SERVER_H
