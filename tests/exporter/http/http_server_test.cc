// The exporter's HTTP server on 127.0.0.1, driven by plain sockets with bounded waits. What
// clients send and what they must get is in requests.http; the password memory and the listen
// address forms are here.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/beast/http.hpp>

#include "exporter/flags.h"
#include "exporter/gzip.h"
#include "exporter/http/http_server.h"
#include "exporter/http/listen_address.h"
#ifdef BOARDSTAT_EXPORTER_TLS
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
    head_ = text.rfind("HEAD ", 0) == 0;
    sent_at_ = Clock::now();
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // The answer to the request sent last (to HEAD: no body whatever its Content-Length says), or
  // nothing when it does not come within 5 s; took is how long it took.
  std::optional<Response> answer() {
    const auto deadline = Clock::now() + 5s;
    boost::beast::http::response_parser<boost::beast::http::string_body> parser;
    parser.skip(head_);
    parser.eager(true);
    parser.body_limit(boost::none);
    while (true) {
      boost::system::error_code ec;
      pending_.erase(0, parser.put(boost::asio::buffer(pending_), ec));
      took = Clock::now() - sent_at_;
      if (parser.is_done()) return parser.release();
      if (ec && ec != boost::beast::http::error::need_more) return {};
      char chunk[65536];
      const ssize_t n = wait_readable(deadline) ? recv(fd_, chunk, sizeof chunk, 0) : 0;
      if (n <= 0) return {};
      pending_.append(chunk, static_cast<size_t>(n));
    }
  }
  // True when the server closes (or resets) the connection within the limit.
  bool closed_within(Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    char chunk[65536];
    while (wait_readable(deadline))
      if (recv(fd_, chunk, sizeof chunk, 0) <= 0) return true;
    return false;
  }
  Clock::duration took{};

 private:
  bool wait_readable(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count()))) == 1;
  }

  int fd_;
  bool head_ = false;
  Clock::time_point sent_at_;
  std::string pending_;
};

// The text after "NAME: " in a line, NAME in *name (the whole line when it has no colon).
std::string split(const std::string& line, std::string* name) {
  const auto colon = line.find(':');
  *name = line.substr(0, colon);
  return colon == std::string::npos ? "" : line.substr(std::min(line.size(), colon + 2));
}

#ifdef BOARDSTAT_EXPORTER_TLS
// The answer to a GET of PATH over TLS by curl (the certificate not checked), its status 0
// when there was none; curl gives up after 5 s.
Response curl_tls(unsigned short port, const std::string& path, const std::string& options) {
  const std::string command = "curl -sk -m 5 -w '|%{http_code}' " + options +
                              " 'https://127.0.0.1:" + std::to_string(port) + path + "'";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[65536];
  for (size_t n; pipe && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  if (pipe) pclose(pipe);
  const size_t bar = out.rfind('|');
  Response r;
  r.result(bar == std::string::npos ? 0 : std::stoul(out.substr(bar + 1)));
  r.body() = out.substr(0, bar);
  return r;
}
#endif

// The file's servers, each on a port of its own; web_yml, a web configuration file in a folder
// of its own.
class HttpServerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    stop();
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  // A server with the exporter's FLAGS (blank-separated) and requests of at most 1024 bytes,
  // in place of the one before, whose connections are closed.
  void start(const std::string& flags) {
    stop();
    std::istringstream words(flags);
    const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    const ParsedFlags parsed = parse_flags(std::vector<std::string_view>(args.begin(), args.end()));
    ASSERT_EQ(parsed.error, "");
    options_ = parsed.flags.http;
    options_.listen_address = listen_;
    options_.max_request_bytes = 1024;
    if (web_config_supported()) options_.web_config_file = web_yml_;
    stats_ = std::make_unique<RequestStats>();
    options_.stats = stats_.get();
    server_ = std::make_unique<HttpServer>(options_, [this] {
      std::lock_guard<std::mutex> lock(metrics_mutex_);
      return metrics_;
    });
    thread_ = std::thread([this] { server_->run(); });
  }
  void stop() {
    clients_.clear();
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
  }
  // The metrics text is now kMetrics COPIES times.
  void set_metrics(size_t copies) {
    auto rendered = std::make_shared<RenderedExposition>();
    for (size_t i = 0; i < copies; ++i) rendered->plain += kMetrics;
    rendered->gzip = gzip(rendered->plain);
    std::lock_guard<std::mutex> lock(metrics_mutex_);
    metrics_ = rendered;
  }
  // The connection NAME ("": the one without a name), made when it is not open.
  Client& client(const std::string& name) {
    auto& c = clients_[name];
    if (!c) c = std::make_unique<Client>(server_->port());
    return *c;
  }
  // A new file renamed over the old, as editors and configuration tools do, with the old one's
  // modification time: two writes can fall in one tick of the file system's clock.
  void write_config(const std::string& text) {
    const std::string next = web_yml_ + ".new";
    std::ofstream(next) << text;
    struct stat old {};
    if (stat(web_yml_.c_str(), &old) == 0) {
      const timespec times[2] = {old.st_atim, old.st_mtim};
      ASSERT_EQ(utimensat(AT_FDCWD, next.c_str(), times, 0), 0);
    }
    ASSERT_EQ(rename(next.c_str(), web_yml_.c_str()), 0);
  }
  void run_file(std::istream& in);

  std::string dir_, web_yml_, listen_ = "127.0.0.1:0";
  HttpOptions options_;
  std::unique_ptr<RequestStats> stats_;
  std::mutex metrics_mutex_;
  RenderedPtr metrics_;
  std::map<std::string, std::unique_ptr<Client>> clients_;
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
};

