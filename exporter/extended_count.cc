#include "exporter/extended_count.h"

#include <algorithm>
#include <cmath>

namespace boardstat {
namespace {

constexpr double kReachSlack = 64;  // room for a count that speeds up a little
constexpr double kWindowSeconds = 1.0;

}  // namespace

double ExtendedCount::rate() const {
  if (full_window_rate_ >= 0) return full_window_rate_;
  if (window_seconds_ <= 0) return -1;
  return static_cast<double>(window_sum_) / window_seconds_;
}

ExtendedCount::Vote ExtendedCount::vote(uint32_t raw, double seconds) const {
  raw &= mask_;
  const double r = rate();
  if (r < 0) return raw < last_ ? Vote::kCleared : raw > last_ ? Vote::kWentOn : Vote::kNone;
  const double reach = 2 * r * seconds + kReachSlack;
  const double range = static_cast<double>(mask_) + 1;
  if (reach >= range / 2) return Vote::kNone;  // it may have passed its top unseen
  const bool went_on = ((raw - last_) & mask_) <= reach;
  const bool cleared = raw <= reach;
  if (went_on == cleared) return Vote::kNone;
  return cleared ? Vote::kCleared : Vote::kWentOn;
}

uint64_t ExtendedCount::move(uint32_t from, uint32_t raw, double seconds) const {
  const uint64_t step = (raw - from) & mask_;
  const double range = static_cast<double>(mask_) + 1;
  const double ranges = (rate() * seconds - static_cast<double>(step)) / range;
  if (ranges < 0.5) return step;
  return step + static_cast<uint64_t>(std::floor(ranges + 0.5)) * (uint64_t{mask_} + 1);
}

void ExtendedCount::take(uint32_t raw, uint64_t moved, bool cleared, bool trusted,
                         double now_seconds) {
  raw &= mask_;
  if (!started_) {
    started_ = true;
    total_ = raw;
  } else if (cleared) {
    // The time before the clear is not in `moved`: the rate holds, a new window starts.
    total_ = moved;
    window_sum_ = 0;
    window_seconds_ = 0;
  } else {
    total_ += moved;
    if (trusted) {
      window_sum_ += moved;
      window_seconds_ += now_seconds - last_seconds_;
      if (window_seconds_ >= kWindowSeconds) {
        full_window_rate_ = static_cast<double>(window_sum_) / window_seconds_;
        window_sum_ = 0;
        window_seconds_ = 0;
      }
    }
  }
  last_ = raw;
  last_seconds_ = now_seconds;
}

CountGroup::CountGroup(std::vector<uint32_t> masks) {
  for (uint32_t mask : masks) counts_.emplace_back(mask);
  for (size_t i = 0; i < counts_.size(); ++i) by_rate_.push_back(i);
  moved_.assign(counts_.size(), 0);
}

bool CountGroup::update(const uint32_t* raws, double now_seconds, double interval) {
  if (counts_.empty()) return false;
  if (!counts_[0].started_) {
    for (size_t i = 0; i < counts_.size(); ++i) {
      counts_[i].take(raws[i], 0, false, false, now_seconds);
    }
    return false;
  }
  const double gap = now_seconds - counts_[0].last_seconds_;
  int votes = 0;
  for (size_t i = 0; i < counts_.size(); ++i) {
    const ExtendedCount::Vote vote = counts_[i].vote(raws[i], gap);
    votes += vote == ExtendedCount::Vote::kCleared  ? 1
             : vote == ExtendedCount::Vote::kWentOn ? -1
                                                    : 0;
  }
  const bool cleared = votes > 0;

  // Slowest first, each count bounds the time the next ones counted for in the gap.
  std::stable_sort(by_rate_.begin(), by_rate_.end(),
                   [this](size_t a, size_t b) { return counts_[a].rate() < counts_[b].rate(); });
  double counted = gap;
  for (size_t i : by_rate_) {
    const ExtendedCount& count = counts_[i];
    moved_[i] = count.move(cleared ? 0 : count.last_, raws[i] & count.mask_, counted);
    if (count.full_window_rate_ > 0) {
      counted = std::min(gap, (static_cast<double>(moved_[i]) + 0.5) / count.full_window_rate_);
    }
  }
  // A reading on time, or nearly, shows each count's whole move: only such make the rates.
  const bool trusted = gap <= 2 * interval;
  for (size_t i = 0; i < counts_.size(); ++i) {
    counts_[i].take(raws[i], moved_[i], cleared, trusted, now_seconds);
  }
  if (cleared) ++clears_;
  return cleared;
}

}  // namespace boardstat
