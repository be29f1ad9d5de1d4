// The listener's state, shared by its connections: one I/O thread, every connection
// asynchronous. The number of connections is bounded, and when it is reached the connection that
// has waited longest for its next request makes room.
#ifndef BOARDSTAT_EXPORTER_HTTP_LISTENER_H
#define BOARDSTAT_EXPORTER_HTTP_LISTENER_H

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstddef>
#include <list>

#include "exporter/http/http_server.h"
#include "exporter/http/reply.h"
#include "exporter/http/routes.h"

#ifdef BOARDSTAT_EXPORTER_TLS
#include "exporter/http/web_state.h"
#endif

namespace boardstat {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;
using Clock = std::chrono::steady_clock;

// Connections as the listener sees them, whatever their stream.
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

struct HttpServer::Impl {
  HttpOptions options;
#ifdef BOARDSTAT_EXPORTER_TLS
  WebState web;  // read before listening: an invalid file is told first
#endif
  // Declared before io: the sessions, destroyed with io's handlers, use them.
  std::list<SessionBase*> sessions;
  size_t in_flight = 0;
  asio::io_context io{1};
  tcp::acceptor acceptor;
  asio::steady_timer accept_retry{io};
  ReplyHead head;
  // After io: destroyed first, it stops its password worker while io can still take what it
  // posts.
  Routes routes;

  Impl(const HttpOptions& options, MetricsSource metrics);

  void accept();
  void admit(tcp::socket socket);
  void count(unsigned status) {
    if (options.stats) options.stats->count(status);
  }
  void in_flight_changed(int delta) {
    in_flight = static_cast<size_t>(static_cast<long>(in_flight) + delta);
    if (options.stats) options.stats->in_flight.store(static_cast<int64_t>(in_flight));
  }
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_LISTENER_H