// Reads requests.http as its head says, with standard error captured.
void HttpServerTest::run_file(std::istream& in) {
  const auto said = [] {  // what the server said since the last look
    const std::string text = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    return text;
  };
  const auto duration = [](const std::string& text) { return parse_duration(text).value(); };
  const std::regex repeat(R"(\{(.)\*(\d+)\})");
  const std::regex date(R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d GMT)");
  std::optional<Response> r;  // the answer the "<" lines look at
  std::string request, line, name, on;
  for (int number = 1; std::getline(in, line); ++number) {
    SCOPED_TRACE("requests.http:" + std::to_string(number));
    if (server_)
      line = std::regex_replace(line, std::regex("@PORT@"), std::to_string(server_->port()));
    line = std::regex_replace(line, std::regex("@DIR@"), dir_);
    const std::string value = split(line, &name);
    if (line.empty()) {
      clients_.erase(on = "");
      continue;
    }
    if (line[0] == '#') continue;
    if (line[0] == '>') {
      std::string part = line.substr(std::min<size_t>(line.size(), 2));
      std::smatch m;
      if (std::regex_search(part, m, repeat))
        part = m.prefix().str() + std::string(std::stoul(m.str(2)), m.str(1)[0]) + m.suffix().str();
      request += part + "\r\n";
      continue;
    }
    if (line == "sent" || (line[0] == '<' && !request.empty())) {
      said();
      ASSERT_TRUE(client(on).send(request)) << "cannot send";
      request.clear();
      r.reset();
      if (line == "sent") continue;
    }
    const std::string check = line.substr(std::min<size_t>(line.size(), 2));
    if (line[0] == '<' && check.rfind("closed", 0) == 0) {
      EXPECT_TRUE(client(on).closed_within(check.size() > 14 ? duration(check.substr(14)) : 5s));
    } else if (line[0] == '<') {
      if (!r) {  // the answer to the request sent last on this connection
        r = client(on).answer();
        ASSERT_TRUE(r) << "no answer";
        const bool dated = std::regex_match(std::string((*r)["date"]), date);
        EXPECT_TRUE(dated || !on.empty()) << "no Date";
        EXPECT_TRUE(r->result_int() < 300 || r->body() != metrics_->plain)
            << "an error with metrics";
      }
      const std::string want = split(check, &name);
      if (std::isdigit(static_cast<unsigned char>(check[0]))) {
        char status[8];
        std::snprintf(status, sizeof status, " %03u ", r->result_int());
        EXPECT_NE((" " + check + " ").find(status), std::string::npos) << r->result_int();
      } else if (check.rfind("within ", 0) == 0) {
        EXPECT_LT(client(on).took, duration(check.substr(7))) << "the answer was late";
      } else if (name != "body") {
        EXPECT_EQ(std::string((*r)[name]), want);
      } else if (want == "metrics") {
        const bool gzipped = (*r)["content-encoding"] == "gzip";
        EXPECT_TRUE(r->body() == (gzipped ? metrics_->gzip : metrics_->plain)) << "not the metrics";
      } else {
        EXPECT_NE(r->body().find(want), std::string::npos) << r->body();
      }
    } else if (name == "server") {
      start(value);
      r.reset();
      on.clear();
    } else if (name.rfind("connection ", 0) == 0) {
      client(on = name.substr(11));
      r.reset();
    } else if (name == "metrics") {
      set_metrics(std::stoul(value));
    } else if (name == "wait") {
      std::this_thread::sleep_for(duration(value));
    } else if (name == "trickle") {
      for (size_t i = 0; i < value.size() && client(on).send(value.substr(i, 1)); ++i)
        std::this_thread::sleep_for(100ms);
    } else if (name == "counted") {
      std::string counts;
      for (size_t i = 0; i < RequestStats::kCodes.size(); ++i) {
        if (const auto n = stats_->answered[i].load())
          counts += std::to_string(RequestStats::kCodes[i]) + "=" + std::to_string(n) + " ";
      }
      EXPECT_EQ(counts + "in-flight=" + std::to_string(stats_->in_flight.load()), value);
    } else if (name == "listen") {
      listen_ = options_.listen_address = value;
    } else if (name.rfind("refused ", 0) == 0) {
      said();
      EXPECT_EQ(
          listen_http(options_, [] { return RenderedPtr(); }).failure,
          name == "refused address" ? ListenFailure::kCannotListen : ListenFailure::kBadWebConfig);
      const std::string message = said();
      EXPECT_TRUE(std::regex_match(message, std::regex("boardstat_exporter: " + value + "\n")))
          << message;
    } else if (!web_config_supported()) {
      return;  // the rest is about the web configuration file
    } else if (name == "web.yml") {
      write_config(value);
    } else if (name == "no web.yml") {
      std::remove(web_yml_.c_str());
    } else if (name == "stderr") {
      const std::string text = said();
      EXPECT_TRUE(std::regex_search(text, std::regex(value))) << text;
#ifdef BOARDSTAT_EXPORTER_TLS
    } else if (name == "curl") {
      r = curl_tls(server_->port(), options_.telemetry_path, value);
#endif
    } else {
      ADD_FAILURE() << "a line of no known kind";
    }
  }
}

