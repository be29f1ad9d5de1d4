// The register model of one simulated VFG: plain registers, the router and sequencer windows,
// counters, latched errors, the rate probe and the description's timed events. Live values are
// computed from the board time at which they are read; nothing runs in the background: the
// events that fell due since the last access are applied, each at its own time, before the next
// read or write.
#ifndef BOARDSTAT_SIM_BOARD_MODEL_H_
#define BOARDSTAT_SIM_BOARD_MODEL_H_

#include <stdint.h>

#include <array>
#include <chrono>
#include <unordered_map>
#include <vector>

#include "sim/board_description.h"
#include "sim/probe_model.h"

namespace boardsim {

/// Where the model takes the time from. Monotonic; the origin is arbitrary.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Picoseconds now() const = 0;
};

/// Wall time from std::chrono::steady_clock, counted from the clock's creation.
class SteadyClock : public Clock {
 public:
  SteadyClock() : origin_(std::chrono::steady_clock::now()) {}
  Picoseconds now() const override;

 private:
  std::chrono::steady_clock::time_point origin_;
};

/// Counts whole events at `per_second` over `elapsed`, modulo 2^32, without overflow. `carry`
/// is a fraction of a count already made, in count-picoseconds (below 10^12); with `rest` given,
/// the fraction left over goes there.
uint32_t counted(Picoseconds elapsed, uint32_t per_second, Picoseconds carry = 0,
                 Picoseconds* rest = nullptr);

class VfgModel {
 public:
  /// Opens the VFG now: board time starts at 0 and counters start counting. `description`
  /// and `clock` must outlive the model.
  VfgModel(const VfgDescription& description, const Clock& clock);

  uint32_t peek(uint32_t id);
  void poke(uint32_t id, uint32_t value);

  /// Time since the VFG was opened.
  Picoseconds board_time() const { return clock_.now() - opened_; }

 private:
  // A register as the model holds it. Registers below kNearIds sit in a table indexed by ID, so
  // that a read or a write costs the same however large the description is; the rare others are
  // found through a hash map. Most registers count nothing and never need the clock.
  struct Register {
    uint32_t value = 0;
    int32_t counter = -1;  // index into counters_, or -1
  };
  struct Counter {
    uint32_t per_second = 0;
    Picoseconds since = 0;  // board time of the open, of the last write or rate change
    Picoseconds carry = 0;  // a fraction of a count from before a rate change
  };
  static constexpr uint32_t kNearIds = 4096;  // every register the console uses lies below

  const Register* find(uint32_t id) const;
  Register& slot(uint32_t id);
  uint32_t plain(uint32_t id) const;
  bool clears_others(uint32_t id) const;
  // A write as a program makes it, at board time `now` (read only when the write needs it).
  void write(uint32_t id, uint32_t value, Picoseconds now);
  // Applies the timed events due at or before `now`, in order, each at its own time.
  void catch_up(Picoseconds now);
  bool events_pending() const { return next_event_ < description_.events.size(); }
  // Stores a value as a write does, without the write's side effects. `now` is read only for
  // a counter.
  void store(uint32_t id, uint32_t value, Picoseconds now);
  void start_measurement(Picoseconds now);
  uint32_t router_entry(uint32_t table, uint32_t column, uint32_t row) const;

  const VfgDescription& description_;
  const Clock& clock_;
  Picoseconds opened_;
  std::vector<Register> near_;                  // by ID, below kNearIds
  std::unordered_map<uint32_t, Register> far_;  // the others that were described or written
  std::vector<Counter> counters_;
  std::vector<bool> near_clears_;      // a write to the ID clears others
  std::vector<uint32_t> near_router_;  // router entries with small selectors
  std::vector<std::array<uint32_t, kSeqSlots>> seq_;
  Measurement measurement_;
  size_t next_event_ = 0;  // the first timed event not applied yet
};

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_BOARD_MODEL_H_
