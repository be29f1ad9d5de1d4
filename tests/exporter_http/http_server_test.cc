// The exporter's HTTP server on 127.0.0.1, driven by plain sockets with bounded waits.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

#include <boost/beast/http.hpp>
#ifdef BOARDSTAT_EXPORTER_TLS
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#endif

#include "exporter/gzip.h"
#include "exporter/http/http_server.h"
#include "exporter/http/listen_address.h"
#include "exporter/http/request_rules.h"

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

  // The response to a request written out whole, or nothing.
  std::optional<Response> raw(const std::string& request, bool to_head = false) {
    if (!send(request)) return {};
    return response(to_head);
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

RenderedPtr rendered(const std::string& text) {
  auto r = std::make_shared<RenderedExposition>();
  r->plain = text;
  r->gzip = gzip(text);
  return r;
}

std::string gunzip(const std::string& data) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return {};
  std::string out(1 << 20, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return status == Z_STREAM_END && z.avail_in == 0 ? out : "not one whole gzip member";
}

class HttpServerTest : public ::testing::Test {
 protected:
  void start(std::function<std::string()> metrics = [] { return kMetrics; }) {
    options.listen_address = "127.0.0.1:0";
    options.stats = &stats;
    server_ =
        std::make_unique<HttpServer>(options, [m = std::move(metrics)] { return rendered(m()); });
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
  RequestStats stats;

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

TEST_F(HttpServerTest, GzipOnlyWhenTheClientTakesIt) {
  start();
  const struct {
    std::string accept_encoding;  // "-": no header
    bool gzipped;
  } cases[] = {
      {"-", false},
      {"gzip", true},
      {"deflate, gzip;q=1.0, *;q=0.5", true},  // as Prometheus asks
      {"identity", false},
      {"gzip;q=0", false},
      {"*", true},
      {"*, gzip;q=0", false},
      {"br, x-gzip", true},
  };
  Client c(port());
  for (const auto& t : cases) {
    SCOPED_TRACE(t.accept_encoding);
    const std::string header =
        t.accept_encoding == "-" ? "" : "Accept-Encoding: " + t.accept_encoding + "\r\n";
    auto r = c.raw("GET /metrics HTTP/1.1\r\nHost: x\r\n" + header + "\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ((*r)["vary"], "Accept-Encoding");
    EXPECT_EQ((*r)["content-encoding"], t.gzipped ? "gzip" : "");
    EXPECT_EQ(t.gzipped ? gunzip(r->body()) : r->body(), kMetrics);
  }
}

// Raw requests, each on its own connection, and what they must get.
TEST_F(HttpServerTest, RequestFormsAndManners) {
  start();
  const struct {
    const char* what;
    std::string request;
    unsigned status;
    bool metrics;  // the body is the metrics text
  } cases[] = {
      {"origin form", "GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", 200, true},
      {"absolute form", "GET http://127.0.0.1:9/metrics?x=1 HTTP/1.1\r\nHost: a\r\n\r\n", 200,
       true},
      {"absolute form, other path", "GET http://h/other HTTP/1.1\r\nHost: a\r\n\r\n", 404, false},
      {"HTTP/1.1 without Host", "GET /metrics HTTP/1.1\r\n\r\n", 400, false},
      {"HTTP/1.0 without Host", "GET /metrics HTTP/1.0\r\n\r\n", 200, true},
      {"target over the limit", "GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n", 414,
       false},
      {"no target form", "GET metrics HTTP/1.1\r\nHost: a\r\n\r\n", 400, false},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    Client c(port());
    auto r = c.raw(t.request);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->result_int(), t.status);
    EXPECT_EQ(r->body() == kMetrics, t.metrics);
    // RFC 7231 IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT"
    const std::string date((*r)["date"]);
    EXPECT_EQ(date.size(), 29u) << date;
    EXPECT_EQ(date.substr(25), " GMT") << date;
  }
}

TEST_F(HttpServerTest, RequestsPastTheLimitGet503AndAreCounted) {
  options.max_requests = 1;
  const std::string big(64 << 20, '#');  // more than the socket buffers take
  start([&] { return big; });
  EXPECT_EQ(Client(port()).ask("/nowhere")->result_int(), 404u);
  Client stuck(port());  // asks and never reads: its request stays in flight
  ASSERT_TRUE(stuck.send("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n"));
  std::optional<Client::Response> refused;
  for (int i = 0; i < 50 && !(refused && refused->result_int() == 503); ++i) {
    std::this_thread::sleep_for(50ms);
    refused = Client(port()).ask("/");
  }
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->result_int(), 503u);
  EXPECT_EQ(stats.in_flight.load(), 1);
  const auto count = [&](unsigned code) {
    for (size_t i = 0; i < RequestStats::kCodes.size(); ++i)
      if (RequestStats::kCodes[i] == code) return stats.answered[i].load();
    return uint64_t{99};
  };
  EXPECT_GE(count(503), 1u);
  EXPECT_EQ(count(404), 1u);
  EXPECT_EQ(count(200), 1u);  // the stuck one's answer, counted when it started
}

// An answer that the socket took whole is over: many clients at once, each asking again as
// soon as answered, never meet the limit of one request at a time.
TEST_F(HttpServerTest, AnswersSentAtOnceDoNotCountAgainstTheLimit) {
  options.max_requests = 1;
  start();
  std::atomic<int> refused{0}, answered{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([&] {
      Client c(port());
      for (int i = 0; i < 100; ++i) {
        const auto r = c.ask("/metrics");
        if (!r) return;
        (r->result_int() == 200 ? answered : refused)++;
      }
    });
  }
  for (auto& c : clients) c.join();
  EXPECT_EQ(answered.load(), 800);
  EXPECT_EQ(refused.load(), 0);
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
  const std::string request = "GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n";
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
  const MetricsSource metrics = [] { return rendered(kMetrics); };
  HttpOptions any_port;
  any_port.listen_address = "127.0.0.1:0";
  HttpServer holder(any_port, metrics);
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
    const int status = listen_http(options, metrics).status;
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

#ifdef BOARDSTAT_EXPORTER_TLS

// Bcrypt hashes (cost 4) of "s3cret" and "other".
const std::string kHashSecret = "$2b$04$hS54ELe8Z1AGPGqg42wmBudM4HgFf.xbDsHJsAJpUyxMnK6KMm.Ui";
const std::string kHashOther = "$2b$04$cF/xrjN/qTRx14Y2kXDxx.H20OsuhD2vxbs/glhkjCM5RPdu8/OBS";

std::string basic(const std::string& user_password) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < user_password.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(user_password[i]) << 16;
    if (i + 1 < user_password.size()) v |= static_cast<uint8_t>(user_password[i + 1]) << 8;
    if (i + 2 < user_password.size()) v |= static_cast<uint8_t>(user_password[i + 2]);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < user_password.size() ? kDigits[(v >> 6) & 63] : '=';
    out += i + 2 < user_password.size() ? kDigits[v & 63] : '=';
  }
  return "Basic " + out;
}

// A web configuration file in a folder of its own, with a self-signed certificate beside it.
class WebConfigTest : public HttpServerTest {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/boardstat_web_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    options.web_config_file = dir_ + "/web.yml";
  }
  void TearDown() override {
    HttpServerTest::TearDown();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  void write_config(const std::string& text) {
    // A new file renamed over the old, as editors and configuration tools do.
    FILE* f = fopen((options.web_config_file + ".new").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(text.c_str(), f);
    fclose(f);
    ASSERT_EQ(rename((options.web_config_file + ".new").c_str(), options.web_config_file.c_str()),
              0);
  }
  bool make_certificate() {
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -keyout '" +
        dir_ + "/key.pem' -out '" + dir_ + "/cert.pem' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
  std::string dir_;
};

using Response = Client::Response;

// One request over TLS, the server's certificate not checked; nothing when any step fails or
// the whole takes more than 5 s.
std::optional<Response> tls_request(unsigned short port, const std::string& request) {
  namespace asio = boost::asio;
  namespace beast = boost::beast;
  using boost::system::error_code;
  asio::io_context io;
  asio::ssl::context context(asio::ssl::context::tls_client);
  beast::ssl_stream<beast::tcp_stream> stream(io, context);
  beast::flat_buffer buffer;
  Response response;
  bool done = false;
  beast::get_lowest_layer(stream).async_connect(
      asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port), [&](error_code ec) {
        if (ec) return;
        stream.async_handshake(asio::ssl::stream_base::client, [&](error_code ec) {
          if (ec) return;
          asio::async_write(stream, asio::buffer(request), [&](error_code ec, size_t) {
            if (ec) return;
            boost::beast::http::async_read(stream, buffer, response,
                                           [&](error_code ec, size_t) { done = !ec; });
          });
        });
      });
  io.run_for(5s);
  if (!done) return std::nullopt;
  return response;
}

TEST_F(WebConfigTest, PasswordsAreCheckedAndTheFileIsTakenUpWhenItChanges) {
  write_config("basic_auth_users:\n  alice: " + kHashSecret + "\n  bob: '" + "$2y$" +
               kHashOther.substr(4) + "'\n");
  start();
  const struct {
    const char* what;
    std::string authorization;  // empty: none sent
    unsigned status;
  } cases[] = {
      {"right", basic("alice:s3cret"), 200},
      {"right, $2y$ hash", basic("bob:other"), 200},
      {"wrong password", basic("alice:other"), 401},
      {"unknown user", basic("carol:s3cret"), 401},
      {"no password", "", 401},
      {"not base64", "Basic !!!!", 401},
      {"no colon", basic("alice"), 401},
      {"other scheme", "Bearer abc", 401},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    const std::string header =
        t.authorization.empty() ? "" : "Authorization: " + t.authorization + "\r\n";
    auto r = Client(port()).raw("GET /metrics HTTP/1.1\r\nHost: a\r\n" + header + "\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->result_int(), t.status);
    EXPECT_EQ((*r)["www-authenticate"], t.status == 401 ? "Basic" : "");
    EXPECT_EQ(r->body() == kMetrics, t.status == 200);
  }

  const auto status_with = [&](const std::string& user_password) {
    auto r = Client(port()).raw(
        "GET /metrics HTTP/1.1\r\nHost: a\r\nAuthorization: " + basic(user_password) + "\r\n\r\n");
    return r ? r->result_int() : 0u;
  };
  // alice's password changes: the old one stops working at once, with no restart.
  write_config("basic_auth_users:\n  alice: " + kHashOther + "\n");
  EXPECT_EQ(status_with("alice:s3cret"), 401u);
  EXPECT_EQ(status_with("alice:other"), 200u);
  // A broken file: nothing is served (500) until it is fixed; an empty one asks for nothing.
  testing::internal::CaptureStderr();
  write_config("basic_auth_users: [\n");
  EXPECT_EQ(status_with("alice:other"), 500u);
  write_config("");
  EXPECT_EQ(Client(port()).ask("/metrics")->result_int(), 200u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("web.yml"), std::string::npos);
}

TEST_F(WebConfigTest, BadFilesAreRefusedWithOneMessageAndStatusTwo) {
  ASSERT_TRUE(make_certificate()) << "openssl is missing (apt-get install openssl)";
  const std::string tls = "tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n";
  const struct {
    const char* what;
    std::string text;  // "-": no file at all
    std::string reason;
  } cases[] = {
      {"no file", "-", "bad file"},
      {"not YAML", "tls_server_config: [\n", "end of"},
      {"not a mapping", "- a\n", "must be a YAML mapping"},
      {"unknown field", "basic_auth_user:\n  a: " + kHashSecret + "\n", "unknown field"},
      {"no key file", "tls_server_config:\n  cert_file: cert.pem\n", "missing key_file"},
      {"missing certificate", "tls_server_config:\n  cert_file: none.pem\n  key_file: key.pem\n",
       "cannot load cert_file"},
      {"key for no certificate", "tls_server_config:\n  cert_file: key.pem\n  key_file: key.pem\n",
       "cannot load cert_file"},
      {"client auth type", tls + "  client_auth_type: Sometimes\n", "invalid client_auth_type"},
      {"TLS version", tls + "  min_version: TLS14\n", "unknown TLS version"},
      {"CA without check", tls + "  client_ca_file: cert.pem\n", "client_ca_file given"},
      {"check without CA", tls + "  client_auth_type: RequireAndVerifyClientCert\n",
       "needs client_ca_file"},
      {"not bcrypt", "basic_auth_users:\n  alice: s3cret\n", "not a bcrypt hash"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.what);
    if (t.text == "-") {
      std::remove(options.web_config_file.c_str());
    } else {
      write_config(t.text);
    }
    options.listen_address = "127.0.0.1:0";
    testing::internal::CaptureStderr();
    const int status = listen_http(options, [] { return rendered(kMetrics); }).status;
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(message.rfind("boardstat_exporter: --web.config.file " + options.web_config_file, 0),
              0u)
        << message;
    EXPECT_NE(message.find(t.reason), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  }
}

TEST_F(WebConfigTest, TlsWithPasswordsAndAPlainClientFailsAlone) {
  ASSERT_TRUE(make_certificate()) << "openssl is missing (apt-get install openssl)";
  write_config(
      "tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n"
      "  min_version: TLS12\nbasic_auth_users:\n  alice: " +
      kHashSecret + "\n");
  // Many TLS records: the answer is written record by record.
  std::string big;
  while (big.size() < 200000) big += kMetrics;
  start([&] { return big; });
  Client plain_idle(port());  // a plain connection left open meanwhile
  const std::string request =
      "GET /metrics HTTP/1.1\r\nHost: a\r\nAuthorization: " + basic("alice:s3cret") + "\r\n\r\n";
  auto r = tls_request(port(), request);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->result_int(), 200u);
  EXPECT_EQ(r->body(), big);
  // Plain HTTP on the TLS port: told so, and closed.
  Client plain(port());
  const auto refused = plain.ask("/metrics");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->result_int(), 400u);
  EXPECT_EQ(refused->body(), "Client sent an HTTP request to an HTTPS server.\n");
  EXPECT_TRUE(plain.closed_within(3s));
  auto denied = tls_request(port(), "GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
  ASSERT_TRUE(denied);
  EXPECT_EQ(denied->result_int(), 401u);
  r = tls_request(port(), request);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->result_int(), 200u);
}

#endif  // BOARDSTAT_EXPORTER_TLS

}  // namespace
}  // namespace boardstat
