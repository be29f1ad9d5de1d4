#include "exporter/extended_count.h"

#include <algorithm>

namespace boardstat {
namespace {

constexpr uint32_t kReachSlack = 64;  // room for a count that speeds up a little
constexpr double kWindowSeconds = 1.0;

}  // namespace

uint32_t ExtendedCount::reach() const {
  // Without history every lower reading is taken as a wrap: a count may well move most of its
  // range between two polls (X does, at 10 ms).
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
    const uint32_t step = (raw - last_) & mask_;
    total_ += step;
    remember_step(step, now_seconds);
  }
  last_ = raw;
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
  remember_step(0, now_seconds);
}

void ExtendedCount::remember_step(uint32_t step, double now_seconds) {
  if (now_seconds - window_start_ >= kWindowSeconds) {
    previous_window_max_ = window_max_;
    window_max_ = 0;
    window_start_ = now_seconds;
    history_ = true;
  }
  window_max_ = std::max(window_max_, step);
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
