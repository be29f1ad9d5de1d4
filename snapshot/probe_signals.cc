#include "snapshot/probe_signals.h"

#include <algorithm>
#include <sstream>

#include "board/rate_probe.h"

namespace boardstat::snapshot {
namespace {

using namespace system_probe;

// One count of the time reference, and the rate window it counts to.
constexpr uint64_t kReferencePs = 100000;
constexpr uint64_t kWindowPs = kWindowReferenceCounts * kReferencePs;
static_assert(kReferenceSeconds == 0.0000001f, "the reference count is 100 ns");

// When a rate window starts does not change any figure; the board's tick is 1 us.
constexpr uint64_t kWindowStartPeriodPs = 1000000;

// Periods that no figure shows, for a board whose rate windows never end (no window tick or no
// time reference): any period gives the same figures, so a common one is taken. The clock is
// faster than a camera's, so that no interval takes longer than on the original; a frame that
// is then shorter than the CC1 latency is made longer (all three times the same factor).
constexpr uint64_t kUnseenClockPs = 5000;         // 200 MHz
constexpr uint64_t kUnseenLinePs = 10000000;      // 10 us
constexpr uint64_t kUnseenFramePs = 10000000000;  // 10 ms
constexpr uint64_t kUnseenPulseGapPs = 1000000;   // 1 us low between two pulses
constexpr uint64_t kShortestPulsePs = 1;          // a width under one reference count

// Periods from rates. A window of W counts floor(W / P) or one more edges of a period P,
// whichever its phase gives; a replay's window falls at any phase. So the period written for a
// count must give that count (or one next to it) again, and both counts that its windows give
// must lead back to the same period: then a snapshot of a snapshot is the same file.
//
// - up to kRoundedRateCounts edges: W / count, rounded; a window counts one more only when an
//   edge falls within a few picoseconds of its start;
// - up to kPairedRateCounts: one period for the pair 2k-1, 2k, whose windows count one of the
//   two (a picosecond of period moves the count by less than one here);
// - from kRoundedPeriodPs down: W / count, rounded: neighbouring periods are two counts apart
//   or more, and both counts of a period round back to it;
// - in between, periods taken in turn whose counts do not overlap the last one taken's.
constexpr uint64_t kRoundedRateCounts = 2000;
constexpr uint64_t kPairedRateCounts = 316000;  // count^2 / W < 1: every count is reached
constexpr uint64_t kRoundedPeriodPs = 223606;   // P (P + 1) <= W / 2

uint64_t rounded_period(uint64_t count) {
  return (kWindowPs + count / 2) / count;
}

// The counts that windows of `period` give: [first, last].
struct Counts {
  uint64_t first;
  uint64_t last;
};
Counts counts_of_period(uint64_t period) {
  const uint64_t first = kWindowPs / period;
  return {first, kWindowPs % period == 0 ? first : first + 1};
}

uint64_t period_for_rate(uint64_t count) {
  if (count <= kRoundedRateCounts) return rounded_period(count);
  if (count <= kPairedRateCounts) return kWindowPs / (count % 2 == 1 ? count : count - 1);
  uint64_t last = kPairedRateCounts;  // the paired counts end with this one
  for (uint64_t period = kWindowPs / (kPairedRateCounts + 1); period > kRoundedPeriodPs; --period) {
    const Counts counts = counts_of_period(period);
    if (counts.first <= last) continue;
    if (count <= counts.last) return period;  // in it, or just before it: two counts off
    last = counts.last;
  }
  return rounded_period(count);
}

// Two set-ups ask the probe the same question (the host's time limit aside).
bool same_setup(const RateProbeSetup& a, const RateProbeSetup& b) {
  return a.start_source == b.start_source && a.start_edge == b.start_edge &&
         a.stop_source == b.stop_source && a.stop_edge == b.stop_edge &&
         a.count_source == b.count_source && a.count_edge == b.count_edge &&
         a.stop_count == b.stop_count && a.mode == b.mode;
}

// The whole count of the measurement with this setup, when it ended.
std::optional<uint64_t> count_of(const ProbeCounts& counts, const RateProbeSetup& setup) {
  for (size_t i = 0; i < counts.size(); ++i) {
    if (!same_setup(kMeasurements[i].probe, setup) || !counts[i]) continue;
    const float count = *counts[i];
    if (!(count >= 0.0f) || count > 4294967295.0f) return std::nullopt;  // a 32-bit count
    return static_cast<uint64_t>(count);
  }
  return std::nullopt;
}

// a x b, or nothing when the product does not fit in 64 bits.
std::optional<uint64_t> times(uint64_t a, uint64_t b) {
  if (a != 0 && b > UINT64_MAX / a) return std::nullopt;
  return a * b;
}

std::string hertz_comment(const char* what, uint64_t period_ps) {
  std::ostringstream text;
  text << what << ", " << 1e12 / static_cast<double>(period_ps) << " Hz";
  return text.str();
}

class SignalList {
 public:
  // A signal with a high time that no figure shows gets half its period.
  void add(uint32_t number, uint64_t period, std::optional<uint64_t> high, uint64_t phase,
           std::string comment) {
    if (period < 2) return;
    uint64_t high_ps = period / 2;
    if (high && *high > 0 && *high < period) {
      high_ps = *high;
    } else {
      comment += "; high time not measured";
    }
    signals_.push_back({number, period, high_ps, phase % period, std::move(comment)});
  }

