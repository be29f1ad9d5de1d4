#include "board/discovery.h"

#include "board/vfg_lock.h"

namespace boardstat {
namespace {

// How far past the limit a count of left-out VFGs looks: far enough for any real system, and a
// bound for a library that would answer every index.
constexpr uint32_t kLeftOutLookLimit = 4096;

}  // namespace

bool find_vfg(uint32_t index, FoundVfg& vfg) {
  LmBrdEntry entry{};
  if (LmSysBrdFind(kLmBoardFamily, index, &entry) != 0) return false;
  vfg.entry = entry;
  vfg.open = false;
  vfg.index = index;
  open_vfg(vfg);
  return true;
}

bool open_vfg(FoundVfg& vfg) {
  if (!vfg.open) {
    vfg.open = LmBrdOpen(&vfg.entry, &vfg.handle, 0) == 0;
    if (vfg.open) note_vfg_index(vfg.handle, vfg.index);
  }
  return vfg.open;
}

size_t count_vfgs_left_out() {
  size_t left_out = 0;
  LmBrdEntry entry{};
  for (uint32_t index = kMaxVfgs; index < kMaxVfgs + kLeftOutLookLimit; ++index) {
    if (LmSysBrdFind(kLmBoardFamily, index, &entry) != 0) break;
    ++left_out;
  }
  return left_out;
}

std::string vfgs_text(size_t n) {
  return std::to_string(n) + (n == 1 ? " VFG" : " VFGs");
}

}  // namespace boardstat
