#include "sim/board_model.h"

#include <new>

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
      std::chrono::steady_clock::now().time_since_epoch());
  const int64_t ns = elapsed.count();
  return ns < 0 ? 0 : static_cast<Picoseconds>(ns) * 1000;
}

uint32_t counted(Picoseconds elapsed, uint32_t per_second, Picoseconds carry, Picoseconds* rest) {
  // elapsed x rate / 10^12, split into whole seconds and the rest so that no product overflows;
  // only the low 32 bits of the whole seconds matter.
  const uint64_t seconds = static_cast<uint64_t>(elapsed / kPicosecondsPerSecond);
  const Picoseconds units = elapsed % kPicosecondsPerSecond * per_second + carry;
  const uint32_t whole =
      static_cast<uint32_t>(static_cast<uint32_t>(seconds) * uint64_t{per_second});
  const uint32_t part = static_cast<uint32_t>(units / kPicosecondsPerSecond);
  if (rest != nullptr) *rest = units % kPicosecondsPerSecond;
  return whole + part;
}

namespace {

// Router entries whose table, column and row are below these sit in a table of their own.
constexpr uint32_t kNearTables = 4;
constexpr uint32_t kNearColumns = 16;
constexpr uint32_t kNearRows = 16;

bool near_router_key(const RouterKey& key) {
  return key.table < kNearTables && key.column < kNearColumns && key.row < kNearRows;
}

size_t near_router_index(const RouterKey& key) {
  return (static_cast<size_t>(key.table) * kNearColumns + key.column) * kNearRows + key.row;
}

size_t round_up16(size_t n) {
  return (n + 15) / 16 * 16;
}

size_t far_hash(uint32_t id, size_t capacity) {
  return (id * size_t{2654435761u}) & (capacity - 1);  // capacity is a power of two
}

}  // namespace

VfgModel::Layout VfgModel::layout(const VfgDescription& description) {
  size_t far_named = 0;
  for (const auto& reg : description.registers) far_named += reg.first >= kNearIds;
  for (const auto& counter : description.counters) far_named += counter.first >= kNearIds;
  Layout l{};
  l.far_capacity = 1;
  while (l.far_capacity < 2 * (far_named + kFarWrites)) l.far_capacity *= 2;
  l.near = round_up16(sizeof(Header));
  l.counters = l.near + round_up16(kNearIds * sizeof(Register));
  l.far = l.counters + round_up16(description.counters.size() * sizeof(Counter));
  l.bytes = l.far + l.far_capacity * sizeof(FarRegister);
  return l;
}

size_t VfgModel::state_bytes(const VfgDescription& description) {
  return layout(description).bytes;
}

VfgModel::VfgModel(const VfgDescription& description, const Clock& clock)
    : description_(description),
      clock_(clock),
      own_state_(new Picoseconds[state_bytes(description) / sizeof(Picoseconds) + 1]()) {
  bind(own_state_.get());
}

VfgModel::VfgModel(const VfgDescription& description, const Clock& clock, void* state)
    : description_(description), clock_(clock) {
  bind(state);
}

void VfgModel::bind(void* state) {
  const Layout l = layout(description_);
  char* base = static_cast<char*>(state);
  header_ = reinterpret_cast<Header*>(base);
  near_ = reinterpret_cast<Register*>(base + l.near);
  counters_ = reinterpret_cast<Counter*>(base + l.counters);
  far_ = reinterpret_cast<FarRegister*>(base + l.far);
  far_capacity_ = l.far_capacity;

  near_clears_.assign(kNearIds, false);
  for (const auto& [id, others] : description_.clears) {
    if (id < kNearIds) near_clears_[id] = true;
  }
  near_router_.assign(kNearTables * kNearColumns * kNearRows, 0);
  for (const auto& [key, value] : description_.router) {
    if (near_router_key(key)) near_router_[near_router_index(key)] = value;
  }
  if (!description_.seq.empty()) {
    seq_.assign(kSeqEntries, std::array<uint32_t, kSeqSlots>{});
    for (const auto& [key, value] : description_.seq) {
      seq_[key / kSeqSlots][key % kSeqSlots] = value;
    }
  }
  if (header_->open == 0) open_state();
}

// The first open of the VFG: board time starts now, registers take their described values.
void VfgModel::open_state() {
  new (header_) Header();
  header_->opened = clock_.now();
  for (uint32_t id = 0; id < kNearIds; ++id) new (&near_[id]) Register();
  for (size_t i = 0; i < far_capacity_; ++i) new (&far_[i]) FarRegister();
  for (const auto& [id, value] : description_.registers) slot(id).value = value;
  size_t n = 0;
  for (const auto& [id, rate] : description_.counters) {
    slot(id).counter = static_cast<int32_t>(n);
    new (&counters_[n++]) Counter{rate, 0, 0};
  }
  header_->open = 1;
}

