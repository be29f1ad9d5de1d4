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
#include <memory>
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

/// Wall time from std::chrono::steady_clock, counted from its epoch (the machine's start on
/// Linux and Windows), so that the processes sharing a board read one time.
class SteadyClock : public Clock {
 public:
  Picoseconds now() const override;
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

  /// The VFG whose changing state lives in `state` (state_bytes(description) bytes, aligned
  /// to 16, zero-filled before the first open), which other processes may share. Opens it now
  /// unless an earlier model already did; the caller keeps every call on `state` apart.
  VfgModel(const VfgDescription& description, const Clock& clock, void* state);

  /// The size of the block that holds the state of a VFG of `description`.
  static size_t state_bytes(const VfgDescription& description);

  uint32_t peek(uint32_t id);
  void poke(uint32_t id, uint32_t value);

  /// Time since the VFG was opened.
  Picoseconds board_time() const { return clock_.now() - header_->opened; }

 private:
  // A register as the model holds it. Registers below kNearIds sit in a table indexed by ID, so
  // that a read or a write costs the same however large the description is; the rare others are
  // found in a table of their own. Most registers count nothing and never need the clock.
  struct Register {
    uint32_t value = 0;
    int32_t counter = -1;  // index into counters_, or -1
  };
  struct Counter {
    uint32_t per_second = 0;
    Picoseconds since = 0;  // board time of the open, of the last write or rate change
    Picoseconds carry = 0;  // a fraction of a count from before a rate change
  };
  struct FarRegister {
    uint32_t id = 0;
    uint32_t used = 0;
    Register reg;
  };
  // Everything of the state that is not a table.
  struct Header {
    Picoseconds opened = 0;
    Measurement measurement;
    uint64_t next_event = 0;  // the first timed event not applied yet
    uint32_t open = 0;        // the state has been set up by an open
    uint32_t far_used = 0;
  };
  // The state is one block: the header, then the near registers, the counters and the far
  // registers (an open-addressing table, at most half full), each at a multiple of 16.
  struct Layout {
    size_t near, counters, far, far_capacity, bytes;
  };
  static constexpr uint32_t kNearIds = 4096;  // every register the console uses lies below
  // Far registers that the description does not name but a program writes: room for this many
  // in the block; more are kept by the process alone.
  static constexpr size_t kFarWrites = 1024;

  static Layout layout(const VfgDescription& description);
  void bind(void* state);
  void open_state();
  Register* find_far(uint32_t id) const;

  const Register* find(uint32_t id) const;
  Register& slot(uint32_t id);
  uint32_t plain(uint32_t id) const;
  bool clears_others(uint32_t id) const;
  // A write as a program makes it, at board time `now` (read only when the write needs it).
  void write(uint32_t id, uint32_t value, Picoseconds now);
  // Applies the timed events due at or before `now`, in order, each at its own time.
  void catch_up(Picoseconds now);
  bool events_pending() const { return header_->next_event < description_.events.size(); }
  // Stores a value as a write does, without the write's side effects. `now` is read only for
  // a counter.
  void store(uint32_t id, uint32_t value, Picoseconds now);
  void start_measurement(Picoseconds now);
  uint32_t router_entry(uint32_t table, uint32_t column, uint32_t row) const;

  const VfgDescription& description_;
  const Clock& clock_;
  std::unique_ptr<Picoseconds[]> own_state_;  // the block, when no one else holds it
  Header* header_ = nullptr;
  Register* near_ = nullptr;  // by ID, below kNearIds
  Counter* counters_ = nullptr;
  FarRegister* far_ = nullptr;  // the others that were described or written
  size_t far_capacity_ = 0;
  std::unordered_map<uint32_t, Register> far_overflow_;  // when far_ is full
  std::vector<bool> near_clears_;                        // a write to the ID clears others
  std::vector<uint32_t> near_router_;                    // router entries with small selectors
  std::vector<std::array<uint32_t, kSeqSlots>> seq_;
};

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_BOARD_MODEL_H_
