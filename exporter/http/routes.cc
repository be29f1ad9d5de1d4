#include "exporter/http/routes.h"

#include "exporter/exposition.h"
#include "exporter/http/request_rules.h"

#ifdef BOARDSTAT_EXPORTER_TLS
#include "exporter/http/password_check.h"
#include "exporter/http/web_state.h"
#endif

namespace boardstat {

namespace http = boost::beast::http;

namespace {

std::string html_escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string landing_page(const std::string& telemetry_path) {
  const std::string path = html_escaped(telemetry_path);
  return "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>boardstat exporter"
         "</title></head>\n<body>\n<h1>boardstat exporter</h1>\n<p>Frame grabber board "
         "statistics for Prometheus.</p>\n<p><a href=\"" +
         path + "\">" + path + "</a></p>\n</body>\n</html>\n";
}

}  // namespace

#ifndef BOARDSTAT_EXPORTER_TLS
// Only its name is needed where no password is ever checked.
class PasswordCheck {};
#endif

Routes::Routes(const HttpOptions& options, MetricsSource metrics, WebState* web)
    : telemetry_path_(options.telemetry_path),
      metrics_(std::move(metrics)),
      landing_(landing_page(options.telemetry_path)),
      web_(web) {}

Routes::~Routes() = default;

unsigned Routes::authorize([[maybe_unused]] const Request& request,
                           [[maybe_unused]] std::function<void(bool)> checked,
                           [[maybe_unused]] std::function<bool()> still_wanted) {
#ifdef BOARDSTAT_EXPORTER_TLS
  if (!web_ || !web_->in_use()) return 0;
  web_->refresh();
  if (!web_->error().empty()) return 500;
  const WebConfig& config = web_->config();
  const auto& users = config.users;
  if (users.empty()) return 0;
  const auto credentials = basic_credentials(view(request[http::field::authorization]));
  if (!credentials) return 401;
  const auto user = users.find(credentials->user);
  const bool known = user != users.end();
  const PasswordCheck::Attempt attempt{credentials->user, credentials->password,
                                       known ? user->second : config.unknown_user_hash, known};
  if (!passwords_) passwords_ = std::make_unique<PasswordCheck>();
  switch (passwords_->check(attempt, std::move(checked), std::move(still_wanted))) {
    case PasswordCheck::Verdict::kAccepted:
      return 0;
    case PasswordCheck::Verdict::kRefused:
      return 401;
    case PasswordCheck::Verdict::kBusy:
      return 503;
    case PasswordCheck::Verdict::kQueued:
      break;
  }
  return kChecking;
#else
  return 0;
#endif
}

Reply Routes::answer(const Request& request) {
  const auto path = target_path(view(request.target()));
  if (!path) return status_reply(400);
  const bool is_metrics = *path == telemetry_path_;
  if (!is_metrics && *path != "/") return plain_reply(404, "404 page not found\n");
  const bool head = request.method() == http::verb::head;
  if (!head && request.method() != http::verb::get) {
    Reply reply = plain_reply(405, "405 method not allowed\n");
    reply.headers = "Allow: GET, HEAD\r\n";
    return reply;
  }
  Reply reply;
  if (!is_metrics) {
    reply.content_type = "text/html; charset=utf-8";
    reply.own = landing_;
    return reply;
  }
  try {
    reply.exposition = metrics_();
  } catch (const std::exception& e) {
    return plain_reply(500, std::string("cannot write the metrics: ") + e.what() + "\n");
  }
  if (!reply.exposition) return plain_reply(500, "no metrics written yet\n");
  reply.content_type = kExpositionContentType;
  reply.headers = "Vary: Accept-Encoding\r\n";
  if (!reply.exposition->gzip.empty() &&
      accepts_gzip(view(request[http::field::accept_encoding]))) {
    reply.gzipped = true;
    reply.headers += "Content-Encoding: gzip\r\n";
  }
  return reply;
}

}  // namespace boardstat
