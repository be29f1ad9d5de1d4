#include "exporter/extended_count.h"

#include <algorithm>
#include <cmath>

namespace boardstat {
namespace {

constexpr uint32_t kReachSlack = 64;  // room for a count that speeds up a little
constexpr double kWindowSeconds = 1.0;

}  // namespace

uint32_t ExtendedCount::reach() const {
  // Without history every lower reading is taken as a wrap: a count may well move most of its
  // range between two polls (X does when a poll comes late).
  if (!history_) return mask_;
  const uint64_t largest = std::max(window_max_, previous_window_max_);
  return static_cast<uint32_t>(std::min<uint64_t>(2 * largest + kReachSlack, mask_));
}

bool ExtendedCount::shows_clear(uint32_t raw) const {
  raw &= mask_;
  if (!started_ || raw >= last_) return false;
  const uint32_t step = (raw - last_) & mask_;
  return step > reach();
}

void ExtendedCount::advance(uint32_t raw, double now_seconds) {
  raw &= mask_;
  if (!started_) {
    started_ = true;
    total_ = raw;
    window_start_ = now_seconds;
  } else {
    const uint64_t step = unwrap((raw - last_) & mask_, now_seconds - last_seconds_);
    total_ += step;
    remember_step(step, now_seconds);
  }
  last_ = raw;
  last_seconds_ = now_seconds;
}

uint64_t ExtendedCount::unwrap(uint32_t step, double seconds) const {
  const double range = static_cast<double>(mask_) + 1;
  const double expected = rate_ * seconds;
  if (!history_ || expected <= range / 2) return step;
  const double whole_ranges = std::floor((expected - step) / range + 0.5);
  if (whole_ranges < 1) return step;
  return step + static_cast<uint64_t>(whole_ranges) * (uint64_t{mask_} + 1);
}

void ExtendedCount::restart(uint32_t raw, double now_seconds) {
  raw &= mask_;
  if (!started_) {
    advance(raw, now_seconds);
    return;
  }
  total_ = raw;
  ++clears_;
  last_ = raw;
  last_seconds_ = now_seconds;
  remember_step(raw, now_seconds);
}

void ExtendedCount::remember_step(uint64_t step, double now_seconds) {
  window_max_ = std::max(window_max_, step);
  window_sum_ += step;
  const double window = now_seconds - window_start_;
  if (window < kWindowSeconds) return;
  previous_window_max_ = window_max_;
  rate_ = static_cast<double>(window_sum_) / window;
  window_max_ = 0;
  window_sum_ = 0;
  window_start_ = now_seconds;
  history_ = true;
}

bool update_together(ExtendedCount* counts, const uint32_t* raws, size_t n, double now_seconds) {
  bool cleared = false;
  for (size_t i = 0; i < n; ++i) cleared = cleared || counts[i].shows_clear(raws[i]);
  for (size_t i = 0; i < n; ++i) {
    if (cleared) {
      counts[i].restart(raws[i], now_seconds);
    } else {
      counts[i].advance(raws[i], now_seconds);
    }
  }
  return cleared;
}

}  // namespace boardstat
