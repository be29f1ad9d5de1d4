#include "tests/support/fake_board.h"

#include <stdexcept>

namespace boardstat::testing {
namespace {

FakeBoard g_board;

}  // namespace

FakeBoard& FakeBoard::reset(int vfg_count, int open_fails_at) {
  g_board = FakeBoard();
  g_board.vfg_count_ = vfg_count;
  g_board.open_fails_at_ = open_fails_at;
  g_board.registers_.resize(static_cast<size_t>(std::max(vfg_count, 0)));
  return g_board;
}

FakeBoard& FakeBoard::get() {
  return g_board;
}

KvHandle FakeBoard::handle(int index) {
  return reinterpret_cast<KvHandle>(static_cast<uintptr_t>(index + 1));
}

uint32_t FakeBoard::value(int vfg, uint32_t reg) const {
  const auto& map = registers_.at(static_cast<size_t>(vfg));
  const auto it = map.find(reg);
  return it == map.end() ? 0 : it->second;
}

std::vector<std::string> FakeBoard::calls(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const auto& line : log_) {
    if (line.compare(0, prefix.size(), prefix) == 0) matching.push_back(line);
  }
  return matching;
}

int32_t FakeBoard::find(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  log_.push_back("find " + std::to_string(family) + " " + std::to_string(index));
  if (family != kLmBoardFamily || index >= static_cast<uint32_t>(vfg_count_)) return 1;
  entry->words[0] = index;
  return 0;
}

int32_t FakeBoard::open(LmBrdEntry* entry, KvHandle* handle) {
  const int index = static_cast<int>(entry->words[0]);
  log_.push_back("open " + std::to_string(index));
  if (index == open_fails_at_) return 1;
  *handle = FakeBoard::handle(index);
  return 0;
}

// The VFG of a handle that LmBrdOpen gave.
int FakeBoard::index_of(KvHandle vfg) const {
  const int index = static_cast<int>(reinterpret_cast<uintptr_t>(vfg)) - 1;
  if (index < 0 || index >= vfg_count_) throw std::logic_error("access on a handle never opened");
  return index;
}

uint32_t FakeBoard::peek(KvHandle vfg, uint32_t reg) {
  const int index = index_of(vfg);
  log_.push_back("peek " + std::to_string(index) + " " + std::to_string(reg));
  const auto overridden = on_peek ? on_peek(index, reg) : std::nullopt;
  return overridden ? *overridden : value(index, reg);
}

void FakeBoard::poke(KvHandle vfg, uint32_t reg, uint32_t value) {
  const int index = index_of(vfg);
  log_.push_back("poke " + std::to_string(index) + " " + std::to_string(reg) + " " +
                 std::to_string(value));
  set(index, reg, value);
}

}  // namespace boardstat::testing

using boardstat::testing::FakeBoard;

extern "C" {
int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return FakeBoard::get().find(family, index, entry);
}
int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t /*option*/) {
  return FakeBoard::get().open(entry, handle);
}
uint32_t KvRegPeek(KvHandle vfg, uint32_t reg) {
  return FakeBoard::get().peek(vfg, reg);
}
int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value) {
  FakeBoard::get().poke(vfg, reg, value);
  return 0;
}
}  // extern "C"
