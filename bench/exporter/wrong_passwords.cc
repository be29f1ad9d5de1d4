// Clients sending wrong passwords: each keeps one connection and asks for PATH with a password
// of its own each time (so that no answer comes from the server's memory of refusals), the
// next as soon as the last is answered, until SECONDS have passed or each has asked COUNT
// times. USERS, separated by commas, take turns, so that a drift of the machine's load falls
// on each alike.
//
//   wrong_passwords PORT PATH USERS CLIENTS (SECONDS|COUNTx)
//
// Prints "median_ms requests refused_401 busy_503 failed", then the median of each user's
// requests when there are several; every wait is bounded (10 s).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string base64(const std::string& text) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < text.size(); i += 3) {
    unsigned group = static_cast<unsigned char>(text[i]) << 16;
    if (i + 1 < text.size()) group |= static_cast<unsigned char>(text[i + 1]) << 8;
    if (i + 2 < text.size()) group |= static_cast<unsigned char>(text[i + 2]);
    for (size_t k = 0; k < 4; ++k)
      out += i + k <= text.size() ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

int connect_to(int port) {
  return connect_to_loopback(port, 10);
}

// The status of one answer, read whole (the refusals have a Content-Length), or 0.
int ask(int fd, const std::string& request, std::string& pending) {
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return 0;
  char chunk[65536];
  size_t end;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return 0;
    pending.append(chunk, static_cast<size_t>(n));
  }
  const auto length_at = pending.find("Content-Length: ");
  if (length_at == std::string::npos || length_at > end) return 0;
  const size_t whole = end + 4 + std::strtoul(pending.c_str() + length_at + 16, nullptr, 10);
  while (pending.size() < whole) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return 0;
    pending.append(chunk, static_cast<size_t>(n));
  }
  const int status = std::atoi(pending.c_str() + 9);
  pending.erase(0, whole);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: wrong_passwords PORT PATH USER CLIENTS (SECONDS|COUNTx)\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const std::string path = argv[2];
  std::vector<std::string> users;
  for (std::string list = argv[3]; !list.empty();) {
    const size_t comma = std::min(list.find(','), list.size());
    users.push_back(list.substr(0, comma));
    list.erase(0, comma + 1);
  }
  const int clients = std::atoi(argv[4]);
  const bool counted = std::strchr(argv[5], 'x') != nullptr;
  const long limit = std::atol(argv[5]);
  const auto end = Clock::now() + std::chrono::seconds(counted ? 3600 : limit);

  std::mutex mutex;
  std::vector<double> times_ms;
  std::vector<std::vector<double>> times_of_user(users.size());
  std::atomic<long> refused{0}, busy{0}, failed{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      std::vector<double> mine;
      std::vector<std::vector<double>> mine_of_user(users.size());
      int fd = -1;
      std::string pending;
      for (long i = 0; counted ? i < limit : Clock::now() < end; ++i) {
        if (fd < 0) fd = connect_to(port);
        const std::string password = "wrong-" + std::to_string(c) + "-" + std::to_string(i);
        const std::string& user = users[static_cast<size_t>(i) % users.size()];
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                    "Authorization: Basic " + base64(user + ":" + password) +
                                    "\r\n\r\n";
        const auto start = Clock::now();
        const int status = fd < 0 ? 0 : ask(fd, request, pending);
        mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        mine_of_user[static_cast<size_t>(i) % users.size()].push_back(mine.back());
        if (status == 401) {
          ++refused;
        } else if (status == 503) {
          ++busy;
        } else {
          ++failed;
          if (fd >= 0) close(fd);
          fd = -1;
          pending.clear();
        }
      }
      if (fd >= 0) close(fd);
      std::lock_guard<std::mutex> lock(mutex);
      times_ms.insert(times_ms.end(), mine.begin(), mine.end());
      for (size_t u = 0; u < users.size(); ++u)
        times_of_user[u].insert(times_of_user[u].end(), mine_of_user[u].begin(),
                                mine_of_user[u].end());
    });
  }
  for (auto& t : threads) t.join();
  const auto median = [](std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
  };
  std::printf("%.2f %zu %ld %ld %ld\n", median(times_ms), times_ms.size(), refused.load(),
              busy.load(), failed.load());
  for (size_t u = 0; u < users.size() && users.size() > 1; ++u)
    std::printf("%s %.2f\n", users[u].c_str(), median(times_of_user[u]));
  return failed.load() == 0 ? 0 : 1;
}
