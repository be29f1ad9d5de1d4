// Indexed register windows: a board table reached through select and index registers and one
// data register. Reading an entry writes the select registers in their fixed order, then reads
// the data register. Nothing restores the select registers afterwards: they keep the last
// entry's position.
#ifndef BOARDSTAT_BOARD_REGISTER_WINDOW_H_
#define BOARDSTAT_BOARD_REGISTER_WINDOW_H_

#include <stdint.h>

#include <initializer_list>

#include "board/board_access.h"

namespace boardstat {

/// One select or index register of a window and the value written to it.
struct WindowSelect {
  uint32_t reg;
  uint32_t value;
};

/// Writes every select register with KvRegPoke, in the order given, then returns KvRegPeek of
/// `data_reg`.
uint32_t read_register_window(KvHandle vfg, std::initializer_list<WindowSelect> selects,
                              uint32_t data_reg);

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_REGISTER_WINDOW_H_
