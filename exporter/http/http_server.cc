// One I/O thread, every connection asynchronous: an idle keep-alive connection or a client
// sending one byte a second holds no thread, so it never delays another scrape. Each
// connection has one deadline per request (read) and per response (write); the request's size
// is bounded by the parser's header and body limits; the number of connections is bounded, and
// when it is reached the connection that has waited longest for its next request makes room.
// The exposition is written (and gzipped) by the collector once a refresh: a scrape sends those
// bytes, header and body in one write on a socket without Nagle's delay.
#include "exporter/http/http_server.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <ctime>
#include <iostream>
#include <limits>
#include <list>
#include <optional>
#include <stdexcept>

#include "exporter/exposition.h"
#include "exporter/http/listen_address.h"
#include "exporter/http/request_rules.h"
#include "exporter/program.h"

#ifdef BOARDSTAT_EXPORTER_TLS
#include <sys/stat.h>

#include <boost/beast/ssl.hpp>

#include "exporter/http/password_check.h"
#include "exporter/http/web_config.h"
#endif

namespace boardstat {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kPlainText = "text/plain; charset=utf-8";

// Sent, without reading the request, to a connection beyond the limit when no other can make
// room; one small write that a fresh socket's buffer always takes.
constexpr char kRefusal[] =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 21\r\nConnection: close\r\n\r\ntoo many connections\n";

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

std::string_view view(beast::string_view text) {
  return std::string_view(text.data(), text.size());
}

bool is_parse_error(const error_code& ec) {
  return &ec.category() == &http::make_error_code(http::error::bad_method).category();
}

tcp::acceptor open_acceptor(asio::io_context& io, const std::string& text) {
  std::string reason;
  const auto address = parse_listen_address(text, &reason);
  if (!address) throw std::runtime_error(reason);

  std::vector<tcp::endpoint> candidates;
  if (address->host.empty()) {
    // Every interface: IPv6 and IPv4 on one socket where the system has IPv6.
    candidates = {tcp::endpoint(tcp::v6(), address->port), tcp::endpoint(tcp::v4(), address->port)};
  } else {
    error_code ec;
    const auto numeric = asio::ip::make_address(address->host, ec);
    if (!ec) {
      candidates = {tcp::endpoint(numeric, address->port)};
    } else {
      tcp::resolver resolver(io);
      const auto results =
          resolver.resolve(address->host, std::to_string(address->port),
                           tcp::resolver::passive | tcp::resolver::numeric_service, ec);
      if (ec) throw std::runtime_error(ec.message());
      for (const auto& entry : results) candidates.push_back(entry.endpoint());
    }
  }

  error_code last;
  for (const auto& endpoint : candidates) {
    tcp::acceptor acceptor(io);
    error_code ec;
    acceptor.open(endpoint.protocol(), ec);
    if (ec) {
      last = ec;
      continue;
    }
    if (endpoint.address().is_v6()) acceptor.set_option(asio::ip::v6_only(false), ec);
    acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!acceptor.bind(endpoint, ec) &&
        !acceptor.listen(asio::socket_base::max_listen_connections, ec))
      return acceptor;
    last = ec;
    // A bound address in use stays in use on the other family: report it as it is.
    if (ec == asio::error::address_in_use || ec == asio::error::access_denied) break;
  }
  throw std::runtime_error(last ? last.message() : "no address to listen on");
}

// What a request is answered with. The body is either the shared exposition (plain or
// gzipped) or a text of its own.
struct Reply {
  unsigned status = 200;
  std::string content_type = kPlainText;
  std::string headers;  // more header lines, each ending in CRLF
  RenderedPtr exposition;
  bool gzipped = false;
  std::string own;
  bool close = false;  // the connection ends after this answer

  std::string_view body() const {
    if (!exposition) return own;
    return gzipped ? exposition->gzip : exposition->plain;
  }
};

Reply plain_reply(unsigned status, std::string text) {
  Reply reply;
  reply.status = status;
  reply.own = std::move(text);
  return reply;
}

