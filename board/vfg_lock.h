// The lock of one VFG across processes. The console, the exporter and the snapshot tool each
// write a VFG's registers in sequences that must not be interleaved (a probe measurement, a
// router or sequencer window read); each takes the VFG's lock around such a sequence.
//
// A VFG is named by its discovery index under the board family, the one name all the programs
// share. POSIX: the lock file boardstat-vfg-INDEX.lock in /run/lock, locked with flock. Windows:
// the named mutex Global\boardstat-vfg-INDEX. BOARDSTAT_LOCK_DIR names another lock folder (on
// Windows: other mutexes, in the session's namespace), for tests that must not meet the
// machine's programs. A lock whose holder died is free at once.
//
// Beside each lock is a second one, "wanted" (boardstat-vfg-INDEX.wanted): a program that has to
// wait holds it while it waits, so that a holder that yields (the exporter) can see it and let
// go at once.
#ifndef BOARDSTAT_BOARD_VFG_LOCK_H_
#define BOARDSTAT_BOARD_VFG_LOCK_H_

#include <stdint.h>

#include <string>

#include "board/board_access.h"

namespace boardstat {

/// Names the lock of `vfg`: discovery calls it for every VFG it opens. A handle it was never
/// called for has no lock, and its sequences run unguarded.
void note_vfg_index(KvHandle vfg, uint32_t index);

class VfgLock {
 public:
  /// Waits at most `wait_limit` seconds for the lock of `vfg`. Costs one system call when the
  /// lock is free.
  VfgLock(KvHandle vfg, float wait_limit);

  /// Takes the lock only if it is free now and no one waits for it.
  static VfgLock try_take(KvHandle vfg);

  /// True while another program waits for the held lock.
  bool wanted() const;

  VfgLock() = default;
  VfgLock(VfgLock&& other) noexcept;
  VfgLock& operator=(VfgLock&& other) noexcept;
  VfgLock(const VfgLock&) = delete;
  VfgLock& operator=(const VfgLock&) = delete;
  ~VfgLock() { release(); }

  /// True when the sequence may run: the lock is held, or the VFG has none (see
  /// vfg_lock_problem()). False after a wait that ran out, or a try that found it taken.
  bool go_ahead() const { return go_ahead_; }

  void release();

 private:
  intptr_t lock_ = -1;  // the platform's lock, held; -1 when none is held
  intptr_t wanted_ = -1;
  bool go_ahead_ = false;
};

/// Why VFG `index` has no lock on this machine (its lock file cannot be made or opened), or
/// empty when it has one. The exporter says it once; the console runs on without.
std::string vfg_lock_problem(uint32_t index);

namespace vfg_lock_platform {

/// The VFG's lock called `what` ("lock" or "wanted"), opened once for the process: -1 with
/// `problem` set when there is none.
intptr_t open_lock(uint32_t index, const char* what, std::string* problem);
/// Takes the lock, waiting at most `wait_ms` milliseconds (0: only when free now).
bool take(intptr_t lock, uint32_t wait_ms);
void give_back(intptr_t lock);

}  // namespace vfg_lock_platform

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_VFG_LOCK_H_
