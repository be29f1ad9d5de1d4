// Listens at the address given, admits connections within the limit and hands each to its
// session; builds the server or tells why there is none.
#include <algorithm>
#include <boost/asio/ip/v6_only.hpp>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "exporter/http/listen_address.h"
#include "exporter/http/listener.h"
#include "exporter/http/session.h"
#include "exporter/program.h"

namespace boardstat {

namespace {

// Sent, without reading the request, to a connection beyond the limit when no other can make
// room; one small write that a fresh socket's buffer always takes.
constexpr char kRefusal[] =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 21\r\nConnection: close\r\n\r\ntoo many connections\n";

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

HttpServer::Impl::Impl(const HttpOptions& o, MetricsSource metrics)
    : options(o),
#ifdef BOARDSTAT_EXPORTER_TLS
      web(o.web_config_file),
#endif
      acceptor(open_acceptor(io, o.listen_address)),
#ifdef BOARDSTAT_EXPORTER_TLS
      routes(o, std::move(metrics), &web) {
#else
      routes(o, std::move(metrics), nullptr) {
#endif
  options.max_connections = std::max<size_t>(options.max_connections, 1);
#ifndef BOARDSTAT_EXPORTER_TLS
  if (!options.web_config_file.empty()) throw WebConfigError(std::string(kNoWebConfigInThisBuild));
#endif
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
  if (web.tls()) {
    web.refresh();
    auto context = web.tls_context();
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
    listening.failure = ListenFailure::kBadWebConfig;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": cannot listen on " << options.listen_address << ": " << e.what()
              << "\n";
    listening.failure = ListenFailure::kCannotListen;
  }
  return listening;
}

}  // namespace boardstat
