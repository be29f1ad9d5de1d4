#include "sim/probe_model.h"

namespace boardsim {
namespace {

constexpr Picoseconds kMaxTime = UINT64_MAX;

// A signal that the arithmetic below can rely on: 0 < high < period.
const Signal* usable(const SignalTable& signals, uint32_t number) {
  const auto it = signals.find(number);
  if (it == signals.end()) return nullptr;
  const Signal& s = it->second;
  if (s.period == 0 || s.high == 0 || s.high >= s.period) return nullptr;
  return &s;
}

// The edge of `wave` that an edge selector names: 0 rising, 1 falling.
bool edge_offset(const Wave& wave, uint32_t selector, uint64_t* offset) {
  if (selector == 0) {
    *offset = wave.rise;
  } else if (selector == 1) {
    *offset = wave.fall();
  } else {
    return false;
  }
  return true;
}

}  // namespace

uint64_t Wave::fall() const {
  return static_cast<uint64_t>((static_cast<Picoseconds>(rise) + high) % period);
}

Wave wave_at(const Signal& signal, Picoseconds t0) {
  const uint64_t p = signal.period;
  const uint64_t phase = signal.phase % p;
  const uint64_t shift = static_cast<uint64_t>(t0 % p);
  const uint64_t rise = static_cast<uint64_t>((static_cast<Picoseconds>(phase) + p - shift) % p);
  return Wave{p, signal.high, rise};
}

Picoseconds floor_sum(Picoseconds n, Picoseconds m, Picoseconds a, Picoseconds b) {
  // The classic reduction: take the whole multiples of m out of a and b, then swap the roles
  // of a and m (Euclid), so that m shrinks at every turn. Unsigned arithmetic wraps, which
  // keeps the sum right modulo 2^128. With a, b < m < 2^64 and n < 2^64, a x n + b < 2^128.
  Picoseconds sum = 0;
  while (n != 0) {
    if (a >= m) {
      const Picoseconds pairs = (n % 2 == 0) ? (n / 2) * (n - 1) : n * ((n - 1) / 2);
      sum += pairs * (a / m);
      a %= m;
    }
    if (b >= m) {
      sum += n * (b / m);
      b %= m;
    }
    const Picoseconds y_max = a * n + b;
    if (y_max < m) break;
    n = y_max / m;
    b = y_max % m;
    const Picoseconds old_m = m;
    m = a;
    a = old_m;
  }
  return sum;
}

uint64_t edges_in(uint64_t period, uint64_t offset, Picoseconds a, Picoseconds b) {
  if (b <= a) return 0;
  // Edges before x (k >= 0): ceil((x - offset) / period), or 0 when x <= offset.
  const auto before = [&](Picoseconds x) { return (x + period - 1 - offset) / period; };
  return static_cast<uint64_t>(before(b) - before(a));
}

uint64_t clock_edges_while_high(const Wave& clock, const Wave& gate, uint64_t a, uint64_t b) {
  if (b <= a) return 0;
  const Picoseconds p = gate.period;
  // High interval i (i >= 0) is [rise + (i - 1) p, rise + (i - 1) p + high): index 0 is the one
  // that may have begun before the origin. Shifted by p, every bound is non-negative.
  const Picoseconds first = (static_cast<Picoseconds>(a) + 2 * p - gate.rise - gate.high) / p;
  const Picoseconds y = static_cast<Picoseconds>(b) + p - gate.rise;
  const Picoseconds last = (y + p - 1) / p - 1;
  if (first > last) return 0;

  const auto partial = [&](Picoseconds i) -> uint64_t {
    const Picoseconds lo_shifted = gate.rise + i * p;
    const Picoseconds hi_shifted = lo_shifted + gate.high;
    const Picoseconds lo = (lo_shifted > a + p ? lo_shifted : a + p) - p;
    const Picoseconds hi = (hi_shifted < b + p ? hi_shifted : b + p) - p;
    return edges_in(clock.period, clock.rise, lo, hi);
  };
  uint64_t count = partial(first);
  if (last == first) return count;
  count += partial(last);

  // Whole intervals first+1 .. last-1 lie inside [a, b): each holds G(start + high) - G(start)
  // clock edges, with G(x) = floor((x + clock period - 1 - clock rise) / clock period), and
  // consecutive starts lie p apart: two floor sums.
  const Picoseconds n = last - first - 1;
  if (n == 0) return count;
  const Picoseconds start = gate.rise + first * p;  // interval first+1, unshifted
  const Picoseconds bias = static_cast<Picoseconds>(clock.period) - 1 - clock.rise;
  const Picoseconds ends = floor_sum(n, clock.period, p, start + gate.high + bias);
  const Picoseconds starts = floor_sum(n, clock.period, p, start + bias);
  return count + static_cast<uint64_t>(ends - starts);
}

Measurement::Measurement(const ProbeSettings& settings, const SignalTable& signals, Picoseconds t0)
    : started_(true), t0_(t0) {
  const Signal* start = usable(signals, settings.start_source);
  uint64_t offset = 0;
  if (start != nullptr && edge_offset(wave_at(*start, t0), settings.start_edge, &offset)) {
    has_start_ = true;
    start_ = offset;  // the first such edge at or after t0
  }

  const Signal* stop = usable(signals, settings.stop_source);
  if (has_start_ && stop != nullptr && settings.stop_count != 0) {
    const Wave wave = wave_at(*stop, t0);
    if (edge_offset(wave, settings.stop_edge, &offset)) {
      const Picoseconds after = start_ + 1;
      const Picoseconds first = after + (offset + wave.period - after % wave.period) % wave.period;
      stop_ = first + static_cast<Picoseconds>(settings.stop_count - 1) * wave.period;
      ends_ = true;
    }
  }

  const Signal* counted = usable(signals, settings.count_source);
  if (counted == nullptr) return;
  counted_ = wave_at(*counted, t0);
  if (settings.count_edge == 2 && settings.count_source != kCameraClockSignal) {
    const Signal* clock = usable(signals, kCameraClockSignal);
    if (clock == nullptr) return;
    clock_ = wave_at(*clock, t0);
    count_ = Count::kClockWhileHigh;
  } else if (settings.count_edge == 2) {
    counted_offset_ = counted_.rise;  // the camera clock itself: all its rising edges
    count_ = Count::kEdges;
  } else if (edge_offset(counted_, settings.count_edge, &counted_offset_)) {
    count_ = Count::kEdges;
  }
}

bool Measurement::busy(Picoseconds now) const {
  if (!started_) return false;
  if (!ends_) return true;
  return now < t0_ || now - t0_ < stop_;
}

uint32_t Measurement::count(Picoseconds now) const {
  if (!started_ || !has_start_ || count_ == Count::kNothing || now < t0_) return 0;
  Picoseconds end = now - t0_;
  if (ends_ && stop_ < end) end = stop_;
  if (end > kMaxTime) end = kMaxTime;
  if (end <= start_) return 0;
  const uint64_t a = static_cast<uint64_t>(start_);
  const uint64_t b = static_cast<uint64_t>(end);
  const uint64_t edges = count_ == Count::kEdges ? edges_in(counted_.period, counted_offset_, a, b)
                                                 : clock_edges_while_high(clock_, counted_, a, b);
  return static_cast<uint32_t>(edges);
}

}  // namespace boardsim