  std::vector<ProbeSignal> take() { return std::move(signals_); }

 private:
  std::vector<ProbeSignal> signals_;
};

// What the figures say about the board as a whole.
struct Board {
  const ProbeCounts& counts;
  bool rates = false;      // the rate windows ended: the tick and the reference are there
  bool reference = false;  // the 10 MHz reference is there

  std::optional<uint64_t> count(const RateProbeSetup& setup) const {
    return count_of(counts, setup);
  }
  std::optional<uint64_t> rate(uint32_t signal) const { return count(rate_window(signal)); }
  // The rate's period; none for a signal that no window saw.
  std::optional<uint64_t> rate_period(uint32_t signal) const {
    const auto n = rate(signal);
    if (!n || *n == 0) return std::nullopt;
    return period_for_rate(*n);
  }
  // The time between a signal's edges 0 and 1 in picoseconds, when that interval ended.
  std::optional<uint64_t> width(uint32_t signal) const {
    const auto n = count(interval(signal, kEdge0, signal, kEdge1, kTimeReference, kEdge0));
    if (!n) return std::nullopt;
    if (!reference) return 0;  // not measurable: any width gives the same 0
    return *n == 0 ? kShortestPulsePs : times(*n, kReferencePs);
  }
};

struct Camera {
  std::optional<uint64_t> frame;  // period
  std::optional<uint64_t> clock;
};

// The camera's clock, lines, data valid and frames. Lines, data valid and frames are taken to
// change with the camera clock, as a camera's do: a line is so many clocks high and so many
// low, placed so many clocks after the frame's rise, and a frame is a whole number of lines,
// so many clocks low.
Camera add_camera_signals(const Board& b, uint64_t unseen_scale, SignalList& signals) {
  const auto per_line = b.count(interval(kLine, kEdge0, kLine, kEdge1, kCameraClock, kEdge0));
  const auto between_lines = b.count(interval(kLine, kEdge1, kLine, kEdge0, kCameraClock, kGated));
  const auto to_first_line =
      b.count(interval(kFrameSignal, kEdge0, kLine, kEdge0, kCameraClock, kGated));
  const auto dval = b.count(interval(kLine, kEdge0, kLine, kEdge1, kDval, kGated));
  const auto lines_per_frame =
      b.count(interval(kFrameSignal, kEdge0, kFrameSignal, kEdge1, kLine, kEdge0));
  const auto lines_between =
      b.count(interval(kFrameSignal, kEdge1, kFrameSignal, kEdge0, kLine, kEdge0));
  const auto clocks_between_frames =
      b.count(interval(kFrameSignal, kEdge1, kFrameSignal, kEdge0, kCameraClock, kGated));
  const auto positive = [](std::optional<uint64_t> n) { return n && *n > 0; };

  // A signal is there when a window saw it or an interval between its edges ended.
  const bool line_seen =
      per_line || dval || between_lines || to_first_line || positive(b.rate(kLine));
  const bool frame_seen = lines_per_frame || lines_between || clocks_between_frames ||
                          to_first_line || positive(b.rate(kFrameSignal));
  const bool clock_seen = positive(b.rate(kCameraClock)) || positive(per_line) ||
                          positive(between_lines) || positive(to_first_line) ||
                          positive(clocks_between_frames);

  Camera camera;
  camera.clock = b.rate_period(kCameraClock);
  if (!camera.clock && !b.rates && clock_seen) camera.clock = kUnseenClockPs * unseen_scale;
  const auto clocks = [&](std::optional<uint64_t> n) -> std::optional<uint64_t> {
    if (!camera.clock || !n) return std::nullopt;
    return times(*n, *camera.clock);
  };
  if (camera.clock) {
    signals.add(kCameraClock, *camera.clock, std::nullopt, 0,
                hertz_comment("camera clock", *camera.clock));
  }

  std::optional<uint64_t> line;
  std::optional<uint64_t> line_high;
  uint64_t line_phase = 0;
  if (positive(per_line) && positive(between_lines)) {
    line = clocks(*per_line + *between_lines);
    line_high = clocks(per_line);
    if (line) line_phase = clocks(to_first_line).value_or(0);
  }
  if (!line) line = b.rate_period(kLine);
  if (!line && !b.rates && line_seen) line = kUnseenLinePs * unseen_scale;
  if (line) {
    signals.add(kLine, *line, line_high, line_phase, hertz_comment("line", *line));
    const auto dval_high = clocks(dval);
    if (line_high && dval_high && *dval_high > 0 && *dval_high <= *line_high) {
      signals.add(kDval, *line, *dval_high, line_phase, "data valid, within each line");
    }
  }

  std::optional<uint64_t> frame_high;
  if (line && lines_per_frame && lines_between && *lines_per_frame + *lines_between > 0) {
    camera.frame = times(*lines_per_frame + *lines_between, *line);
    frame_high = times(*lines_per_frame, *line);
  }
  if (!camera.frame) {
    camera.frame = b.rate_period(kFrameSignal);
    // Whole clocks, so that every frame's low time holds as many clocks.
    if (camera.frame && camera.clock) {
      const uint64_t c = *camera.clock;
      camera.frame = std::max<uint64_t>(1, (*camera.frame + c / 2) / c) * c;
    }
  }
  if (!camera.frame && !b.rates && frame_seen) {
    const auto low = clocks(clocks_between_frames);
    camera.frame = low && *low > 0 ? times(*low, 2) : kUnseenFramePs * unseen_scale;
  }
  if (camera.frame) {
    // The frame's low time in clocks is the finer figure: it also places a fall within a line.
    if (const auto low = clocks(clocks_between_frames); low && *low > 0 && *low < *camera.frame)
      frame_high = *camera.frame - *low;
    signals.add(kFrameSignal, *camera.frame, frame_high, 0, hertz_comment("frame", *camera.frame));
  }
  return camera;
}

}  // namespace

ProbeCounts measure(KvHandle vfg) {
  ProbeCounts counts;
  for (size_t i = 0; i < counts.size(); ++i) {
    float count = 0.0f;
    if (run_rate_probe(vfg, kMeasurements[i].probe, count) == kProbeDone) counts[i] = count;
  }
  return counts;
}

std::vector<ProbeSignal> signals_from_counts(const ProbeCounts& counts) {
  Board b{counts};
  bool any = false;
  for (size_t i = 0; i < counts.size(); ++i) {
    if (!counts[i]) continue;
    any = true;
    const RateProbeSetup& probe = kMeasurements[i].probe;
    if (probe.mode == kRateMode) b.rates = true;
    if (probe.count_source == kTimeReference && *counts[i] > 0.0f) b.reference = true;
  }
  if (!any) return {};  // nothing ended: the board's probe signals are not there
  b.reference = b.reference || b.rates;

  SignalList signals;
  // Only what the board had: without them its windows never end, and show Unknown again.
  if (b.rates) {
    signals.add(kWindowStart, kWindowStartPeriodPs, kWindowStartPeriodPs / 10, 0,
                "rate window start tick (when a window starts changes no figure)");
  }
  if (b.reference)
    signals.add(kTimeReference, kReferencePs, kReferencePs / 2, 0, "10 MHz time reference");
  const auto latency =
      b.count(interval(kCc1, kEdge0, kFrameSignal, kEdge0, kTimeReference, kEdge0));
  Camera camera;
  {
    SignalList unused;
    camera = add_camera_signals(b, 1, unused);
  }
  uint64_t unseen_scale = 1;
  if (!b.rates && latency && camera.frame && *latency * kReferencePs >= *camera.frame)
    unseen_scale = *latency * kReferencePs / *camera.frame + 1;
  camera = add_camera_signals(b, unseen_scale, signals);

  struct RateOnly {
    uint32_t signal;
    const char* what;
  };
  static constexpr RateOnly kRateOnly[] = {{kTrigger, "trigger"},
                                           {kEncoderA, "encoder A"},
                                           {kEncoderB, "encoder B"},
                                           {kPcie, "PCIe transfers of 16 bytes"},
                                           {kPcieDropped, "dropped PCIe transfers"}};
  for (const RateOnly& r : kRateOnly) {
    if (const auto period = b.rate_period(r.signal)) {
      signals.add(r.signal, *period, std::nullopt, 0, hertz_comment(r.what, *period));
    }
  }

  // CC1 to CC4 and the interrupt: a period from the rate and a high time from the width.
  struct Pulse {
    uint32_t signal;
    const char* what;
  };
  static constexpr Pulse kPulses[] = {
      {kCc1, "CC1"}, {kCc2, "CC2"}, {kCc3, "CC3"}, {kCc4, "CC4"}, {kInterrupt, "interrupt"}};
  const auto frame_rate = b.rate(kFrameSignal);
  for (const Pulse& p : kPulses) {
    const auto high = b.width(p.signal);
    const auto rate = b.rate(p.signal);
    std::optional<uint64_t> period = b.rate_period(p.signal);
    uint64_t phase = 0;
    // CC1 that runs with the frame (its window within one count of the frame's, which two
    // signals of one period can differ by) keeps its place before each frame.
    const bool with_frame =
        p.signal == kCc1 && latency && camera.frame &&
        (!b.rates || (rate && frame_rate && *rate + 1 >= *frame_rate && *rate <= *frame_rate + 1));
    if (with_frame) {
      period = camera.frame;
      const uint64_t before = b.reference ? std::max<uint64_t>(*latency * kReferencePs, 1) : 1;
      phase = *period - before % *period;
    } else if (!period && high && rate && *rate == 0) {
      // Slower than a window sees, yet its pulse was measured: one pulse a window.
      period = kWindowPs;
    } else if (!period && high && !b.rates) {
      period = *high + std::max(*high, kUnseenPulseGapPs);
    }
    if (!period) continue;
    signals.add(p.signal, *period, high, phase, hertz_comment(p.what, *period));
  }

  std::vector<ProbeSignal> list = signals.take();
  std::stable_sort(list.begin(), list.end(),
                   [](const ProbeSignal& a, const ProbeSignal& b) { return a.number < b.number; });
  return list;
}

}  // namespace boardstat::snapshot
