// One connection, plain or TLS: each has one deadline per request (read) and per response
// (write); the request's size is bounded by the parser's header and body limits. An idle
// keep-alive connection or a client sending one byte a second holds no thread, so it never
// delays another scrape. The exposition is written (and gzipped) by the collector once a
// refresh: a scrape sends those bytes, header and body in one write on a socket without
// Nagle's delay.
#ifndef BOARDSTAT_EXPORTER_HTTP_SESSION_H
#define BOARDSTAT_EXPORTER_HTTP_SESSION_H

#include <array>
#include <atomic>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <limits>
#include <memory>
#include <optional>

#include "exporter/http/listener.h"

#ifdef BOARDSTAT_EXPORTER_TLS
#include <boost/beast/ssl.hpp>
#endif

namespace boardstat {

namespace beast = boost::beast;
namespace http = beast::http;

inline bool is_parse_error(const error_code& ec) {
  return &ec.category() == &http::make_error_code(http::error::bad_method).category();
}

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
    const unsigned refused = server_.routes.authorize(
        parser_->get(),
        [self = this->shared_from_this(),
         executor = lowest().get_executor()](bool accepted) mutable {
          asio::post(executor, [self = std::move(self), accepted] { self->on_checked(accepted); });
        },
        [gone = gone_] { return !gone->load(); });
    if (refused != Routes::kChecking) return answer(kLimitChecks, refused);
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
      reply_ = refused != 0 ? status_reply(refused) : server_.routes.answer(request);
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

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_SESSION_H
