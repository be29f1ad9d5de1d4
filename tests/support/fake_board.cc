#include "tests/support/fake_board.h"

#include <stdexcept>

namespace boardstat::testing {
namespace {

FakeBoard g_board;

int index_of(KvHandle vfg) {
  return static_cast<int>(reinterpret_cast<uintptr_t>(vfg)) - 1;
}

}  // namespace

FakeBoard& FakeBoard::reset(int vfg_count, int open_fails_at) {
  g_board.vfg_count_ = vfg_count;
  g_board.open_fails_at_ = open_fails_at;
  g_board.registers_.assign(static_cast<size_t>(vfg_count > 0 ? vfg_count : 0), {});
  g_board.log_.clear();
  g_board.on_peek = nullptr;
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

uint32_t FakeBoard::peek(KvHandle vfg, uint32_t reg) {
  const int index = index_of(vfg);
  if (index < 0 || index >= vfg_count_) throw std::logic_error("peek on a handle never opened");
  log_.push_back("peek " + std::to_string(index) + " " + std::to_string(reg));
  if (on_peek) {
    if (const auto overridden = on_peek(index, reg)) return *overridden;
  }
  return value(index, reg);
}

void FakeBoard::poke(KvHandle vfg, uint32_t reg, uint32_t value) {
  const int index = index_of(vfg);
  if (index < 0 || index >= vfg_count_) throw std::logic_error("poke on a handle never opened");
  log_.push_back("poke " + std::to_string(index) + " " + std::to_string(reg) + " " +
                 std::to_string(value));
  registers_[static_cast<size_t>(index)][reg] = value;
}

}  // namespace boardstat::testing

extern "C" {

int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return boardstat::testing::FakeBoard::get().find(family, index, entry);
}

int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t /*option*/) {
  return boardstat::testing::FakeBoard::get().open(entry, handle);
}

uint32_t KvRegPeek(KvHandle vfg, uint32_t reg) {
  return boardstat::testing::FakeBoard::get().peek(vfg, reg);
}

int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value) {
  boardstat::testing::FakeBoard::get().poke(vfg, reg, value);
  return 0;
}

}  // extern "C"
