// A TCP connection to the exporter on 127.0.0.1, for the benchmark clients: reads and writes
// give up after `timeout_seconds`, and requests leave at once (no Nagle).
#ifndef BOARDSTAT_BENCH_EXPORTER_LOOPBACK_H_
#define BOARDSTAT_BENCH_EXPORTER_LOOPBACK_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>

/// The connected socket, or -1.
inline int connect_to_loopback(int port, long timeout_seconds) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  timeval limit{timeout_seconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

#endif  // BOARDSTAT_BENCH_EXPORTER_LOOPBACK_H_
