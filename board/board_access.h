// The board access library: the four calls the console makes to find, open, read and write
// VFGs. Any library that provides these symbols with C linkage can stand behind the console:
// the simulated board under sim/, or a binding to the vendor's KvD and Lmd libraries.
#ifndef BOARDSTAT_BOARD_BOARD_ACCESS_H_
#define BOARDSTAT_BOARD_BOARD_ACCESS_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// An opened VFG. Pointer-sized and opaque; valid until the process ends (there is no close).
typedef void* KvHandle;

/// Filled by LmSysBrdFind and read by LmBrdOpen. The caller allocates it; its contents belong
/// to the library.
typedef struct LmBrdEntry {
  uint64_t words[8];
} LmBrdEntry;

/// The board family code of the Camera Link frame grabbers.
enum { kLmBoardFamily = 208 };

/// 0 when a VFG exists at `index` of `family` and `entry` is filled; non-zero when there is none.
int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry);

/// 0 when the VFG that `entry` names is open and its handle stored in `handle`; non-zero on
/// failure.
int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t option);

/// The current value of register `reg` of the VFG, aligned to bit 0. Never fails.
uint32_t KvRegPeek(KvHandle vfg, uint32_t reg);

/// Writes `value` to register `reg` of the VFG. The console never looks at the result.
int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value);

#ifdef __cplusplus
}
#endif

#endif  // BOARDSTAT_BOARD_BOARD_ACCESS_H_
