// What the server answers: the landing page at "/", the metrics at the telemetry path, and
// the passwords the web configuration asks for.
#ifndef BOARDSTAT_EXPORTER_HTTP_ROUTES_H
#define BOARDSTAT_EXPORTER_HTTP_ROUTES_H

#include <functional>
#include <memory>
#include <string>

#include "exporter/http/http_server.h"
#include "exporter/http/reply.h"

namespace boardstat {

class PasswordCheck;
class WebState;

class Routes {
 public:
  /// `web` is null where the build reads no web configuration.
  Routes(const HttpOptions& options, MetricsSource metrics, WebState* web);
  ~Routes();

  Reply answer(const Request& request);

  /// 0 when the request may be answered, else the status to refuse it with, or kChecking:
  /// then the password is being checked and checked(accepted) is called with the outcome on
  /// the worker's thread, even when still_wanted() has turned false.
  static constexpr unsigned kChecking = 1;
  unsigned authorize(const Request& request, std::function<void(bool)> checked,
                     std::function<bool()> still_wanted);

 private:
  std::string telemetry_path_;
  MetricsSource metrics_;
  std::string landing_;
  WebState* web_;
  std::unique_ptr<PasswordCheck> passwords_;  // made at the first password asked
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_ROUTES_H
