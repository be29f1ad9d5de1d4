#include "board/rate_probe.h"

#include <chrono>

#include "board/registers/rate_probe.h"
#include "board/vfg_lock.h"

namespace boardstat {
namespace {

using namespace probe;  // the probe's register IDs

}  // namespace

uint32_t steady_milliseconds() {
  const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

void start_rate_probe(KvHandle vfg, const RateProbeSetup& setup) {
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
}

bool rate_probe_busy(KvHandle vfg) {
  return KvRegPeek(vfg, kBusy) != 0;
}

bool rate_probe_timed_out(uint32_t started_ms, uint32_t now_ms, float time_limit) {
  // Modulo 2^32 then signed, so a wrapping clock still gives the right difference.
  const auto elapsed_ms = static_cast<int32_t>(now_ms - started_ms);
  return elapsed_ms / 1000.0 > static_cast<double>(time_limit);
}

float read_rate_probe_count(KvHandle vfg) {
  return static_cast<float>(KvRegPeek(vfg, kCount));
}

// The busy register is read once before the clock is looked at, then the clock is checked
// before every re-read: a probe that is already done costs no clock reading.
int32_t run_rate_probe(KvHandle vfg, const RateProbeSetup& setup, float& count,
                       MillisecondClock clock) {
  // Another program's measurement on the VFG ends within its own limit; one that has not let
  // go within ours counts as a signal that never came.
  const VfgLock lock(vfg, setup.time_limit);
  if (!lock.go_ahead()) return kProbeTimedOut;
  start_rate_probe(vfg, setup);
  const uint32_t t0 = clock();
  if (rate_probe_busy(vfg)) {
    do {
      if (rate_probe_timed_out(t0, clock(), setup.time_limit)) return kProbeTimedOut;
    } while (rate_probe_busy(vfg));
  }
  count = read_rate_probe_count(vfg);
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
