// Fuzz target: the HTTP request path, from raw bytes on a socket to the answer's status. Two
// servers run on 127.0.0.1 for the whole run, one without passwords and one asking for them
// (bcrypt cost 4, so that the password worker, its line and its memories are exercised too).
//
// Input: bit 0 of byte 0 picks the server; the bytes after it are sent on a fresh connection,
// which is then half-closed, and everything the server sends is read until it closes.
//
// Checked: no crash, leak or undefined behaviour (ASan, UBSan), on the server's threads too;
// every answer starts with a status line "HTTP/1.x NNN "; every connection is answered or closed
// within 8 s, as the server's read and write timeouts are 2 s each. libFuzzer's timer signal
// interrupts the waits here every few seconds: they are resumed, not taken for silence. What
// each request must get is the request file's job.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "exporter/http/http_server.h"

namespace {

using boardstat::HttpServer;

[[noreturn]] void fail(const char* what, const std::string& text) {
  fprintf(stderr, "http request fuzzer: %s: [%s]\n", what, text.substr(0, 200).c_str());
  abort();
}

HttpServer* start_server(const std::string& web_config_file) {
  boardstat::HttpOptions options;
  options.listen_address = "127.0.0.1:0";
  options.max_request_bytes = 1024;
  options.read_timeout = std::chrono::seconds(2);
  options.write_timeout = std::chrono::seconds(2);
  options.web_config_file = web_config_file;
  auto metrics = std::make_shared<boardstat::RenderedExposition>();
  metrics->plain = "boardstat_up 1\n";
  metrics->gzip = "not really gzip";
  // Never destroyed: the server runs until the fuzzer exits.
  auto* server = new HttpServer(options, [metrics] { return metrics; });
  std::thread([server] { server->run(); }).detach();
  return server;
}

// The plain server, and the one with a password when this build reads web configurations.
HttpServer* servers[2];

// Waits until fd is ready for events, resuming after signals; false when the deadline passed.
bool wait_for(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready == 1) return true;
    if (ready < 0 && errno != EINTR) fail("poll", "");
  }
}

int connect_to(unsigned short port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  // Interrupted, the connection goes on being made: wait for it and ask how it ended.
  int error = errno;
  if (error == EINTR &&
      wait_for(fd, POLLOUT, std::chrono::steady_clock::now() + std::chrono::seconds(8))) {
    socklen_t size = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error == 0) return fd;
  }
  fail("cannot connect", strerror(error));
}

// All the server sent until it closed, which it must do within 8 s.
std::string exchange(unsigned short port, const uint8_t* data, size_t size) {
  const int fd = connect_to(port);
  // The server may answer and close before everything is sent: a failed send is no finding.
  for (size_t sent = 0; sent < size;) {
    const ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);
  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
  while (wait_for(fd, POLLIN, deadline)) {
    char chunk[4096];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      return answer;
    }
    answer.append(chunk, static_cast<size_t>(n));
  }
  fail("neither answered nor closed within 8 s", "");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  servers[0] = servers[1] = start_server("");
  if (boardstat::web_config_supported()) {
    char folder[] = "/tmp/boardstat_http_fuzz_XXXXXX";
    if (mkdtemp(folder) == nullptr) fail("mkdtemp", folder);
    const std::string web_yml = std::string(folder) + "/web.yml";
    // alice:s3cret
    std::ofstream(web_yml) << "basic_auth_users: {alice: "
                              "'$2b$04$hS54ELe8Z1AGPGqg42wmBudM4HgFf.xbDsHJsAJpUyxMnK6KMm.Ui'}\n";
    servers[1] = start_server(web_yml);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned short port = servers[data[0] & 1]->port();
  const std::string answer = exchange(port, data + 1, size - 1);
  if (answer.empty()) return 0;  // closed without a word: a request cut short
  if (answer.size() < 13 || answer.compare(0, 7, "HTTP/1.") != 0 || answer[12] != ' ' ||
      !isdigit(answer[9]) || !isdigit(answer[10]) || !isdigit(answer[11]))
    fail("no status line", answer);
  return 0;
}
