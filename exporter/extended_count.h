// Board counts that keep only their low 16 or 32 bits, extended to 64-bit totals by reading them
// often, and a wrap told apart from a clear by the time since the last reading.
//
// Each count keeps its rate over about a second of readings made on time (at most twice the
// reading interval apart), the only ones sure to show its whole move. In the time dt since its
// last reading a count moves at most its reach, 2 x rate x dt + 64. A new reading has two
// explanations:
//   - the count went on: it moved (new - last) modulo its range, plus whole ranges when it may
//     have passed its top unseen, as many as bring the move nearest to what it counted in dt;
//   - it was cleared and went on from 0: it moved `new`.
// A count whose reach is under half its range (it could not have wrapped unseen) votes: "cleared"
// when only the clear fits within its reach, "went on" when only going on fits. A faster count,
// or any count after a long gap, has a reach that spans its top, so it never votes "cleared". A
// count with no rate yet (one reading so far) votes "cleared" when it reads lower and "went on"
// when it reads higher.
//
// Counts that are cleared together form a group (the four acquired counts of a VFG; each engine
// count alone). The group was cleared when more of its counts vote "cleared" than "went on", and
// then every count restarts, once, at what it counted since the clear.
//
// Over a gap in which a fast count passed its top, its move is an estimate. The group's counts
// are taken slowest first; each count's move, over its rate, tells for how long the group
// counted in the gap (or since the clear), and the next count's whole ranges are chosen for that
// time at its own rate. So a fast count follows the slower ones when the group stopped or was
// cleared in the gap. The estimate is exact while the fast count's rate held to within half its
// range over the gap; otherwise it is off by whole ranges, by about its rate's change times the
// gap. A total never moves backwards but at a clear.
#ifndef BOARDSTAT_EXPORTER_EXTENDED_COUNT_H_
#define BOARDSTAT_EXPORTER_EXTENDED_COUNT_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace boardstat {

/// One count of a group: its last reading, total and rate.
class ExtendedCount {
 public:
  /// `mask` keeps the bits that count: 0xFFFF or 0xFFFFFFFF.
  explicit ExtendedCount(uint32_t mask) : mask_(mask) {}

  /// The first reading plus every move since, or the move since the last clear.
  uint64_t total() const { return total_; }

 private:
  friend class CountGroup;
  enum class Vote { kNone, kCleared, kWentOn };

  /// Counts a second, or a negative number while there is no rate yet.
  double rate() const;
  Vote vote(uint32_t raw, double seconds) const;
  /// The move from `from` to `raw` in `seconds`, with the whole ranges its rate makes likely.
  uint64_t move(uint32_t from, uint32_t raw, double seconds) const;
  void take(uint32_t raw, uint64_t moved, bool cleared, bool trusted, double now_seconds);

  uint32_t mask_;
  bool started_ = false;
  uint32_t last_ = 0;
  double last_seconds_ = 0;
  uint64_t total_ = 0;
  // The trusted moves of the current window (about one second of readings) and the rate over
  // the one before.
  double window_seconds_ = 0;
  uint64_t window_sum_ = 0;
  double full_window_rate_ = -1;
};

/// Counts that are cleared together, read at one moment.
class CountGroup {
 public:
  explicit CountGroup(std::vector<uint32_t> masks);

  size_t size() const { return counts_.size(); }
  const ExtendedCount& operator[](size_t i) const { return counts_[i]; }
  /// How many clears were seen.
  uint64_t clears() const { return clears_; }

  /// Takes one reading of every count, made at `now_seconds` (any clock that only goes forward),
  /// of a group read every `interval` seconds. Returns true when it shows a clear.
  bool update(const uint32_t* raws, double now_seconds, double interval);

 private:
  std::vector<ExtendedCount> counts_;
  std::vector<size_t> by_rate_;
  std::vector<uint64_t> moved_;
  uint64_t clears_ = 0;
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_EXTENDED_COUNT_H_
