// The parts of answering a request that need no socket: content coding, the request target's
// forms, the Date header, Basic credentials.
#ifndef BOARDSTAT_EXPORTER_HTTP_REQUEST_RULES_H
#define BOARDSTAT_EXPORTER_HTTP_REQUEST_RULES_H

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace boardstat {

/// True when an Accept-Encoding header value lets gzip through: "gzip" (or "x-gzip") or "*"
/// with a q-value above 0, gzip not refused by name.
bool accepts_gzip(std::string_view accept_encoding);

/// The path of a request target in origin form ("/metrics?x=1") or absolute form
/// ("http://host:port/metrics"), without its query; nothing for any other form.
std::optional<std::string_view> target_path(std::string_view target);

/// "Mon, 07 Dec 2026 02:03:16 GMT".
std::string http_date(std::time_t when);

struct Credentials {
  std::string user, password;
};
/// The user and password of an Authorization header "Basic BASE64(user:password)".
std::optional<Credentials> basic_credentials(std::string_view authorization);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_REQUEST_RULES_H
