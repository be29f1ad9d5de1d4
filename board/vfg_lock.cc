#include "board/vfg_lock.h"

#include <map>
#include <mutex>
#include <unordered_map>

namespace boardstat {
namespace {

struct Locks {
  std::mutex mutex;
  std::unordered_map<KvHandle, uint32_t> index_of;
  std::map<uint32_t, intptr_t> opened;  // by index; -1 when the VFG has none
  std::map<uint32_t, std::string> problems;
};

Locks& locks() {
  static Locks* const all = new Locks;  // never destroyed: a lock may be let go at exit
  return *all;
}

intptr_t lock_of_index(Locks& all, uint32_t index) {
  const auto it = all.opened.find(index);
  if (it != all.opened.end()) return it->second;
  std::string problem;
  const intptr_t lock = vfg_lock_platform::open_lock(index, &problem);
  all.opened[index] = lock;
  if (lock < 0) all.problems[index] = problem;
  return lock;
}

// The lock of a noted handle, or -1.
intptr_t lock_of(KvHandle vfg) {
  Locks& all = locks();
  std::lock_guard<std::mutex> guard(all.mutex);
  const auto it = all.index_of.find(vfg);
  return it == all.index_of.end() ? -1 : lock_of_index(all, it->second);
}

uint32_t milliseconds(float seconds) {
  if (!(seconds > 0.0f)) return 0;
  return seconds >= 4.0e6f ? 4000000000u : static_cast<uint32_t>(seconds * 1000.0f);
}

}  // namespace

void note_vfg_index(KvHandle vfg, uint32_t index) {
  Locks& all = locks();
  std::lock_guard<std::mutex> guard(all.mutex);
  all.index_of[vfg] = index;
}

std::string vfg_lock_problem(uint32_t index) {
  Locks& all = locks();
  std::lock_guard<std::mutex> guard(all.mutex);
  lock_of_index(all, index);
  const auto it = all.problems.find(index);
  return it == all.problems.end() ? std::string() : it->second;
}

VfgLock::VfgLock(KvHandle vfg, float wait_limit) {
  const intptr_t lock = lock_of(vfg);
  if (lock < 0) {
    go_ahead_ = true;
  } else if (vfg_lock_platform::take(lock, milliseconds(wait_limit))) {
    lock_ = lock;
    go_ahead_ = true;
  }
}

VfgLock VfgLock::try_take(KvHandle vfg) {
  return VfgLock(vfg, 0.0f);
}

VfgLock::VfgLock(VfgLock&& other) noexcept : lock_(other.lock_), go_ahead_(other.go_ahead_) {
  other.lock_ = -1;
  other.go_ahead_ = false;
}

VfgLock& VfgLock::operator=(VfgLock&& other) noexcept {
  if (this != &other) {
    release();
    lock_ = other.lock_;
    go_ahead_ = other.go_ahead_;
    other.lock_ = -1;
    other.go_ahead_ = false;
  }
  return *this;
}

void VfgLock::release() {
  if (lock_ >= 0) vfg_lock_platform::give_back(lock_);
  lock_ = -1;
  go_ahead_ = false;
}

}  // namespace boardstat