TEST_F(HttpServerTest, RequestsOfTheFile) {
  char pattern[] = "/tmp/boardstat_web_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  web_yml_ = dir_ + "/web.yml";
  set_metrics(1);
  if (web_config_supported()) {
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -keyout '" +
        dir_ + "/key.pem' -out '" + dir_ + "/cert.pem' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "openssl is missing (apt-get install openssl)";
    ASSERT_EQ(std::system("curl --version >/dev/null"), 0)
        << "curl is missing (apt-get install curl)";
    write_config("");
  }
  std::ifstream file(BOARDSTAT_HTTP_REQUESTS);
  ASSERT_TRUE(file) << BOARDSTAT_HTTP_REQUESTS;
  testing::internal::CaptureStderr();
  run_file(file);
  testing::internal::GetCapturedStderr();
}

#ifdef BOARDSTAT_EXPORTER_TLS

// Outcomes are remembered in memories of bounded size, refusals for a bounded time; an unknown
// user's password is checked against a hash of the cost asked for.
TEST(PasswordCheck, MemoriesAreBounded) {
  EXPECT_EQ(bcrypt_cost(unknown_user_hash(12)), 12);
  const auto t0 = OutcomeMemory::Clock::now();
  OutcomeMemory memory(2, 60s);
  for (const char* digest : {"a", "b", "c"}) memory.add(digest, t0);
  EXPECT_FALSE(memory.holds("a", t0));
  EXPECT_TRUE(memory.holds("b", t0) && memory.holds("c", t0));
  EXPECT_EQ(memory.size(), 2u);
  EXPECT_FALSE(memory.holds("c", t0 + 60s));
}

#endif  // BOARDSTAT_EXPORTER_TLS

// The forms of a listen address taken apart (requests.http has those refused).
TEST(ListenAddress, Forms) {
  const std::map<std::string, std::string> forms = {{":10208", " 10208"},
                                                    {"127.0.0.1:80", "127.0.0.1 80"},
                                                    {"[::1]:9", "::1 9"},
                                                    {"[::]:65535", ":: 65535"}};
  for (const auto& [text, parts] : forms) {
    std::string error;
    const auto parsed = parse_listen_address(text, &error);
    EXPECT_EQ(parsed ? parsed->host + " " + std::to_string(parsed->port) : error, parts) << text;
  }
}

}  // namespace
}  // namespace boardstat
