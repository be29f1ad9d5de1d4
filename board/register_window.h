// Indexed register windows: a board table reached through select and index registers and one
// data register. Reading an entry writes the select registers in their fixed order, then reads
// the data register. Nothing restores the select registers afterwards: they keep the last
// entry's position.
#ifndef BOARDSTAT_BOARD_REGISTER_WINDOW_H_
#define BOARDSTAT_BOARD_REGISTER_WINDOW_H_

#include <stdint.h>

#include <initializer_list>

#include "board/board_access.h"
#include "board/vfg_lock.h"

namespace boardstat {

/// How long a reader of a window waits for the VFG's lock: as long as another program's probe
/// measurement may hold it (the longest probe time limit). A lock still taken after that is
/// held by a program that stopped: the reader goes on without it rather than hang.
inline constexpr float kWindowLockWait = 1.0f;

/// One select or index register of a window and the value written to it.
struct WindowSelect {
  uint32_t reg;
  uint32_t value;
};

/// Writes every select register with KvRegPoke, in the order given, then returns KvRegPeek of
/// `data_reg`.
uint32_t read_register_window(KvHandle vfg, std::initializer_list<WindowSelect> selects,
                              uint32_t data_reg);

/// An entry of the pixel router's tables: selects TABLE, COLUMN and ROW, then reads the entry.
uint32_t read_router_entry(KvHandle vfg, uint32_t table, uint32_t column, uint32_t row);

/// Selects sequencer entry `index` and reads whether it is in use (non-zero). The entry's other
/// registers then read the selected entry.
uint32_t select_sequencer_entry(KvHandle vfg, uint32_t index);

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_REGISTER_WINDOW_H_
