// One I/O thread, every connection asynchronous: an idle keep-alive connection or a client
// sending one byte a second holds no thread, so it never delays another scrape. Each
// connection has one deadline per request (read) and per response (write); the request's size
// is bounded by the parser's header and body limits; the number of connections is bounded, and
// when it is reached the connection that has waited longest for its next request makes room.
// Scrapes that arrive together share one formatted text, so a burst costs one formatting.
#include "exporter/http/http_server.h"

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <csignal>
#include <iostream>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "exporter/http/listen_address.h"

namespace boardstat {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

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

// The target without its query: Prometheus may add parameters to the scrape URL.
std::string_view path_of(beast::string_view target) {
  std::string_view path(target.data(), target.size());
  return path.substr(0, path.find('?'));
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

}  // namespace

// A response's body is a view of a text that the session holds: concurrent scrapes in one
// turn of the event loop share one formatted text.
using Text = std::shared_ptr<const std::string>;
using Response = http::response<http::span_body<const char>>;
using Request = http::request<http::string_body>;

namespace {
class Session;

Text text(std::string s) {
  return std::make_shared<const std::string>(std::move(s));
}

// Points the response at the text, sets Content-Length, and keeps the text alive in `holder`.
void set_body(Response& response, Text& holder, Text body, bool head) {
  holder = std::move(body);
  response.body() = {holder->data(), holder->size()};
  response.prepare_payload();
  if (head) response.body() = {};  // HEAD: the same header, Content-Length included, no body
}
}  // namespace

struct HttpServer::Impl {
  HttpOptions options;
  std::function<std::string()> metrics;
  Text landing;
  // The metrics text answered in the current turn of the event loop, if any; see metrics_text.
  Text batch_metrics;
  std::list<Session*> sessions;  // declared before io: handlers destroyed with io use it
  asio::io_context io{1};
  tcp::acceptor acceptor;
  asio::steady_timer accept_retry{io};

  Impl(const HttpOptions& o, std::function<std::string()> m)
      : options(o),
        metrics(std::move(m)),
        landing(text(landing_page(o.telemetry_path))),
        acceptor(open_acceptor(io, o.listen_address)) {
    options.max_connections = std::max<size_t>(options.max_connections, 1);
  }

  void accept();
  void admit(tcp::socket socket);
  Text metrics_text();
  Response answer(const Request& request, Text& body);
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, HttpServer::Impl& server)
      : stream_(std::move(socket)), server_(server) {
    place_ = server_.sessions.insert(server_.sessions.end(), this);
  }
  ~Session() { forget(); }

  void start() { read_request(); }

  bool waiting_for_request() const { return waiting_; }
  Clock::time_point waiting_since() const { return waiting_since_; }

  // Closes the connection now; its pending operation ends with operation_aborted.
  void close() {
    forget();
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

 private:
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
    stream_.expires_after(server_.options.read_timeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](error_code ec, std::size_t) { self->on_read(ec); });
  }

  void on_read(error_code ec) {
    waiting_ = false;
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
      return send_error(http::status::request_header_fields_too_large);
    if (ec == http::error::body_limit) return send_error(http::status::payload_too_large);
    if (ec == http::error::end_of_stream) return close();
    if (ec && is_parse_error(ec)) return send_error(http::status::bad_request);
    if (ec) return;  // timeout (the stream is closed), aborted, or reset by the client
    const auto& request = parser_->get();
    response_ = server_.answer(request, body_);
    response_.keep_alive(request.keep_alive());
    send();
  }

  void send_error(http::status status) {
    response_ = {};
    response_.result(status);
    response_.set(http::field::content_type, "text/plain; charset=utf-8");
    set_body(response_, body_, text(std::string(http::obsolete_reason(status)) + "\n"), false);
    response_.keep_alive(false);
    send();
  }

  void send() {
    keep_alive_ = response_.keep_alive();
    stream_.expires_after(server_.options.write_timeout);
    http::async_write(stream_, response_, [self = shared_from_this()](error_code ec, std::size_t) {
      self->on_write(ec);
    });
  }

  void on_write(error_code ec) {
    // A 32-VFG exposition is about 100 KiB: give it back now rather than hold one per idle
    // connection until its next request.
    response_ = {};
    body_.reset();
    if (ec) return;
    if (keep_alive_) return read_request();
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    drain();
  }

  // After the last response, read and drop what the client still sends until it closes, for a
  // second at most: closing with unread bytes would reset the connection, and the client could
  // lose the response (a 413 or 431 above all). Such a connection is the first to make room.
  void drain() {
    waiting_ = true;
    waiting_since_ = Clock::time_point::min();
    buffer_.clear();
    stream_.expires_after(std::chrono::seconds(1));
    stream_.async_read_some(buffer_.prepare(4096),
                            [self = shared_from_this()](error_code ec, std::size_t) {
                              if (!ec) self->drain();
                            });
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;  // bounded by body_limit
  Response response_;
  Text body_;
  HttpServer::Impl& server_;
  std::list<Session*>::iterator place_;
  bool listed_ = true;
  bool waiting_ = false;
  bool keep_alive_ = false;
  Clock::time_point waiting_since_;
};

}  // namespace

