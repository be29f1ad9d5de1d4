// The rate probe: the board's event counter, which counts edges of a count source between a
// start event and a stop event. One measurement configures it, starts it, waits for it against
// a time limit measured on the host and reads its count.
#ifndef BOARDSTAT_BOARD_RATE_PROBE_H_
#define BOARDSTAT_BOARD_RATE_PROBE_H_

#include <stdint.h>

#include "board/board_access.h"

namespace boardstat {

/// A host clock in milliseconds. Only differences matter: they are taken modulo 2^32 and read
/// as signed 32-bit numbers, so the clock may wrap.
using MillisecondClock = uint32_t (*)();

/// Wall time in milliseconds from the monotonic steady clock.
uint32_t steady_milliseconds();

/// What one measurement asks of the probe. Every number except the time limit is written to
/// its register unchanged.
struct RateProbeSetup {
  uint32_t start_source;  // probe signal number of the start event (2902)
  uint32_t start_edge;    // its edge selector (2903)
  uint32_t stop_source;   // probe signal number of the stop events (2900)
  uint32_t stop_edge;     // their edge selector (2901)
  uint32_t count_source;  // probe signal number of the counted edges (2898)
  uint32_t count_edge;    // their edge selector (2899)
  uint32_t stop_count;    // how many stop events end the measurement (2913)
  float time_limit;       // seconds the host waits for the probe before giving up
  uint32_t mode;          // 1: fixed-window rate, 0: start-to-stop interval (2906)
};

/// The probe's results: 0 when the count was read, -1 when the time limit ran out first.
inline constexpr int32_t kProbeDone = 0;
inline constexpr int32_t kProbeTimedOut = -1;

/// The steps of one measurement, for a caller that does other board work while the probe
/// counts (the exporter polls its counts meanwhile). run_rate_probe is these steps in a row.
///
/// Configures the probe for `setup` and starts it: twelve writes in the board's fixed order.
void start_rate_probe(KvHandle vfg, const RateProbeSetup& setup);

/// True while the started measurement runs (its busy register reads non-zero).
bool rate_probe_busy(KvHandle vfg);

/// True when more than `time_limit` seconds lie between `started_ms` and `now_ms`, both
/// readings of one millisecond clock (the difference is taken modulo 2^32, then signed).
bool rate_probe_timed_out(uint32_t started_ms, uint32_t now_ms, float time_limit);

/// The finished measurement's count, in single precision (exact up to 2^24).
float read_rate_probe_count(KvHandle vfg);

/// Runs one measurement on `vfg` and waits for it, polling the busy register without sleeping
/// and checking `clock` before every re-read. The VFG's lock is held throughout; a lock that
/// stays taken for the time limit is a time-out, with no register touched. On success the count, in
/// single precision (exact up to 2^24), is stored in `count`. On a time-out `count` keeps its value
/// and the probe is left as it is: the next measurement configures it afresh.
int32_t run_rate_probe(KvHandle vfg, const RateProbeSetup& setup, float& count,
                       MillisecondClock clock = steady_milliseconds);

/// The same measurement with its arguments one by one.
int32_t run_rate_probe(KvHandle vfg, uint32_t start_source, uint32_t start_edge,
                       uint32_t stop_source, uint32_t stop_edge, uint32_t count_source,
                       uint32_t count_edge, uint32_t stop_count, float time_limit, float& count,
                       uint32_t mode, MillisecondClock clock = steady_milliseconds);

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_RATE_PROBE_H_
