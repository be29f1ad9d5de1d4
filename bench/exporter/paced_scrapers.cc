// Scrapers at a fixed pace, as Prometheus servers scrape, rather than as fast as answers come
// (wrk): each keeps one connection and asks for the metrics every 1/RATE seconds, starting at
// a random point of the first period, and times each answer. It asks for gzip, as Prometheus
// does.
//
//   paced_scrapers PORT PATH SCRAPERS RATE SECONDS [HEADER]
//
// HEADER: a header line sent with each request ("Authorization: Basic ...").
// Prints "p50_ms p99_ms max_ms scrapes failed". Every wait is bounded (5 s per answer).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

int connect_to(int port) {
  return connect_to_loopback(port, 5);
}

// Reads until `pending` holds at least `size` bytes.
bool fill(int fd, std::string& pending, size_t size) {
  char chunk[65536];
  while (pending.size() < size) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    pending.append(chunk, static_cast<size_t>(n));
  }
  return true;
}

// Reads until `pending` holds `text` after `from`; its position, or npos.
size_t fill_to(int fd, std::string& pending, const char* text, size_t from = 0) {
  size_t at;
  while ((at = pending.find(text, from)) == std::string::npos)
    if (!fill(fd, pending, pending.size() + 1)) return std::string::npos;
  return at;
}

// One 200 response read whole (Content-Length or chunked, as Go servers send), or false.
bool scrape(int fd, const std::string& request, std::string& pending) {
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return false;
  const size_t header_end = fill_to(fd, pending, "\r\n\r\n");
  if (header_end == std::string::npos) return false;
  const bool ok = pending.compare(9, 3, "200") == 0;
  const std::string header = pending.substr(0, header_end);
  size_t at = header_end + 4;
  const auto length_at = header.find("Content-Length: ");
  if (length_at != std::string::npos) {
    at += std::strtoul(header.c_str() + length_at + 16, nullptr, 10);
    if (!fill(fd, pending, at)) return false;
  } else if (header.find("chunked") != std::string::npos) {
    for (;;) {  // SIZE CRLF DATA CRLF ..., a chunk of size 0 and a CRLF at the end
      const size_t line_end = fill_to(fd, pending, "\r\n", at);
      if (line_end == std::string::npos) return false;
      const size_t size = std::strtoul(pending.c_str() + at, nullptr, 16);
      at = line_end + 2 + size + 2;
      if (!fill(fd, pending, at)) return false;
      if (size == 0) break;
    }
  } else {
    return false;
  }
  pending.erase(0, at);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "usage: paced_scrapers PORT PATH SCRAPERS RATE SECONDS [HEADER]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const std::string extra = argc == 7 ? std::string(argv[6]) + "\r\n" : "";
  const std::string request = std::string("GET ") + argv[2] +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: gzip\r\n" + extra +
                              "\r\n";
  const int scrapers = std::atoi(argv[3]);
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / std::atof(argv[4])));
  const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[5]));

  std::mutex mutex;
  std::vector<double> times_ms;
  long failed = 0;
  std::vector<std::thread> threads;
  for (int s = 0; s < scrapers; ++s) {
    threads.emplace_back([&, s] {
      std::mt19937 random(static_cast<unsigned>(s));
      auto next = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     period * std::uniform_real_distribution<>(0, 1)(random));
      std::vector<double> mine;
      long my_failed = 0;
      int fd = connect_to(port);
      std::string pending;
      while (next < end) {
        std::this_thread::sleep_until(next);
        next += period;
        if (fd < 0) fd = connect_to(port);
        const auto start = Clock::now();
        if (fd >= 0 && scrape(fd, request, pending)) {
          mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        } else {
          ++my_failed;
          if (fd >= 0) close(fd);
          fd = -1;
          pending.clear();
        }
      }
      if (fd >= 0) close(fd);
      std::lock_guard<std::mutex> lock(mutex);
      times_ms.insert(times_ms.end(), mine.begin(), mine.end());
      failed += my_failed;
    });
  }
  for (auto& t : threads) t.join();
  if (times_ms.empty()) {
    std::printf("- - - 0 %ld\n", failed);
    return 1;
  }
  std::sort(times_ms.begin(), times_ms.end());
  const auto at = [&](double q) {
    return times_ms[static_cast<size_t>(q * (times_ms.size() - 1))];
  };
  std::printf("%.2f %.2f %.2f %zu %ld\n", at(0.5), at(0.99), times_ms.back(), times_ms.size(),
              failed);
  return 0;
}