Reply status_reply(unsigned status) {
  return plain_reply(status, std::to_string(status) + " " +
                                 std::string(http::obsolete_reason(http::int_to_status(status))) +
                                 "\n");
}

using Request = http::request<http::string_body>;

// Connections as the server sees them, whatever their stream.
class SessionBase {
 public:
  virtual ~SessionBase() = default;
  virtual void close() = 0;
  bool waiting_for_request() const { return waiting_; }
  Clock::time_point waiting_since() const { return waiting_since_; }

 protected:
  bool waiting_ = false;
  Clock::time_point waiting_since_;
};

#ifdef BOARDSTAT_EXPORTER_TLS
// The web configuration as last read, taken up again when the file, or a file it names,
// changes: looked at for each new connection and each request, as node_exporter does.
struct WebState {
  std::string path;
  std::string
      signature;  // identities, modification times and sizes of the file and its certificates
  std::shared_ptr<const WebConfig> config;
  std::shared_ptr<asio::ssl::context> context;
  bool tls = false;   // chosen at start: a TLS port stays one
  std::string error;  // the file as it is now is invalid: requests get 500
};

// The file's device and inode tell a new file renamed over the old one (as editors and
// certificate tools write) even when it has the old one's size and falls in the same tick of the
// file system's clock; a file rewritten in place is told by its time and size.
std::string file_signature(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return "-;";
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
         std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + ":" +
         std::to_string(info.st_size) + ";";
}

std::string signature_of(const std::string& path, const WebConfig* config) {
  std::string signature = file_signature(path);
  if (config && config->tls) {
    signature += file_signature(config->tls->cert_file) + file_signature(config->tls->key_file) +
                 file_signature(config->tls->client_ca_file);
  }
  return signature;
}
#endif

}  // namespace

struct HttpServer::Impl {
  HttpOptions options;
  MetricsSource metrics;
  std::string landing;
#ifdef BOARDSTAT_EXPORTER_TLS
  WebState web;
#endif
  // Declared before io: the sessions, destroyed with io's handlers, use them.
  std::list<SessionBase*> sessions;
  size_t in_flight = 0;
  asio::io_context io{1};
  tcp::acceptor acceptor;
  asio::steady_timer accept_retry{io};
  std::time_t date_second = 0;
  std::string date_text;
#ifdef BOARDSTAT_EXPORTER_TLS
  // After io: destroyed first, it stops its worker while io can still take what it posts.
  std::unique_ptr<PasswordCheck> passwords;  // made at the first password asked
#endif

  Impl(const HttpOptions& o, MetricsSource m)
      : options(o),
        metrics(std::move(m)),
        landing(landing_page(o.telemetry_path)),
#ifdef BOARDSTAT_EXPORTER_TLS
        web(first_web_state(o.web_config_file)),
#endif
        acceptor(open_acceptor(io, o.listen_address)) {
    options.max_connections = std::max<size_t>(options.max_connections, 1);
#ifndef BOARDSTAT_EXPORTER_TLS
    if (!options.web_config_file.empty())
      throw WebConfigError(std::string(kNoWebConfigInThisBuild));
#endif
  }

  void accept();
  void admit(tcp::socket socket);
  Reply answer(const Request& request);
  std::string head(const Reply& reply, bool keep_alive, bool http10);
  void count(unsigned status) {
    if (options.stats) options.stats->count(status);
  }
  void in_flight_changed(int delta) {
    in_flight = static_cast<size_t>(static_cast<long>(in_flight) + delta);
    if (options.stats) options.stats->in_flight.store(static_cast<int64_t>(in_flight));
  }
  /// 0 when the request may be answered, else the status to refuse it with, or kChecking:
  /// then the password is being checked and checked(accepted) is called with the outcome on
  /// the worker's thread, even when still_wanted() has turned false.
  static constexpr unsigned kChecking = 1;
  unsigned authorize(const Request& request, std::function<void(bool)> checked,
                     std::function<bool()> still_wanted);

#ifdef BOARDSTAT_EXPORTER_TLS
  static WebState first_web_state(const std::string& path);
  void refresh_web_state();
#endif
};

