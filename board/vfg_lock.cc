#include "board/vfg_lock.h"

#include <map>
#include <mutex>
#include <unordered_map>

namespace boardstat {
namespace {

struct Pair {
  intptr_t lock = -1;  // -1 when the VFG has none
  intptr_t wanted = -1;
};

struct Locks {
  std::mutex mutex;
  std::unordered_map<KvHandle, uint32_t> index_of;
  std::map<uint32_t, Pair> opened;  // by index
  std::map<uint32_t, std::string> problems;
};

Locks& locks() {
  static Locks* const all = new Locks;  // never destroyed: a lock may be let go at exit
  return *all;
}

Pair pair_of_index(Locks& all, uint32_t index) {
  const auto it = all.opened.find(index);
  if (it != all.opened.end()) return it->second;
  std::string problem;
  Pair pair;
  pair.lock = vfg_lock_platform::open_lock(index, "lock", &problem);
  if (pair.lock >= 0) pair.wanted = vfg_lock_platform::open_lock(index, "wanted", &problem);
  if (pair.wanted < 0) {
    all.problems[index] = problem;
    pair = Pair{};  // without its "wanted" lock, a lock could keep a person waiting
  }
  all.opened[index] = pair;
  return pair;
}

// The locks of a noted handle; none for another.
Pair pair_of(KvHandle vfg) {
  Locks& all = locks();
  std::lock_guard<std::mutex> guard(all.mutex);
  const auto it = all.index_of.find(vfg);
  return it == all.index_of.end() ? Pair{} : pair_of_index(all, it->second);
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
  pair_of_index(all, index);
  const auto it = all.problems.find(index);
  return it == all.problems.end() ? std::string() : it->second;
}

VfgLock::VfgLock(KvHandle vfg, float wait_limit) {
  using namespace vfg_lock_platform;
  const Pair pair = pair_of(vfg);
  if (pair.lock < 0) {
    go_ahead_ = true;
    return;
  }
  wanted_ = pair.wanted;
  bool taken = take(pair.lock, 0);
  const uint32_t wait_ms = milliseconds(wait_limit);
  if (!taken && wait_ms > 0) {
    // Held by another waiter already, "wanted" is said all the same.
    const bool saying = take(pair.wanted, 0);
    taken = take(pair.lock, wait_ms);
    if (saying) give_back(pair.wanted);
  }
  if (taken) {
    lock_ = pair.lock;
    go_ahead_ = true;
  }
}

VfgLock VfgLock::try_take(KvHandle vfg) {
  VfgLock lock(vfg, 0.0f);
  if (lock.wanted()) lock.release();
  return lock;
}

bool VfgLock::wanted() const {
  using namespace vfg_lock_platform;
  if (lock_ < 0) return false;
  if (!take(wanted_, 0)) return true;
  give_back(wanted_);
  return false;
}

VfgLock::VfgLock(VfgLock&& other) noexcept
    : lock_(other.lock_), wanted_(other.wanted_), go_ahead_(other.go_ahead_) {
  other.lock_ = -1;
  other.go_ahead_ = false;
}

VfgLock& VfgLock::operator=(VfgLock&& other) noexcept {
  if (this != &other) {
    release();
    lock_ = other.lock_;
    wanted_ = other.wanted_;
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