// Under load many requests complete in one turn of the event loop; they share one formatting,
// made for the first of them, as if they had come at the same instant. The text is dropped once
// the requests ready in this turn are answered, so the next turn formats afresh.
Text HttpServer::Impl::metrics_text() {
  if (!batch_metrics) {
    batch_metrics = text(metrics());
    asio::post(io, [this] { batch_metrics.reset(); });
  }
  return batch_metrics;
}

Response HttpServer::Impl::answer(const Request& request, Text& body) {
  Response response;
  response.version(request.version());
  const bool head = request.method() == http::verb::head;
  const auto path = path_of(request.target());
  const bool is_metrics = path == options.telemetry_path;
  if (!is_metrics && path != "/") {
    response.result(http::status::not_found);
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    set_body(response, body, text("404 page not found\n"), head);
  } else if (!head && request.method() != http::verb::get) {
    response.result(http::status::method_not_allowed);
    response.set(http::field::allow, "GET, HEAD");
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    set_body(response, body, text("405 method not allowed\n"), head);
  } else {
    response.result(http::status::ok);
    try {
      set_body(response, body, is_metrics ? metrics_text() : landing, head);
      response.set(http::field::content_type,
                   is_metrics ? kMetricsContentType : "text/html; charset=utf-8");
    } catch (const std::exception& e) {
      response.result(http::status::internal_server_error);
      response.set(http::field::content_type, "text/plain; charset=utf-8");
      set_body(response, body, text(std::string("cannot format the metrics: ") + e.what() + "\n"),
               head);
    }
  }
  return response;
}

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
    Session* longest = nullptr;
    for (Session* s : sessions)
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
      return;
    }
  }
  error_code ignored;
  socket.set_option(tcp::no_delay(true), ignored);
  std::make_shared<Session>(std::move(socket), *this)->start();
}

HttpServer::HttpServer(const HttpOptions& options, std::function<std::string()> metrics)
    : impl_(std::make_unique<Impl>(options, std::move(metrics))) {}

HttpServer::~HttpServer() = default;

unsigned short HttpServer::port() const {
  return impl_->acceptor.local_endpoint().port();
}

void HttpServer::run(bool stop_on_signals) {
  std::optional<asio::signal_set> signals;
  if (stop_on_signals) {
    signals.emplace(impl_->io, SIGINT, SIGTERM);
    signals->async_wait([this](error_code ec, int) {
      if (!ec) impl_->io.stop();
    });
  }
  impl_->accept();
  impl_->io.run();
}

void HttpServer::stop() {
  impl_->io.stop();
}

namespace {
// The server serve_http runs, for stop_serving; a stop that comes first is remembered.
std::mutex g_serving_mutex;
HttpServer* g_serving = nullptr;
bool g_stop_requested = false;
}  // namespace

void stop_serving() {
  std::lock_guard<std::mutex> lock(g_serving_mutex);
  g_stop_requested = true;
  if (g_serving != nullptr) g_serving->stop();
}

int serve_http(const HttpOptions& options, const std::function<std::string()>& metrics) {
  std::unique_ptr<HttpServer> server;
  try {
    server = std::make_unique<HttpServer>(options, metrics);
  } catch (const std::exception& e) {
    std::cerr << "boardstat_exporter: cannot listen on " << options.listen_address << ": "
              << e.what() << "\n";
    return 1;
  }
  {
    std::lock_guard<std::mutex> lock(g_serving_mutex);
    if (g_stop_requested) return 0;
    g_serving = server.get();
  }
  server->run(/*stop_on_signals=*/true);
  std::lock_guard<std::mutex> lock(g_serving_mutex);
  g_serving = nullptr;
  return 0;
}

}  // namespace boardstat
