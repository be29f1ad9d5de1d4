// The exporter's HTTP server on 127.0.0.1, driven by plain sockets with bounded waits. What raw
// requests must get is in requests.case; limits, time-outs, addresses and TLS are here.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/http.hpp>

#include "exporter/gzip.h"
#include "exporter/http/http_server.h"
#include "exporter/http/listen_address.h"
#ifdef BOARDSTAT_EXPORTER_TLS
#include <future>

#include "exporter/http/password_check.h"
#endif

namespace boardstat {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Response = boost::beast::http::response<boost::beast::http::string_body>;

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

  // The answer to a request written out whole (to HEAD: no body whatever its Content-Length
  // says), or nothing when it cannot be sent or does not come within 5 s.
  std::optional<Response> raw(const std::string& request) {
    if (!send(request)) return {};
    const auto deadline = Clock::now() + 5s;
    boost::beast::http::response_parser<boost::beast::http::string_body> parser;
    parser.skip(request.rfind("HEAD ", 0) == 0);
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
  std::optional<Response> ask(const std::string& target) {
    return raw("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  }

  // True when the server closes (or resets) the connection within the limit.
  bool closed_within(Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    char chunk[4096];
    while (wait_readable(deadline))
      if (recv(fd_, chunk, sizeof chunk, 0) <= 0) return true;
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

// The text after "NAME: " in a line, NAME in *name (the whole line when it has no colon).
std::string split(const std::string& line, std::string* name) {
  const auto colon = line.find(':');
  *name = line.substr(0, colon);
  return colon == std::string::npos ? "" : line.substr(std::min(line.size(), colon + 2));
}

// A server on a port of its own; web_yml, a web configuration file in a folder of its own.
class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/boardstat_web_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    web_yml = dir_ + "/web.yml";
  }
  void TearDown() override {
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  void start(std::function<std::string()> metrics = [] { return kMetrics; }) {
    options.listen_address = "127.0.0.1:0";
    options.stats = &stats;
    server_ =
        std::make_unique<HttpServer>(options, [m = std::move(metrics)] { return rendered(m()); });
    thread_ = std::thread([this] { server_->run(); });
  }
  unsigned short port() const { return server_->port(); }

  // The status of a fresh connection's GET, 0 when none came.
  unsigned status(const std::string& target) {
    const auto r = Client(port()).ask(target);
    return r ? r->result_int() : 0;
  }
  // A fresh connection's scrape: its time, or nothing when it failed.
  std::optional<Clock::duration> timed_scrape() {
    const auto start = Clock::now();
    auto r = Client(port()).ask("/metrics");
    if (!r || r->result_int() != 200 || r->body() != kMetrics) return std::nullopt;
    return Clock::now() - start;
  }

  // A new file renamed over the old, as editors and configuration tools do, with the old one's
  // modification time: two writes can fall in one tick of the file system's clock.
  void write_config(const std::string& text) {
    const std::string next = web_yml + ".new";
    std::ofstream(next) << text;
    struct stat old {};
    if (stat(web_yml.c_str(), &old) == 0) {
      const timespec times[2] = {old.st_atim, old.st_mtim};
      ASSERT_EQ(utimensat(AT_FDCWD, next.c_str(), times, 0), 0);
    }
    ASSERT_EQ(rename(next.c_str(), web_yml.c_str()), 0);
  }
  // A self-signed certificate beside web_yml: cert.pem and key.pem.
  bool make_certificate() {
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -keyout '" +
        dir_ + "/key.pem' -out '" + dir_ + "/cert.pem' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
  void run_cases(std::istream& in);

  HttpOptions options;
  RequestStats stats;
  std::string dir_, web_yml;

 private:
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
};

// Reads requests.case as its head says, on standard error captured.
void HttpServerTest::run_cases(std::istream& in) {
  const auto said = [] {  // what the server said since the last look
    const std::string text = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    return text;
  };
  const std::regex repeat(R"(\{(.)\*(\d+)\})");
  const std::regex date(R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d GMT)");
  std::unique_ptr<Client> client;
  std::optional<Response> r;
  std::string request, line, name;
  for (int number = 1; std::getline(in, line); ++number) {
    SCOPED_TRACE("requests.case:" + std::to_string(number));
    line = std::regex_replace(line, std::regex("@PORT@"), std::to_string(port()));
    line = std::regex_replace(line, std::regex("@DIR@"), dir_);
    const std::string value = split(line, &name);
    if (line.empty()) {
      client.reset();
    } else if (line[0] == '>') {
      std::string part = line.substr(std::min<size_t>(line.size(), 2));
      std::smatch m;
      if (std::regex_search(part, m, repeat))
        part = m.prefix().str() + std::string(std::stoul(m.str(2)), m.str(1)[0]) + m.suffix().str();
      request += part + "\r\n";
    } else if (line[0] == '<') {
      if (!request.empty()) {  // the answer to the request above
        if (!client) client = std::make_unique<Client>(port());
        said();
        r = client->raw(request);
        request.clear();
        ASSERT_TRUE(r) << "no answer";
        EXPECT_TRUE(std::regex_match(std::string((*r)["date"]), date)) << (*r)["date"];
        EXPECT_TRUE(r->result_int() < 300 || r->body() != kMetrics) << "an error with the metrics";
      }
      ASSERT_TRUE(r) << "no request above";
      const std::string want = split(line.substr(2), &name);
      if (std::isdigit(static_cast<unsigned char>(line[2]))) {
        EXPECT_EQ(r->result_int(), std::stoul(name));
      } else if (name == "closed") {
        EXPECT_TRUE(client->closed_within(3s));
      } else if (name != "body") {
        EXPECT_EQ(std::string((*r)[name]), want);
      } else if (want == "metrics") {
        EXPECT_EQ((*r)["content-encoding"] == "gzip" ? gunzip(r->body()) : r->body(), kMetrics);
      } else {
        EXPECT_NE(r->body().find(want), std::string::npos) << r->body();
      }
    } else if (line[0] == '#') {
    } else if (name == "listen") {
      options.listen_address = value;
    } else if (name.rfind("refused ", 0) == 0) {
      said();
      const auto why = name.substr(8);
      ASSERT_TRUE(why == "address" || why == "web.config.file") << line;
      EXPECT_EQ(listen_http(options, [] { return rendered(kMetrics); }).failure,
                why == "address" ? ListenFailure::kCannotListen : ListenFailure::kBadWebConfig);
      const std::string message = said();
      EXPECT_TRUE(std::regex_match(message, std::regex("boardstat_exporter: " + value + "\n")))
          << message;
    } else if (!web_config_supported()) {
      return;  // the rest is about the web configuration file
    } else if (name == "web.yml") {
      write_config(value);
    } else if (name == "no web.yml") {
      std::remove(web_yml.c_str());
    } else if (name == "stderr") {
      const std::string text = said();
      EXPECT_TRUE(std::regex_search(text, std::regex(value))) << text;
    } else {
      ADD_FAILURE() << "a line of no known kind";
    }
  }
}

TEST_F(HttpServerTest, RequestsOfTheCaseFile) {
  options.telemetry_path = "/board&stats";
  options.max_request_bytes = 1024;
  if (web_config_supported()) {
    ASSERT_TRUE(make_certificate()) << "openssl is missing (apt-get install openssl)";
    write_config("");
    options.web_config_file = web_yml;
  }
  start();
  std::ifstream cases(BOARDSTAT_HTTP_CASES);
  ASSERT_TRUE(cases) << BOARDSTAT_HTTP_CASES;
  testing::internal::CaptureStderr();
  run_cases(cases);
  testing::internal::GetCapturedStderr();
}

TEST_F(HttpServerTest, RequestsPastTheLimitGet503AndAreCounted) {
  options.max_requests = 1;
  const std::string big(64 << 20, '#');  // more than the socket buffers take
  start([&] { return big; });
  EXPECT_EQ(status("/nowhere"), 404u);
  Client stuck(port());  // asks and never reads: its request stays in flight
  ASSERT_TRUE(stuck.send("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n"));
  unsigned refused = 0;
  for (int i = 0; i < 50 && refused != 503; ++i) {
    std::this_thread::sleep_for(50ms);
    refused = status("/");
  }
  EXPECT_EQ(refused, 503u);
  EXPECT_EQ(stats.in_flight.load(), 1);
  const auto count = [&](unsigned code) {
    const auto& codes = RequestStats::kCodes;
    return stats.answered.at(std::find(codes.begin(), codes.end(), code) - codes.begin()).load();
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
  EXPECT_EQ(status("/"), 503u);
  std::this_thread::sleep_for(2s);  // past the write timeout, still without reading
  EXPECT_EQ(status("/"), 200u);
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

// The forms of a listen address taken apart (requests.case has those refused).
TEST(ListenAddress, Forms) {
  const struct {
    std::string text, host;
    int port;
  } cases[] = {{":10208", "", 10208},
               {"127.0.0.1:80", "127.0.0.1", 80},
               {"[::1]:9", "::1", 9},
               {"[::]:65535", "::", 65535}};
  for (const auto& t : cases) {
    std::string error;
    const auto parsed = parse_listen_address(t.text, &error);
    ASSERT_TRUE(parsed) << t.text << ": " << error;
    EXPECT_EQ(parsed->host, t.host);
    EXPECT_EQ(parsed->port, t.port);
  }
}

#ifdef BOARDSTAT_EXPORTER_TLS

// The body and status of a GET of /metrics over TLS by curl (the certificate not checked),
// "BODY|STATUS"; curl gives up after 5 s.
std::string curl_tls(unsigned short port, const std::string& curl_options) {
  const std::string command = "curl -sk -m 5 -w '|%{http_code}' " + curl_options +
                              " https://127.0.0.1:" + std::to_string(port) + "/metrics";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[65536];
  for (size_t n; pipe && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  if (pipe) pclose(pipe);
  return out;
}

// Then what each TLS setting of the file lets a client negotiate (curl's own limits on the
// right): the range of versions, the cipher suites of TLS 1.2, the key exchange groups (with
// TLS 1.3, where they do not depend on the certificate's curve). A new connection takes the
// file as it is now.
TEST_F(HttpServerTest, TlsWithPasswordsAPlainClientFailsAloneAndTheSettingsHold) {
  ASSERT_TRUE(make_certificate()) << "openssl is missing (apt-get install openssl)";
  ASSERT_EQ(std::system("curl --version >/dev/null"), 0)
      << "curl is missing (apt-get install curl)";
  const std::string tls = "tls_server_config: {cert_file: cert.pem, key_file: key.pem";
  const std::string users =
      "}\nbasic_auth_users: {alice: "
      "$2b$04$hS54ELe8Z1AGPGqg42wmBudM4HgFf.xbDsHJsAJpUyxMnK6KMm.Ui}\n";
  write_config(tls + users);
  options.web_config_file = web_yml;
  // Many TLS records: the answer is written record by record.
  std::string big;
  while (big.size() < 200000) big += kMetrics;
  start([&] { return big; });
  Client plain_idle(port());  // a plain connection left open meanwhile
  EXPECT_EQ(curl_tls(port(), "-u alice:s3cret"), big + "|200");
  // Plain HTTP on the TLS port: told so, and closed.
  Client plain(port());
  const auto refused = plain.ask("/metrics");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->result_int(), 400u);
  EXPECT_EQ(refused->body(), "Client sent an HTTP request to an HTTPS server.\n");
  EXPECT_TRUE(plain.closed_within(3s));
  EXPECT_EQ(curl_tls(port(), ""), "401 Unauthorized\n|401");
  const struct {
    std::string settings, client;
    bool served;
  } cases[] = {
      {"", "--tlsv1.2 --tls-max 1.2", true},
      {"", "--tlsv1.3", true},
      {"", "--tlsv1.1 --tls-max 1.1", false},
      {", min_version: TLS13", "--tlsv1.2 --tls-max 1.2", false},
      {", min_version: TLS13", "--tlsv1.3", true},
      {", max_version: TLS12", "--tlsv1.3", false},
      {", max_version: TLS12", "--tlsv1.2 --tls-max 1.2", true},
      {", cipher_suites: [TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256]",
       "--tls-max 1.2 --ciphers ECDHE-ECDSA-AES128-GCM-SHA256", true},
      {", cipher_suites: [TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256]",
       "--tls-max 1.2 --ciphers ECDHE-ECDSA-AES256-GCM-SHA384", false},
      {", curve_preferences: [CurveP384]", "--tlsv1.3 --curves P-384", true},
      {", curve_preferences: [CurveP384]", "--tlsv1.3 --curves X25519", false},
      {", curve_preferences: [X25519, CurveP256]", "--tlsv1.3 --curves X25519", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings + " / " + c.client);
    write_config(tls + c.settings + users);
    EXPECT_EQ(curl_tls(port(), "-u alice:s3cret " + c.client), c.served ? big + "|200" : "|000");
  }
}

// Basic credentials, "Authorization: Basic BASE64(user:password)" and CR LF.
std::string authorization(const std::string& user, const std::string& password) {
  namespace base64 = boost::beast::detail::base64;
  const std::string plain = user + ":" + password;
  std::string coded(base64::encoded_size(plain.size()), '\0');
  coded.resize(base64::encode(coded.data(), plain.data(), plain.size()));
  return "Authorization: Basic " + coded + "\r\n";
}

// alice:s3cret at bcrypt cost 8: some 25 ms of processor time a check, enough for 30 clients to
// stall a server that checks on its own thread, few enough that those waiting in line are
// answered within the client's 5 s on a loaded machine.
const std::string kAliceCost8 =
    "basic_auth_users: {alice: '$2b$08$PvDjl1FgAgIwR4P9wkVU6e9dQ/6yi4jcdlC/uStZ80FSWstA.F4kO'}\n";

// 30 clients sending wrong passwords, known users and unknown ones, each needing bcrypt: the
// checks wait in a line of their own, those past it are refused at once, and a scraper whose
// password was accepted before is answered at once throughout.
TEST_F(HttpServerTest, AFloodOfWrongPasswordsDoesNotStallAnAcceptedScraper) {
  write_config(kAliceCost8);
  options.web_config_file = web_yml;
  start();
  const auto get = [](Client& c, const std::string& credentials) {
    return c.raw("GET /metrics HTTP/1.1\r\nHost: a\r\n" + credentials + "\r\n");
  };
  Client scraper(port());
  const auto first = get(scraper, authorization("alice", "s3cret"));
  ASSERT_TRUE(first && first->result_int() == 200);
  std::atomic<bool> done{false};
  std::atomic<int> refused{0}, busy{0};
  std::vector<std::thread> flood;
  for (int t = 0; t < 30; ++t) {
    flood.emplace_back([&, t] {
      Client c(port());  // kept alive: each answer is followed at once by the next request
      for (int i = 0; !done; ++i) {
        const auto r =
            get(c, authorization(t % 2 ? "alice" : "mallory", std::to_string(t * 100000 + i)));
        const unsigned status = r ? r->result_int() : 0;
        if (status == 401 || status == 503) (status == 401 ? refused : busy)++;
      }
    });
  }
  Clock::duration slowest{};
  for (int i = 0; i < 30; ++i) {
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    const auto r = get(scraper, authorization("alice", "s3cret"));
    ASSERT_TRUE(r && r->result_int() == 200) << "scrape " << i;
    slowest = std::max(slowest, Clock::now() - start);
  }
  done = true;
  for (auto& t : flood) t.join();
  EXPECT_LT(slowest, 500ms) << "a scrape waited behind the password checks";
  EXPECT_GT(refused.load(), 0);
  EXPECT_GT(busy.load(), 0) << "the line of checks never filled";
}

// The worker's outcomes, then the same asked again: remembered, answered at once. An unknown
// user is checked too (against the hash of its cost), and refused whatever the password.
TEST(PasswordCheck, CheckedOnTheWorkerThenRemembered) {
  const std::string hash = "$2b$04$hS54ELe8Z1AGPGqg42wmBudM4HgFf.xbDsHJsAJpUyxMnK6KMm.Ui";
  using Verdict = PasswordCheck::Verdict;
  const struct {
    PasswordCheck::Attempt attempt;
    bool accepted;
  } cases[] = {{{"alice", "s3cret", hash, true}, true},
               {{"alice", "other", hash, true}, false},
               {{"carol", "s3cret", unknown_user_hash(4), false}, false},
               {{"carol", "s3cret", hash, false}, false}};
  PasswordCheck check;
  const auto always = [] { return true; };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attempt.user + ":" + c.attempt.password);
    std::promise<bool> outcome;
    ASSERT_EQ(check.check(
                  c.attempt, [&](bool ok) { outcome.set_value(ok); }, always),
              Verdict::kQueued);
    auto future = outcome.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(future.get(), c.accepted);
    EXPECT_EQ(check.check(
                  c.attempt, [](bool) { ADD_FAILURE() << "checked again"; }, always),
              c.accepted ? Verdict::kAccepted : Verdict::kRefused);
  }
  EXPECT_EQ(bcrypt_cost(unknown_user_hash(12)), 12);
}

// Memories of bounded size, and of bounded time for refusals.
TEST(PasswordCheck, MemoriesAreBounded) {
  const auto t0 = OutcomeMemory::Clock::now();
  OutcomeMemory memory(2, 60s);
  for (const char* digest : {"a", "b", "c"}) memory.add(digest, t0);
  EXPECT_FALSE(memory.holds("a", t0));
  EXPECT_TRUE(memory.holds("b", t0) && memory.holds("c", t0));
  EXPECT_EQ(memory.size(), 2u);
  EXPECT_FALSE(memory.holds("c", t0 + 60s));
}

#endif  // BOARDSTAT_EXPORTER_TLS

}  // namespace
}  // namespace boardstat
