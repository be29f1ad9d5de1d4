#include "sim/board_model.h"

namespace boardsim {
namespace {

constexpr uint64_t kPicosecondsPerSecond = 1000000000000;

// Registers whose value the model computes; writes to them are ignored.
bool computed(uint32_t id) {
  return id == kRouterDataRegister || seq_slot(id) >= 0 || id == kProbeBusyRegister ||
         id == kProbeCountRegister;
}

}  // namespace

Picoseconds SteadyClock::now() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now() - origin_);
  const int64_t ns = elapsed.count();
  return ns < 0 ? 0 : static_cast<Picoseconds>(ns) * 1000;
}

uint32_t counted(Picoseconds elapsed, uint32_t per_second) {
  // elapsed x rate / 10^12, split into whole seconds and the rest so that no product overflows;
  // only the low 32 bits of the whole seconds matter.
  const uint64_t seconds = static_cast<uint64_t>(elapsed / kPicosecondsPerSecond);
  const Picoseconds rest = elapsed % kPicosecondsPerSecond;
  const uint32_t whole =
      static_cast<uint32_t>(static_cast<uint32_t>(seconds) * uint64_t{per_second});
  const uint32_t part = static_cast<uint32_t>(rest * per_second / kPicosecondsPerSecond);
  return whole + part;
}

VfgModel::VfgModel(const VfgDescription& description, const Clock& clock)
    : description_(description), clock_(clock), opened_(clock.now()) {
  registers_.reserve(description.registers.size() + description.counters.size());
  for (const auto& [id, value] : description.registers) registers_[id].value = value;
  for (const auto& [id, rate] : description.counters) {
    Register& r = registers_[id];
    r.per_second = rate;
    r.since = 0;
  }
  if (!description.seq.empty()) {
    seq_.assign(kSeqEntries, std::array<uint32_t, kSeqSlots>{});
    for (const auto& [key, value] : description.seq) seq_[key / kSeqSlots][key % kSeqSlots] = value;
  }
}

uint32_t VfgModel::plain(uint32_t id) const {
  const auto it = registers_.find(id);
  if (it == registers_.end()) return 0;
  const Register& r = it->second;
  if (r.per_second == 0) return r.value;
  return r.value + counted(board_time() - r.since, r.per_second);
}

uint32_t VfgModel::peek(uint32_t id) const {
  switch (id) {
    case kRouterDataRegister: {
      const RouterKey key{plain(kRouterTableRegister), plain(kRouterColumnRegister),
                          plain(kRouterRowRegister)};
      const auto it = description_.router.find(key);
      return it == description_.router.end() ? 0 : it->second;
    }
    case kProbeBusyRegister:
      return measurement_.busy(board_time()) ? 1 : 0;
    case kProbeCountRegister:
      return measurement_.count(board_time());
    default:
      break;
  }
  const int slot = seq_slot(id);
  if (slot >= 0) {
    const uint32_t index = plain(kSeqIndexRegister);
    if (index >= seq_.size()) return 0;
    return seq_[index][static_cast<size_t>(slot)];
  }
  return plain(id);
}

void VfgModel::store(uint32_t id, uint32_t value, Picoseconds now) {
  if (computed(id)) return;
  Register& r = registers_[id];
  r.value = value;
  r.since = now;
}

void VfgModel::poke(uint32_t id, uint32_t value) {
  const Picoseconds now = board_time();
  const auto cleared = description_.clears.find(id);
  if (cleared != description_.clears.end()) {
    for (const uint32_t other : cleared->second) store(other, 0, now);
  }
  store(id, value, now);
  if (id == kProbeGoRegister && value == 1) start_measurement(now);
}

void VfgModel::start_measurement(Picoseconds now) {
  ProbeSettings settings;
  settings.count_source = plain(kProbeCountSource);
  settings.count_edge = plain(kProbeCountEdge);
  settings.stop_source = plain(kProbeStopSource);
  settings.stop_edge = plain(kProbeStopEdge);
  settings.start_source = plain(kProbeStartSource);
  settings.start_edge = plain(kProbeStartEdge);
  settings.stop_count = plain(kProbeStopCount);
  measurement_ = Measurement(settings, description_.signals, now);
}

}  // namespace boardsim
