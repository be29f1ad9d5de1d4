// The register model of one simulated VFG: plain registers, the router and sequencer windows,
// counters, latched errors and the rate probe. Live values are computed from the board time at
// which they are read; nothing runs in the background.
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

/// Counts whole events at `per_second` over `elapsed`, modulo 2^32, without overflow.
uint32_t counted(Picoseconds elapsed, uint32_t per_second);

class VfgModel {
 public:
  /// Opens the VFG now: board time starts at 0 and counters start counting. `description`
  /// and `clock` must outlive the model.
  VfgModel(const VfgDescription& description, const Clock& clock);

  uint32_t peek(uint32_t id) const;
  void poke(uint32_t id, uint32_t value);

  /// Time since the VFG was opened.
  Picoseconds board_time() const { return clock_.now() - opened_; }

 private:
  struct Register {
    uint32_t value = 0;
    uint32_t per_second = 0;  // non-zero: a counter, counting since `since`
    Picoseconds since = 0;
  };

  uint32_t plain(uint32_t id) const;
  // Stores a value as a write does, without the write's side effects.
  void store(uint32_t id, uint32_t value, Picoseconds now);
  void start_measurement(Picoseconds now);

  const VfgDescription& description_;
  const Clock& clock_;
  Picoseconds opened_;
  std::unordered_map<uint32_t, Register> registers_;
  std::vector<std::array<uint32_t, kSeqSlots>> seq_;
  Measurement measurement_;
};

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_BOARD_MODEL_H_
