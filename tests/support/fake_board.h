// A recording fake of the board access library: per-VFG register maps that answer reads, and
// an ordered log of every call, so that tests can assert both what is shown and how the board
// was accessed.
#ifndef BOARDSTAT_TESTS_SUPPORT_FAKE_BOARD_H_
#define BOARDSTAT_TESTS_SUPPORT_FAKE_BOARD_H_

#include <stdint.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "board/board_access.h"

namespace boardstat::testing {

class FakeBoard {
 public:
  /// Starts afresh with `vfg_count` VFGs, every register 0, an empty log. `open_fails_at`
  /// names a VFG that is found but refuses to open (-1: none).
  static FakeBoard& reset(int vfg_count = 1, int open_fails_at = -1);
  static FakeBoard& get();

  /// The handle that LmBrdOpen gives VFG `index`.
  static KvHandle handle(int index);

  void set(int vfg, uint32_t reg, uint32_t value) { registers_[vfg][reg] = value; }
  void set(uint32_t reg, uint32_t value) { set(0, reg, value); }
  uint32_t value(int vfg, uint32_t reg) const;

  /// Answers reads before the register map does: return a value to override it, or nothing
  /// to let the map answer. For windows, counters and other live registers.
  std::function<std::optional<uint32_t>(int vfg, uint32_t reg)> on_peek;

  /// Every call so far, one line each: "find FAMILY INDEX", "open VFG", "peek VFG ID",
  /// "poke VFG ID VALUE".
  const std::vector<std::string>& log() const { return log_; }
  void clear_log() { log_.clear(); }
  /// The log lines that start with `prefix` ("poke", "peek 1", ...).
  std::vector<std::string> calls(const std::string& prefix) const;

  // The board access functions land here.
  int32_t find(uint32_t family, uint32_t index, LmBrdEntry* entry);
  int32_t open(LmBrdEntry* entry, KvHandle* handle);
  uint32_t peek(KvHandle vfg, uint32_t reg);
  void poke(KvHandle vfg, uint32_t reg, uint32_t value);

 private:
  int index_of(KvHandle vfg) const;
  int vfg_count_ = 1;
  int open_fails_at_ = -1;
  std::vector<std::unordered_map<uint32_t, uint32_t>> registers_;
  std::vector<std::string> log_;
};

}  // namespace boardstat::testing

#endif  // BOARDSTAT_TESTS_SUPPORT_FAKE_BOARD_H_