namespace {

template <class Stream>
class Session : public SessionBase, public std::enable_shared_from_this<Session<Stream>> {
 public:
  Session(Stream stream, HttpServer::Impl& server, std::shared_ptr<void> keep = nullptr)
      : keep_(std::move(keep)), stream_(std::move(stream)), server_(server) {
    place_ = server_.sessions.insert(server_.sessions.end(), this);
  }
  ~Session() override {
    forget();
    if (counted_) server_.in_flight_changed(-1);
  }

  void start() {
    if constexpr (kTls) {
      lowest().expires_after(server_.options.read_timeout);
      waiting_ = true;
      waiting_since_ = Clock::now();
      // The first bytes tell a TLS client from one speaking plain HTTP, which is told so, as
      // Go's servers do, and closed; no other connection notices.
      beast::async_detect_ssl(lowest(), buffer_,
                              [self = this->shared_from_this()](error_code ec, bool tls) {
                                if (ec) return self->close();
                                if (!tls) return self->refuse_plain_http();
                                self->handshake();
                              });
    } else {
      read_request();
    }
  }

  // Closes the connection now; its pending operation ends with operation_aborted.
  void close() override {
    gone_->store(true);
    check_timer_.cancel();
    forget();
    error_code ignored;
    lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
    lowest().close();
  }

 private:
  static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;
  static constexpr int kLimitChecks = 4;

  beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }

  // The most bytes handed to one write: all of them in plain HTTP; over TLS one record's worth
  // (16 KiB), as a larger write through Asio's SSL stream (Boost 1.74) sent the first record
  // and then stalled until the write timeout.
  static std::size_t write_piece(const error_code& ec, std::size_t) {
    if (ec) return 0;
    return kTls ? 16384 : std::numeric_limits<std::size_t>::max();
  }

  void handshake() {
#ifdef BOARDSTAT_EXPORTER_TLS  // a build without TLS has no SSL stream to name
    if constexpr (kTls) {
      stream_.async_handshake(asio::ssl::stream_base::server, buffer_.data(),
                              [self = this->shared_from_this()](error_code ec, std::size_t used) {
                                if (ec) return self->close();
                                self->buffer_.consume(used);
                                self->read_request();
                              });
    }
#endif
  }

  void refuse_plain_http() {
    static constexpr char kAnswer[] =
        "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Length: 48\r\nConnection: close\r\n\r\n"
        "Client sent an HTTP request to an HTTPS server.\n";
    server_.count(400);
    lowest().expires_after(server_.options.write_timeout);
    asio::async_write(lowest(), asio::buffer(kAnswer, sizeof kAnswer - 1),
                      [self = this->shared_from_this()](error_code ec, std::size_t) {
                        if (ec) return;
                        error_code ignored;
                        self->lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
                        self->drain();
                      });
  }

  void forget() {
    if (listed_) server_.sessions.erase(place_);
    listed_ = false;
  }