VfgModel::Register* VfgModel::find_far(uint32_t id) const {
  for (size_t i = far_hash(id, far_capacity_);; i = (i + 1) & (far_capacity_ - 1)) {
    if (far_[i].used == 0) return nullptr;
    if (far_[i].id == id) return &far_[i].reg;
  }
}

const VfgModel::Register* VfgModel::find(uint32_t id) const {
  if (id < kNearIds) return &near_[id];
  if (const Register* r = find_far(id)) return r;
  const auto it = far_overflow_.find(id);
  return it == far_overflow_.end() ? nullptr : &it->second;
}

VfgModel::Register& VfgModel::slot(uint32_t id) {
  if (id < kNearIds) return near_[id];
  if (Register* r = find_far(id)) return *r;
  // The table stays at most half full, so that a search always ends at an empty place soon.
  if (2 * (header_->far_used + size_t{1}) > far_capacity_) return far_overflow_[id];
  size_t i = far_hash(id, far_capacity_);
  while (far_[i].used != 0) i = (i + 1) & (far_capacity_ - 1);
  far_[i].id = id;
  far_[i].used = 1;
  ++header_->far_used;
  return far_[i].reg;
}

uint32_t VfgModel::plain(uint32_t id) const {
  const Register* r = find(id);
  if (r == nullptr) return 0;
  if (r->counter < 0) return r->value;
  const Counter& c = counters_[static_cast<size_t>(r->counter)];
  return r->value + counted(board_time() - c.since, c.per_second, c.carry);
}

bool VfgModel::clears_others(uint32_t id) const {
  if (id < kNearIds) return near_clears_[id];
  return description_.clears.count(id) != 0;
}

uint32_t VfgModel::router_entry(uint32_t table, uint32_t column, uint32_t row) const {
  const RouterKey key{table, column, row};
  if (near_router_key(key)) return near_router_[near_router_index(key)];
  const auto it = description_.router.find(key);
  return it == description_.router.end() ? 0 : it->second;
}

uint32_t VfgModel::peek(uint32_t id) {
  if (events_pending()) catch_up(board_time());
  switch (id) {
    case kRouterDataRegister:
      return router_entry(plain(kRouterTableRegister), plain(kRouterColumnRegister),
                          plain(kRouterRowRegister));
    case kProbeBusyRegister:
      return header_->measurement.busy(board_time()) ? 1 : 0;
    case kProbeCountRegister:
      return header_->measurement.count(board_time());
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
  Register& r = slot(id);
  r.value = value;
  if (r.counter >= 0) {
    // A written counter counts on from the value written: fractions of a count start again.
    Counter& c = counters_[static_cast<size_t>(r.counter)];
    c.since = now;
    c.carry = 0;
  }
}

void VfgModel::poke(uint32_t id, uint32_t value) {
  // Only a write that restarts a counter, clears others or starts the probe needs the time, and
  // timed events that are still to come; the window selects that make up most writes do not
  // read the clock.
  const Register* r = find(id);
  const bool timed = events_pending() || clears_others(id) || id == kProbeGoRegister ||
                     (r != nullptr && r->counter >= 0);
  const Picoseconds now = timed ? board_time() : 0;
  if (events_pending()) catch_up(now);
  write(id, value, now);
}

void VfgModel::write(uint32_t id, uint32_t value, Picoseconds now) {
  if (clears_others(id)) {
    for (const uint32_t other : description_.clears.at(id)) store(other, 0, now);
  }
  store(id, value, now);
  if (id == kProbeGoRegister && value == 1) start_measurement(now);
}

void VfgModel::catch_up(Picoseconds now) {
  const std::vector<TimedEvent>& events = description_.events;
  while (header_->next_event < events.size() && events[header_->next_event].at <= now) {
    const TimedEvent& event = events[header_->next_event++];
    switch (event.kind) {
      case TimedEvent::kRegister:
        store(event.id, event.value, event.at);
        break;
      case TimedEvent::kWrite:
        write(event.id, event.value, event.at);
        break;
      case TimedEvent::kCounterRate: {
        // The count so far becomes the start, and the new rate counts on from the event; the
        // fraction of a count made so far is kept, so that rate x time stays exact.
        Register& r = slot(event.id);
        Counter& c = counters_[static_cast<size_t>(r.counter)];
        r.value += counted(event.at - c.since, c.per_second, c.carry, &c.carry);
        c.since = event.at;
        c.per_second = event.value;
        break;
      }
    }
  }
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
  header_->measurement = Measurement(settings, description_.signals, now);
}

}  // namespace boardsim
