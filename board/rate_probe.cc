#include "board/rate_probe.h"

#include <chrono>

#include "board/registers/rate_probe.h"

namespace boardstat {
namespace {

using namespace probe;  // the probe's register IDs

}  // namespace

uint32_t steady_milliseconds() {
  const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

int32_t run_rate_probe(KvHandle vfg, const RateProbeSetup& setup, float& count,
                       MillisecondClock clock) {
  KvRegPoke(vfg, kPrologue, 1);
  KvRegPoke(vfg, kStopCount, setup.stop_count);
  KvRegPoke(vfg, kAlwaysOne, 1);
  KvRegPoke(vfg, kAlwaysZero, 0);
  KvRegPoke(vfg, kStartSource, setup.start_source);
  KvRegPoke(vfg, kStartEdge, setup.start_edge);
  KvRegPoke(vfg, kStopSource, setup.stop_source);
  KvRegPoke(vfg, kStopEdge, setup.stop_edge);
  KvRegPoke(vfg, kCountSource, setup.count_source);
  KvRegPoke(vfg, kCountEdge, setup.count_edge);
  KvRegPoke(vfg, kMode, setup.mode);
  KvRegPoke(vfg, kStart, 1);

  const uint32_t t0 = clock();
  if (KvRegPeek(vfg, kBusy) != 0) {
    const double limit = static_cast<double>(setup.time_limit);
    do {
      // Modulo 2^32 then signed, so a wrapping clock still gives the right difference.
      const auto elapsed_ms = static_cast<int32_t>(clock() - t0);
      if (elapsed_ms / 1000.0 > limit) return kProbeTimedOut;
    } while (KvRegPeek(vfg, kBusy) != 0);
  }
  count = static_cast<float>(KvRegPeek(vfg, kCount));
  return kProbeDone;
}

int32_t run_rate_probe(KvHandle vfg, uint32_t start_source, uint32_t start_edge,
                       uint32_t stop_source, uint32_t stop_edge, uint32_t count_source,
                       uint32_t count_edge, uint32_t stop_count, float time_limit, float& count,
                       uint32_t mode, MillisecondClock clock) {
  const RateProbeSetup setup{start_source, start_edge, stop_source, stop_edge, count_source,
                             count_edge,   stop_count, time_limit,  mode};
  return run_rate_probe(vfg, setup, count, clock);
}

}  // namespace boardstat
