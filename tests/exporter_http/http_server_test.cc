// The exporter's HTTP server on 127.0.0.1, driven by plain sockets with bounded waits.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <boost/beast/http.hpp>

#include "exporter/http/http_server.h"
#include "exporter/http/listen_address.h"

namespace boardstat {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kMetrics =
    "# HELP boardstat_up Whether the board answered.\n# TYPE boardstat_up gauge\nboardstat_up 1\n";

// A client socket whose every wait has a limit.
class Client {
 public:
  explicit Client(unsigned short port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  ~Client() { close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool send(const std::string& text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }

  using Response = boost::beast::http::response<boost::beast::http::string_body>;

  // The request's response, or nothing when it cannot be sent or does not come in time.
  std::optional<Response> ask(const std::string& target, const std::string& method = "GET") {
    if (!send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) return {};
    return response(method == "HEAD");
  }

  // One response; a response to HEAD has no body whatever its Content-Length says.
  std::optional<Response> response(bool to_head = false) {
    const auto deadline = Clock::now() + 5s;
    boost::beast::http::response_parser<boost::beast::http::string_body> parser;
    parser.skip(to_head);
    parser.eager(true);
    parser.body_limit(boost::none);
    while (true) {
      boost::system::error_code ec;
      pending_.erase(0, parser.put(boost::asio::buffer(pending_), ec));
      if (parser.is_done()) return parser.release();
      if (ec && ec != boost::beast::http::error::need_more) return {};
      if (!receive(deadline)) return {};
    }
  }

  // True when the server closes (or resets) the connection within the limit.
  bool closed_within(Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (!wait_readable(deadline)) return false;
      char chunk[4096];
      if (recv(fd_, chunk, sizeof chunk, 0) <= 0) return true;
    }
    return false;
  }

 private:
  bool wait_readable(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd_, POLLIN, 0};
    return left.count() > 0 && poll(&p, 1, static_cast<int>(left.count())) == 1;
  }
  bool receive(Clock::time_point deadline) {
    if (!wait_readable(deadline)) return false;
    char chunk[65536];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    pending_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  int fd_;
  std::string pending_;
};

class HttpServerTest : public ::testing::Test {
 protected:
  void start(std::function<std::string()> metrics = [] { return kMetrics; }) {
    options.listen_address = "127.0.0.1:0";
    server_ = std::make_unique<HttpServer>(options, std::move(metrics));
    thread_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
  }
  unsigned short port() const { return server_->port(); }

  // A fresh connection's scrape: its time, or nothing when it failed.
  std::optional<Clock::duration> timed_scrape() {
    const auto start = Clock::now();
    auto r = Client(port()).ask("/metrics");
    if (!r || r->result_int() != 200 || r->body() != kMetrics) return std::nullopt;
    return Clock::now() - start;
  }

  HttpOptions options;

 private:
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
};

// Every case on one kept-alive connection: had a HEAD answer carried a body, the next case
// would read it as its status line.
TEST_F(HttpServerTest, RoutesMethodsAndContentTypes) {
  options.telemetry_path = "/board&stats";
  start();
  const std::string metrics_type = "text/plain; version=0.0.4; charset=utf-8";
  const std::string metrics_length = std::to_string(kMetrics.size());
  const struct {
    std::string method, target;
    unsigned status;
    std::string header, value, body_part;
  } cases[] = {
      {"GET", "/board&stats", 200, "content-type", metrics_type, kMetrics},
      {"HEAD", "/board&stats", 200, "content-length", metrics_length, ""},
      {"GET", "/board&stats?collect=all", 200, "content-type", metrics_type, kMetrics},
      {"HEAD", "/", 200, "content-type", "text/html; charset=utf-8", ""},
      {"GET", "/", 200, "content-type", "text/html; charset=utf-8",
       "<a href=\"/board&amp;stats\">"},
      {"GET", "/metrics", 404, "", "", ""},
      {"GET", "/board&statsX", 404, "", "", ""},
      {"POST", "/board&stats", 405, "allow", "GET, HEAD", ""},
      {"DELETE", "/", 405, "allow", "GET, HEAD", ""},
  };
  Client c(port());
  for (const auto& t : cases) {
    SCOPED_TRACE(t.method + " " + t.target);
    auto r = c.ask(t.target, t.method);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->result_int(), t.status);
    EXPECT_EQ((*r)[t.header], t.value);
    EXPECT_NE(r->body().find(t.body_part), std::string::npos) << r->body();
  }
}

TEST_F(HttpServerTest, EachScrapeAfterAnAnswerGetsAFreshText) {
  std::atomic<int> formatted{0};
  start([&] { return std::to_string(++formatted) + "\n"; });
  Client c(port());
  std::string previous;
  for (int i = 0; i < 5; ++i) {
    const auto r = c.ask("/metrics");
    ASSERT_TRUE(r);
    EXPECT_NE(r->body(), previous) << "a text formatted for an earlier scrape was served again";
    previous = r->body();
  }
}

TEST_F(HttpServerTest, OversizedRequestsAreRefusedAndTheServerGoesOn) {
  options.max_request_bytes = 1024;
  start();
  const struct {
    const char* what;
    std::string request;
    unsigned status;
  } cases[] = {
      {"header", "GET /metrics HTTP/1.1\r\nX-Pad: " + std::string(4000, 'a') + "\r\n\r\n", 431},
      {"body",
       "POST /metrics HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'b'), 413},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    Client c(port());
    c.send(t.request);
    auto r = c.response();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->result_int(), t.status);
    EXPECT_TRUE(c.closed_within(3s));
    EXPECT_TRUE(timed_scrape());
  }
}

TEST_F(HttpServerTest, AtTheLimitTheLongestWaitingConnectionMakesRoom) {
  options.max_connections = 2;
  start();
  Client oldest(port()), newer(port());
  std::this_thread::sleep_for(100ms);  // both accepted, oldest first
  ASSERT_TRUE(newer.ask("/"));         // newer has waited less since its last request
  EXPECT_TRUE(timed_scrape());
  EXPECT_TRUE(oldest.closed_within(2s));
  EXPECT_TRUE(newer.ask("/metrics")) << "the connection that was active was closed instead";
}

TEST_F(HttpServerTest, BeyondTheLimitOfBusyConnectionsNewOnesAreRefusedUntilWritesTimeOut) {
  options.max_connections = 2;
  options.write_timeout = 2s;
  const std::string big(64 << 20, '#');  // more than the socket buffers take
  start([&] { return big; });
  Client stuck1(port()), stuck2(port());  // ask and never read: the server stays writing
  const std::string request = "GET /metrics HTTP/1.1\r\n\r\n";
  ASSERT_TRUE(stuck1.send(request) && stuck2.send(request));
  std::this_thread::sleep_for(700ms);  // both read and being answered, on a busy machine too
  const auto refused = Client(port()).ask("/");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->result_int(), 503u);
  std::this_thread::sleep_for(2s);  // past the write timeout, still without reading
  const auto after = Client(port()).ask("/");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->result_int(), 200u);
  EXPECT_TRUE(stuck1.closed_within(5s));
  EXPECT_TRUE(stuck2.closed_within(5s));
}

