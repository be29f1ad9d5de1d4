// A board count that keeps only its low 16 or 32 bits, extended to a 64-bit total by reading it
// often, and told apart from a clear.
//
// The rule. Between two readings a count only moves up, by its step, modulo its range; the
// collect interval should keep every step below the whole range (a late poll is unwrapped, see
// below, but only as well as the count's rate holds still). A reading lower than the one before is
// either a wrap (the count passed its top) or a clear (it was set to 0 and counted on). A wrap
// from the last reading to the new one needs a step of (range - last + new). The count's reach
// is twice the largest step seen in the last one to two seconds, plus 64: a lower reading
// within reach is a wrap, beyond reach a clear. In its first second a count has no history and
// every lower reading is a wrap.
//
// A poll that comes so late that the count may have passed its whole range (the machine was
// busy) is unwrapped with the count's rate over the last second: the step taken is the reading's
// step plus as many whole ranges as bring it nearest to rate x time since the last reading. This
// only happens when that product is more than half the range; a count that changes its rate a
// lot during such a late poll gets a wrong number of ranges.
//
// The four acquired counts of a VFG are cleared together, so a clear seen in any of them
// restarts all four (see update_together). Limits: a count that was still and starts at once
// faster than its reach, just below its top, looks cleared; a clear while every count of its
// group reads 0 or within reach of its top looks like a wrap, and so does a clear in the
// exporter's first second.
#ifndef BOARDSTAT_EXPORTER_EXTENDED_COUNT_H_
#define BOARDSTAT_EXPORTER_EXTENDED_COUNT_H_

#include <stddef.h>
#include <stdint.h>

namespace boardstat {

class ExtendedCount {
 public:
  /// `mask` keeps the bits that count: 0xFFFF or 0xFFFFFFFF.
  explicit ExtendedCount(uint32_t mask) : mask_(mask) {}

  bool has_reading() const { return started_; }
  /// The first reading plus every step since, or the reading since the last clear.
  uint64_t total() const { return total_; }
  /// How many clears were seen.
  uint64_t clears() const { return clears_; }

  /// The largest step the count is taken to make between two readings.
  uint32_t reach() const;
  /// True when `raw` can only mean that the count was cleared since the last reading.
  bool shows_clear(uint32_t raw) const;
  /// Takes `raw`, read at `now_seconds`, as a step up (through the top if it reads lower).
  void advance(uint32_t raw, double now_seconds);
  /// The count was cleared: the total restarts at `raw`.
  void restart(uint32_t raw, double now_seconds);

 private:
  void remember_step(uint64_t step, double now_seconds);
  uint64_t unwrap(uint32_t step, double seconds) const;

  uint32_t mask_;
  bool started_ = false;
  uint32_t last_ = 0;
  double last_seconds_ = 0;
  uint64_t total_ = 0;
  uint64_t clears_ = 0;
  // The largest step of the current one-second window and of the one before, and the count's
  // rate over the one before.
  bool history_ = false;
  double window_start_ = 0;
  uint64_t window_max_ = 0;
  uint64_t window_sum_ = 0;
  uint64_t previous_window_max_ = 0;
  double rate_ = 0;  // counts a second
};

/// Reads of counts that are cleared together: if any reading shows a clear, every count restarts
/// at its reading; otherwise each advances. Returns true when a clear was seen.
bool update_together(ExtendedCount* counts, const uint32_t* raws, size_t n, double now_seconds);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_EXTENDED_COUNT_H_
