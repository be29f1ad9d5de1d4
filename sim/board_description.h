// A board description: the VFGs of a simulated board system and what each one's registers,
// windows, counters, latched errors and probe signals hold, parsed from the description text.
#ifndef BOARDSTAT_SIM_BOARD_DESCRIPTION_H_
#define BOARDSTAT_SIM_BOARD_DESCRIPTION_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sim/probe_model.h"

namespace boardsim {

/// Registers with a meaning of their own.
enum : uint32_t {
  kSeqIndexRegister = 2819,
  kSeqInUseRegister = 1426,
  kSeqFirstRegister = 2820,  // 2820 .. 2829
  kSeqLastRegister = 2829,
  kRouterRowRegister = 2878,
  kRouterColumnRegister = 2879,
  kRouterTableRegister = 2880,
  kRouterDataRegister = 2881,
  kProbeCountSource = 2898,
  kProbeCountEdge = 2899,
  kProbeStopSource = 2900,
  kProbeStopEdge = 2901,
  kProbeStartSource = 2902,
  kProbeStartEdge = 2903,
  kProbeGoRegister = 2908,
  kProbeBusyRegister = 2911,
  kProbeCountRegister = 2912,
  kProbeStopCount = 2913,
};

constexpr uint32_t kSeqEntries = 256;
constexpr size_t kSeqSlots = 11;  // 1426, then 2820 .. 2829

/// The slot of a sequencer window register (0 for 1426, 1 to 10 for 2820 to 2829), or -1.
int seq_slot(uint32_t id);

struct RouterKey {
  uint32_t table = 0;
  uint32_t column = 0;
  uint32_t row = 0;
  bool operator==(const RouterKey& other) const {
    return table == other.table && column == other.column && row == other.row;
  }
};

struct RouterKeyHash {
  size_t operator()(const RouterKey& key) const {
    uint64_t h = key.table;
    h = h * 0x9E3779B97F4A7C15ull ^ key.column;
    h = h * 0x9E3779B97F4A7C15ull ^ key.row;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

/// Something that happens at a board time: a register takes a value, a counter changes its
/// rate, or a write happens as a program's would (with its clears).
struct TimedEvent {
  enum Kind { kRegister, kCounterRate, kWrite };
  Picoseconds at = 0;  // board time, from the open
  Kind kind = kRegister;
  uint32_t id = 0;
  uint32_t value = 0;  // the value, or the counts a second
};

struct VfgDescription {
  bool open_fails = false;
  bool appears_later = false;
  uint64_t appears_after = 0;  // ps of wall time after the first find, when appears_later
  std::unordered_map<uint32_t, uint32_t> registers;  // reg ID VALUE
  std::unordered_map<uint32_t, uint32_t> counters;   // counter ID PER_SECOND
  std::unordered_map<RouterKey, uint32_t, RouterKeyHash> router;
  std::unordered_map<uint32_t, uint32_t> seq;  // key: INDEX x kSeqSlots + slot
  std::unordered_map<uint32_t, std::vector<uint32_t>> clears;
  SignalTable signals;
  std::vector<TimedEvent> events;  // by time; events of one time in description order
};

struct BoardDescription {
  std::vector<VfgDescription> vfgs;
};

struct ParseResult {
  BoardDescription board;  // no VFG when parsing failed
  std::string error;       // "FILE:LINE: REASON", empty on success
  bool ok() const { return error.empty(); }
};

/// Parses description `text`; `file_name` only names it in the error message. Any bytes give
/// either a description or one error, never anything else.
ParseResult parse_board_description(std::string_view text, std::string_view file_name);

/// A number word: decimal, or hexadecimal after 0x; false when it is not one or does not fit
/// in 32 bits (`error` says which).
bool parse_number(std::string_view word, uint32_t* value, std::string* error);

/// A duration word such as 11.765ns, in whole picoseconds; false with a reason otherwise.
bool parse_duration(std::string_view word, uint64_t* picoseconds, std::string* error);

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_BOARD_DESCRIPTION_H_
