// The rate probe of a simulated VFG: periodic probe signals and the closed-form edge counts
// that a measurement reads.
//
// All times are whole picoseconds. A measurement works in times relative to the instant t0 at
// which it was started, so that its arithmetic stays bounded however long the VFG has been open.
#ifndef BOARDSTAT_SIM_PROBE_MODEL_H_
#define BOARDSTAT_SIM_PROBE_MODEL_H_

#include <stdint.h>

#include <unordered_map>

namespace boardsim {

/// Board time in picoseconds. 128 bits, so that it never wraps.
__extension__ typedef unsigned __int128 Picoseconds;

/// A probe signal as described: a rising edge at phase + k x period for every whole k, each
/// followed by a falling edge `high` later. A valid signal has 0 < high < period.
struct Signal {
  uint64_t period = 0;
  uint64_t high = 0;
  uint64_t phase = 0;
};

using SignalTable = std::unordered_map<uint32_t, Signal>;

/// A signal seen from some origin: rising edges at rise + k x period (rise < period).
struct Wave {
  uint64_t period = 0;
  uint64_t high = 0;
  uint64_t rise = 0;

  /// The first falling edge at or after the origin.
  uint64_t fall() const;
};

/// `signal` with the origin moved to board time `t0`.
Wave wave_at(const Signal& signal, Picoseconds t0);

/// The sum over k = 0 .. n-1 of floor((a x k + b) / m), modulo 2^128, in O(log m) steps.
/// Requires 0 < m < 2^64 and n < 2^64; a and b may be any value.
Picoseconds floor_sum(Picoseconds n, Picoseconds m, Picoseconds a, Picoseconds b);

/// Number of instants offset + k x period (k >= 0) in [a, b), for offset < period. Requires
/// b < 2^64 + period (every argument is a 64-bit time of the measurement).
uint64_t edges_in(uint64_t period, uint64_t offset, Picoseconds a, Picoseconds b);

/// Rising edges of `clock` that fall while `gate` is high (high from its rising edge included
/// to its falling edge excluded), in [a, b), modulo 2^64. Requires a <= b < 2^64.
uint64_t clock_edges_while_high(const Wave& clock, const Wave& gate, uint64_t a, uint64_t b);

/// The probe signal that count edge selector 2 counts while the count signal is high.
constexpr uint32_t kCameraClockSignal = 32;

/// What a measurement was started with (the probe registers at the start write).
struct ProbeSettings {
  uint32_t count_source = 0;
  uint32_t count_edge = 0;
  uint32_t stop_source = 0;
  uint32_t stop_edge = 0;
  uint32_t start_source = 0;
  uint32_t start_edge = 0;
  uint32_t stop_count = 0;
};

/// One measurement of the rate probe, from the start write on. Its busy flag and count are
/// computed from the board time at which they are read.
class Measurement {
 public:
  /// No measurement yet: not busy, count 0.
  Measurement() = default;
  Measurement(const ProbeSettings& settings, const SignalTable& signals, Picoseconds t0);

  bool busy(Picoseconds now) const;
  /// Edges counted from the start event up to the stop event, or up to `now` while the
  /// measurement still runs; low 32 bits, as the count register holds them.
  uint32_t count(Picoseconds now) const;

 private:
  enum class Count { kNothing, kEdges, kClockWhileHigh };

  bool started_ = false;
  bool has_start_ = false;  // the start event exists
  bool ends_ = false;       // the stop event exists
  Picoseconds t0_ = 0;
  Picoseconds start_ = 0;  // relative to t0
  Picoseconds stop_ = 0;   // relative to t0
  Count count_ = Count::kNothing;
  Wave counted_;
  uint64_t counted_offset_ = 0;  // the counted edge of counted_ (kEdges)
  Wave clock_;                   // kClockWhileHigh: the camera clock
};

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_PROBE_MODEL_H_