  void read_request() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.options.max_request_bytes));
    parser_->body_limit(server_.options.max_request_bytes);
    waiting_ = true;
    waiting_since_ = Clock::now();
    // One deadline for the whole request, so a client trickling bytes cannot hold on forever.
    read_deadline_ = Clock::now() + server_.options.read_timeout;
    lowest().expires_at(read_deadline_);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = this->shared_from_this()](error_code ec, std::size_t) { self->on_read(ec); });
  }

  void on_read(error_code ec) {
    waiting_ = false;
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
      // The parser takes the request line as soon as it is whole: a request with no target
      // yet had a request line longer than the limit.
      return send_error(parser_->get().target().empty() ? 414 : 431);
    }
    if (ec == http::error::body_limit) return send_error(413);
    if (ec == http::error::end_of_stream) return close();
    if (ec && is_parse_error(ec)) return send_error(400);
    if (ec) return;  // timeout (the stream is closed), aborted, or reset by the client
    const Request& request = parser_->get();
    keep_alive_ = request.keep_alive();
    http10_ = request.version() < 11;
    if (!http10_ && request.find(http::field::host) == request.end()) return send_error(400);
    authorize();
  }

  // A password that needs bcrypt is checked on the server's worker; the connection waits for
  // the outcome without a thread, until the request's read deadline at most.
  void authorize() {
    const unsigned refused = server_.authorize(
        parser_->get(),
        [self = this->shared_from_this(),
         executor = lowest().get_executor()](bool accepted) mutable {
          asio::post(executor, [self = std::move(self), accepted] { self->on_checked(accepted); });
        },
        [gone = gone_] { return !gone->load(); });
    if (refused != HttpServer::Impl::kChecking) return answer(kLimitChecks, refused);
    checking_ = true;
    check_timer_.expires_at(read_deadline_);
    // The outcome may come in the same turn of the event loop as the deadline, after it.
    check_timer_.async_wait([self = this->shared_from_this()](error_code ec) {
      if (!ec && self->checking_) self->close();
    });
  }

  void on_checked(bool accepted) {
    checking_ = false;
    check_timer_.cancel();
    if (!gone_->load()) answer(kLimitChecks, accepted ? 0 : 401);
  }

  // Answers the request read, or 503 past --web.max-requests. The answers written in this turn
  // of the event loop end in a later one (over TLS a few turns later), so a request that meets
  // the limit looks again after those: only answers that a client is slow to take refuse it.
  void answer(int checks_left, unsigned refused) {
    const size_t limit = server_.options.max_requests;
    if (limit != 0 && server_.in_flight >= limit && checks_left > 0) {
      asio::post(lowest().get_executor(), [self = this->shared_from_this(), checks_left, refused] {
        self->answer(checks_left - 1, refused);
      });
      return;
    }
    const Request& request = parser_->get();
    if (limit != 0 && server_.in_flight >= limit) {
      reply_ = status_reply(503);
    } else {
      counted_ = true;
      server_.in_flight_changed(+1);
      reply_ = refused != 0 ? status_reply(refused) : server_.answer(request);
      if (refused == 401) reply_.headers = "WWW-Authenticate: Basic\r\n";
    }
    if (request.method() == http::verb::head) head_only_ = true;
    send();
  }

  void send_error(unsigned status) {
    reply_ = status_reply(status);
    reply_.close = true;
    send();
  }

  void send() {
    keep_alive_ = keep_alive_ && !reply_.close;
    head_ = server_.head(reply_, keep_alive_, http10_);
    server_.count(reply_.status);
    const std::string_view body = head_only_ ? std::string_view() : reply_.body();
    std::array<asio::const_buffer, 2> buffers{asio::buffer(head_),
                                              asio::buffer(body.data(), body.size())};
    if constexpr (!kTls) {
      // Straight into the socket's buffer when it takes the whole answer, as it nearly always
      // does: the request is over now, not when the event loop comes round to its handler, so
      // that answers already sent do not count against --web.max-requests.
      error_code ec;
      auto& socket = lowest().socket();
      socket.non_blocking(true, ec);
      const std::size_t sent = ec ? 0 : socket.write_some(buffers, ec);
      if (!ec && sent == head_.size() + body.size()) return on_write({});
      if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
        return on_write(ec);
      }
      if (sent < head_.size()) {
        buffers[0] += sent;
      } else {
        buffers[0] = asio::const_buffer();
        buffers[1] += sent - head_.size();
      }
    }
    lowest().expires_after(server_.options.write_timeout);
    asio::async_write(stream_, buffers, write_piece,
                      [self = this->shared_from_this()](error_code write_ec, std::size_t) {
                        self->on_write(write_ec);
                      });
  }

  void on_write(error_code ec) {
    // A 32-VFG exposition is about 200 KiB: let go of it rather than hold one per idle
    // connection until its next request (the collector's next one would be kept twice).
    reply_ = {};
    head_only_ = false;
    if (counted_) server_.in_flight_changed(-1);
    counted_ = false;
    if (ec) return;
    if (keep_alive_) return read_request();
    error_code ignored;
    lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
    drain();
  }

  // After the last response, read and drop what the client still sends until it closes, for a
  // second at most: closing with unread bytes would reset the connection, and the client could
  // lose the response (a 413 or 431 above all). Such a connection is the first to make room.
  void drain() {
    waiting_ = true;
    waiting_since_ = Clock::time_point::min();
    buffer_.clear();
    lowest().expires_after(std::chrono::seconds(1));
    lowest().async_read_some(buffer_.prepare(4096),
                             [self = this->shared_from_this()](error_code ec, std::size_t) {
                               if (!ec) self->drain();
                             });
  }

  std::shared_ptr<void> keep_;  // the TLS context, for as long as the stream uses it
  Stream stream_;
  asio::steady_timer check_timer_{stream_.get_executor()};  // the password check's deadline
  Clock::time_point read_deadline_;
  bool checking_ = false;  // a password check is under way
  // Closed: also read by the password worker, which then skips the check.
  std::shared_ptr<std::atomic<bool>> gone_ = std::make_shared<std::atomic<bool>>(false);
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;  // bounded by body_limit
  Reply reply_;
  std::string head_;
  HttpServer::Impl& server_;
  std::list<SessionBase*>::iterator place_;
  bool listed_ = true;
  bool keep_alive_ = false;
  bool http10_ = false;
  bool head_only_ = false;
  bool counted_ = false;  // in the server's requests in flight
};

}  // namespace

