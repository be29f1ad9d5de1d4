// The HTTP server's counts of its own requests, read by the exposition once a refresh.
#ifndef BOARDSTAT_EXPORTER_REQUEST_STATS_H_
#define BOARDSTAT_EXPORTER_REQUEST_STATS_H_

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <atomic>

namespace boardstat {

struct RequestStats {
  /// Every status the server answers with.
  static constexpr std::array<unsigned, 11> kCodes = {200, 400, 401, 404, 405, 413,
                                                      414, 431, 500, 503, 505};

  std::array<std::atomic<uint64_t>, kCodes.size()> answered{};  // as kCodes
  std::atomic<int64_t> in_flight{0};

  void count(unsigned code) {
    for (size_t i = 0; i < kCodes.size(); ++i) {
      if (kCodes[i] == code) {
        answered[i].fetch_add(1, std::memory_order_relaxed);
        return;
      }
    }
  }
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_REQUEST_STATS_H_