TEST_F(HttpServerTest, IdleAndSlowClientsDoNotDelayAScrape) {
  options.read_timeout = 60s;
  start();
  std::vector<std::unique_ptr<Client>> idle;
  for (int i = 0; i < 20; ++i) idle.push_back(std::make_unique<Client>(port()));
  Client slow(port());
  std::atomic<bool> done{false};
  std::thread trickle([&] {  // one byte a second, never a whole request
    const std::string request = "GET /metrics HTTP/1.1\r\n\r\n";
    for (size_t i = 0; i < request.size() - 1 && !done; ++i) {
      slow.send(request.substr(i, 1));
      for (int k = 0; k < 10 && !done; ++k) std::this_thread::sleep_for(100ms);
    }
  });
  Clock::duration slowest{};
  for (int i = 0; i < 25; ++i) {
    const auto took = timed_scrape();
    ASSERT_TRUE(took) << "scrape " << i;
    slowest = std::max(slowest, *took);
    std::this_thread::sleep_for(100ms);
  }
  done = true;
  trickle.join();
  EXPECT_LT(slowest, 1s) << "a scrape waited behind the idle or slow clients";
}

TEST_F(HttpServerTest, ReadTimeoutClosesIdleAndTricklingConnections) {
  options.read_timeout = 500ms;
  start();
  for (const bool trickling : {false, true}) {
    SCOPED_TRACE(trickling ? "trickling" : "idle");
    Client c(port());
    const auto begin = Clock::now();
    bool closed = false;
    // The trickling client sends a byte every 100 ms: the deadline holds for the whole request.
    for (int i = 0; i < 40 && !closed; ++i) {
      if (trickling) c.send("G");
      closed = c.closed_within(100ms);
    }
    EXPECT_TRUE(closed);
    EXPECT_GE(Clock::now() - begin, 400ms);
  }
}

TEST(ServeHttp, CannotListenSaysWhyAndReturnsOne) {
  HttpServer holder({"127.0.0.1:0"}, [] { return kMetrics; });
  const std::string in_use = "127.0.0.1:" + std::to_string(holder.port());
  const struct {
    std::string address, reason;
  } cases[] = {
      {in_use, "Address already in use"},
      {"127.0.0.1", "missing port in address"},
      {"127.0.0.1:65536", "invalid port \"65536\""},
      {"[::1:80", "unmatched '[' in address"},
      {"192.0.2.1:0", "Cannot assign requested address"},  // not an address of this machine
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.address);
    HttpOptions options;
    options.listen_address = t.address;
    testing::internal::CaptureStderr();
    const int status = serve_http(options, [] { return kMetrics; });
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "boardstat_exporter: cannot listen on " + t.address + ": " + t.reason + "\n");
    EXPECT_EQ(status, 1);
  }
}

TEST(ListenAddress, Forms) {
  const struct {
    std::string text, host;
    int port;  // -1: refused
  } cases[] = {
      {":10208", "", 10208}, {"127.0.0.1:80", "127.0.0.1", 80},
      {"[::1]:9", "::1", 9}, {"[::]:65535", "::", 65535},
      {"::1:80", "", -1},    {"[]:80", "", -1},
      {":8o", "", -1},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.text);
    std::string error;
    const auto parsed = parse_listen_address(t.text, &error);
    ASSERT_EQ(parsed.has_value(), t.port >= 0) << error;
    if (!parsed) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(parsed->host, t.host);
    EXPECT_EQ(parsed->port, t.port);
  }
}

}  // namespace
}  // namespace boardstat