std::string HttpServer::Impl::head(const Reply& reply, bool keep_alive, bool http10) {
  const std::time_t now = std::time(nullptr);
  if (now != date_second) {
    date_second = now;
    date_text = http_date(now);
  }
  std::string text;
  text.reserve(256);
  text += "HTTP/1.1 ";
  text += std::to_string(reply.status);
  text += ' ';
  text += view(http::obsolete_reason(http::int_to_status(reply.status)));
  text += "\r\nDate: ";
  text += date_text;
  text += "\r\nContent-Type: ";
  text += reply.content_type;
  text += "\r\nContent-Length: ";
  text += std::to_string(reply.body().size());
  text += "\r\n";
  text += reply.headers;
  if (!keep_alive) {
    text += "Connection: close\r\n";
  } else if (http10) {
    text += "Connection: keep-alive\r\n";
  }
  text += "\r\n";
  return text;
}

unsigned HttpServer::Impl::authorize([[maybe_unused]] const Request& request,
                                     [[maybe_unused]] std::function<void(bool)> checked,
                                     [[maybe_unused]] std::function<bool()> still_wanted) {
#ifdef BOARDSTAT_EXPORTER_TLS
  if (options.web_config_file.empty()) return 0;
  refresh_web_state();
  if (!web.error.empty()) return 500;
  const auto& users = web.config->users;
  if (users.empty()) return 0;
  const auto credentials = basic_credentials(view(request[http::field::authorization]));
  if (!credentials) return 401;
  const auto user = users.find(credentials->user);
  const bool known = user != users.end();
  const PasswordCheck::Attempt attempt{credentials->user, credentials->password,
                                       known ? user->second : web.config->unknown_user_hash, known};
  if (!passwords) passwords = std::make_unique<PasswordCheck>();
  switch (passwords->check(attempt, std::move(checked), std::move(still_wanted))) {
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

Reply HttpServer::Impl::answer(const Request& request) {
  const auto path = target_path(view(request.target()));
  if (!path) return status_reply(400);
  const bool is_metrics = *path == options.telemetry_path;
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
    reply.own = landing;
    return reply;
  }
  try {
    reply.exposition = metrics();
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

#ifdef BOARDSTAT_EXPORTER_TLS
WebState HttpServer::Impl::first_web_state(const std::string& path) {
  WebState state;
  if (path.empty()) return state;
  state.path = path;
  std::string error;
  auto config = read_web_config(path, &error);
  if (!config) throw WebConfigError(error);
  state.signature = signature_of(path, &*config);
  state.tls = config->tls.has_value();
  if (state.tls) state.context = make_tls_context(*config->tls, &error);
  state.config = std::make_shared<const WebConfig>(std::move(*config));
  return state;
}

void HttpServer::Impl::refresh_web_state() {
  if (web.path.empty()) return;
  const std::string signature = signature_of(web.path, web.config.get());
  if (signature == web.signature) return;
  web.signature = signature;
  std::string error;
  auto config = read_web_config(web.path, &error);
  std::shared_ptr<asio::ssl::context> context;
  if (config && config->tls.has_value() != web.tls) {
    error = web.tls ? "tls_server_config removed: plain HTTP needs a restart"
                    : "tls_server_config added: TLS needs a restart";
  } else if (config && config->tls) {
    context = make_tls_context(*config->tls, &error);
  }
  if (!config || (web.tls && !context)) {
    if (error != web.error) {
      std::cerr << kProgram << ": --web.config.file " << web.path << ": " << error
                << " (requests get 500 until the file is fixed)" << std::endl;
    }
    web.error = error;
    return;
  }
  if (!web.error.empty())
    std::cerr << kProgram << ": --web.config.file is valid again" << std::endl;
  web.error.clear();
  web.signature = signature_of(web.path, &*config);
  web.config = std::make_shared<const WebConfig>(std::move(*config));
  if (context) web.context = std::move(context);
}
#endif

void HttpServer::Impl::accept() {
  acceptor.async_accept([this](error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (ec) {
      // Out of descriptors, most likely: try again shortly rather than spin.
      accept_retry.expires_after(std::chrono::milliseconds(100));
      accept_retry.async_wait([this](error_code wait_ec) {
        if (!wait_ec) accept();
      });
      return;
    }
    admit(std::move(socket));
    accept();
  });
}

void HttpServer::Impl::admit(tcp::socket socket) {
  if (sessions.size() >= options.max_connections) {
    SessionBase* longest = nullptr;
    for (SessionBase* s : sessions)
      if (s->waiting_for_request() && (!longest || s->waiting_since() < longest->waiting_since()))
        longest = s;
    if (longest) {
      longest->close();
    } else {
      error_code ignored;
      socket.non_blocking(true, ignored);
      socket.write_some(asio::buffer(kRefusal, sizeof kRefusal - 1), ignored);
      socket.shutdown(tcp::socket::shutdown_both, ignored);
      socket.close(ignored);
      count(503);
      return;
    }
  }
  // Without Nagle's algorithm: an answer's last segment goes out at once instead of waiting for
  // the client's delayed acknowledgement of the one before (up to 40 ms on Linux).
  error_code ignored;
  socket.set_option(tcp::no_delay(true), ignored);
#ifdef BOARDSTAT_EXPORTER_TLS
  if (web.tls) {
    refresh_web_state();
    auto context = web.context;
    using TlsStream = beast::ssl_stream<beast::tcp_stream>;
    std::make_shared<Session<TlsStream>>(TlsStream(beast::tcp_stream(std::move(socket)), *context),
                                         *this, context)
        ->start();
    return;
  }
#endif
  std::make_shared<Session<beast::tcp_stream>>(beast::tcp_stream(std::move(socket)), *this)
      ->start();
}

bool web_config_supported() {
#ifdef BOARDSTAT_EXPORTER_TLS
  return true;
#else
  return false;
#endif
}

HttpServer::HttpServer(const HttpOptions& options, MetricsSource metrics)
    : impl_(std::make_unique<Impl>(options, std::move(metrics))) {}

HttpServer::~HttpServer() = default;

unsigned short HttpServer::port() const {
  return impl_->acceptor.local_endpoint().port();
}

void HttpServer::run() {
  impl_->accept();
  impl_->io.run();
}

void HttpServer::stop() {
  impl_->io.stop();
}

Listening listen_http(const HttpOptions& options, MetricsSource metrics) {
  Listening listening;
  try {
    listening.server = std::make_unique<HttpServer>(options, std::move(metrics));
  } catch (const WebConfigError& e) {
    std::cerr << kProgram << ": --web.config.file " << options.web_config_file << ": " << e.what()
              << "\n";
    listening.status = kExitBadFlags;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": cannot listen on " << options.listen_address << ": " << e.what()
              << "\n";
    listening.status = kExitCannotServe;
  }
  return listening;
}

}  // namespace boardstat
