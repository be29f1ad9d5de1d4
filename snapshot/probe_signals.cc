#include "snapshot/probe_signals.h"

#include <math.h>

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

// Two set-ups ask the probe the same question (the host's time limit aside).
bool same_setup(const RateProbeSetup& a, const RateProbeSetup& b) {
  return a.start_source == b.start_source && a.start_edge == b.start_edge &&
         a.stop_source == b.stop_source && a.stop_edge == b.stop_edge &&
         a.count_source == b.count_source && a.count_edge == b.count_edge &&
         a.stop_count == b.stop_count && a.mode == b.mode;
}

// The whole count of the measurement with this setup, when it was measured.
std::optional<uint64_t> count_of(const ProbeCounts& counts, const RateProbeSetup& setup) {
  for (size_t i = 0; i < counts.size(); ++i) {
    if (!same_setup(kMeasurements[i].probe, setup) || !counts[i]) continue;
    const float count = *counts[i];
    if (!(count >= 0.0f) || count > 4294967295.0f) return std::nullopt;  // a 32-bit count
    return static_cast<uint64_t>(count);
  }
  return std::nullopt;
}

std::optional<uint64_t> rate_count(const ProbeCounts& counts, uint32_t signal) {
  return count_of(counts, rate_window(signal));
}

// a x b, or nothing when the product does not fit in 64 bits.
std::optional<uint64_t> times(uint64_t a, uint64_t b) {
  if (a != 0 && b > UINT64_MAX / a) return std::nullopt;
  return a * b;
}

// A rate window's count as a period: the window divided by the count, to the picosecond.
std::optional<uint64_t> period_from_rate(const ProbeCounts& counts, uint32_t signal) {
  const std::optional<uint64_t> count = rate_count(counts, signal);
  if (!count || *count == 0) return std::nullopt;
  return (kWindowPs + *count / 2) / *count;
}

// The width measured with the time reference between a signal's edges 0 and 1.
std::optional<uint64_t> width_ps(const ProbeCounts& counts, uint32_t signal) {
  const std::optional<uint64_t> count =
      count_of(counts, interval(signal, kEdge0, signal, kEdge1, kTimeReference, kEdge0));
  if (!count || *count == 0) return std::nullopt;
  return *count * kReferencePs;
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

// The camera's clock, lines, data valid and frames, from the finest figures measured: a line
// is so many clocks high and so many low, a frame so many lines high and so many low.
std::optional<uint64_t> add_camera_signals(const ProbeCounts& counts, SignalList& signals) {
  const auto clock = period_from_rate(counts, kCameraClock);
  const auto per_line =
      count_of(counts, interval(kLine, kEdge0, kLine, kEdge1, kCameraClock, kEdge0));
  const auto between_lines =
      count_of(counts, interval(kLine, kEdge1, kLine, kEdge0, kCameraClock, kGated));
  const auto to_first_line =
      count_of(counts, interval(kFrameSignal, kEdge0, kLine, kEdge0, kCameraClock, kGated));
  const auto dval = count_of(counts, interval(kLine, kEdge0, kLine, kEdge1, kDval, kGated));
  const auto lines_per_frame =
      count_of(counts, interval(kFrameSignal, kEdge0, kFrameSignal, kEdge1, kLine, kEdge0));
  const auto lines_between =
      count_of(counts, interval(kFrameSignal, kEdge1, kFrameSignal, kEdge0, kLine, kEdge0));

  if (clock)
    signals.add(kCameraClock, *clock, std::nullopt, 0, hertz_comment("camera clock", *clock));

  std::optional<uint64_t> line = period_from_rate(counts, kLine);
  std::optional<uint64_t> line_high;
  uint64_t line_phase = 0;
  if (clock && per_line && between_lines && *per_line > 0 && *between_lines > 0) {
    const auto period = times(*per_line + *between_lines, *clock);
    if (period) {
      line = period;
      line_high = times(*per_line, *clock);
      if (to_first_line) line_phase = times(*to_first_line, *clock).value_or(0);
    }
  }
  if (line) {
    signals.add(kLine, *line, line_high, line_phase, hertz_comment("line", *line));
    const auto dval_high = clock && dval ? times(*dval, *clock) : std::nullopt;
    if (line_high && dval_high && *dval_high > 0 && *dval_high <= *line_high) {
      signals.add(kDval, *line, *dval_high, line_phase, "data valid, within each line");
    }
  }

  std::optional<uint64_t> frame = period_from_rate(counts, kFrameSignal);
  std::optional<uint64_t> frame_high;
  if (line && lines_per_frame && lines_between && *lines_per_frame > 0 && *lines_between > 0) {
    if (const auto period = times(*lines_per_frame + *lines_between, *line)) {
      frame = period;
      frame_high = times(*lines_per_frame, *line);
    }
  }
  if (frame) signals.add(kFrameSignal, *frame, frame_high, 0, hertz_comment("frame", *frame));
  return frame;
}

// A signal whose rate window counts as many edges as the frame's cannot be told from one that
// runs with the frame: it gets the frame's exact period, so that its place against the frame
// (the CC1 latency) stays put.
std::optional<uint64_t> period_near_frame(const ProbeCounts& counts, uint32_t signal,
                                          std::optional<uint64_t> frame) {
  const auto count = rate_count(counts, signal);
  if (frame && count && count == rate_count(counts, kFrameSignal)) return frame;
  return period_from_rate(counts, signal);
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
  SignalList signals;
  bool any = false;
  for (const auto& count : counts) any = any || count.has_value();
  if (!any) return {};  // no window ever ended: the board's probe signals are not there

  signals.add(kWindowStart, kWindowStartPeriodPs, kWindowStartPeriodPs / 10, 0,
              "rate window start tick (when a window starts changes no figure)");
  signals.add(kTimeReference, kReferencePs, kReferencePs / 2, 0, "10 MHz time reference");
  const std::optional<uint64_t> frame = add_camera_signals(counts, signals);

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
    if (const auto period = period_near_frame(counts, r.signal, frame)) {
      signals.add(r.signal, *period, std::nullopt, 0, hertz_comment(r.what, *period));
    }
  }

  struct WithWidth {
    uint32_t signal;
    const char* what;
  };
  static constexpr WithWidth kWithWidth[] = {
      {kCc1, "CC1"}, {kCc2, "CC2"}, {kCc3, "CC3"}, {kCc4, "CC4"}, {kInterrupt, "interrupt"}};
  for (const WithWidth& w : kWithWidth) {
    const auto period = period_near_frame(counts, w.signal, frame);
    if (!period) continue;
    // CC1 rises its latency before a frame rises (the frame's phase is 0).
    uint64_t phase = 0;
    const auto latency =
        count_of(counts, interval(kCc1, kEdge0, kFrameSignal, kEdge0, kTimeReference, kEdge0));
    if (w.signal == kCc1 && latency && period == frame) {
      phase = *period - (*latency * kReferencePs) % *period;
    }
    signals.add(w.signal, *period, width_ps(counts, w.signal), phase,
                hertz_comment(w.what, *period));
  }

  std::vector<ProbeSignal> list = signals.take();
  std::stable_sort(list.begin(), list.end(),
                   [](const ProbeSignal& a, const ProbeSignal& b) { return a.number < b.number; });
  return list;
}

}  // namespace boardstat::snapshot
