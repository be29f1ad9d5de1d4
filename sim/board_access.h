// The simulated board's four board access calls, over the process's one board system.
#ifndef BOARDSTAT_SIM_BOARD_ACCESS_H_
#define BOARDSTAT_SIM_BOARD_ACCESS_H_

#include <stdint.h>

#include "board/board_access.h"

namespace boardsim {

int32_t find(uint32_t family, uint32_t index, LmBrdEntry* entry);
int32_t open(LmBrdEntry* entry, KvHandle* handle, uint32_t option);
uint32_t peek(KvHandle vfg, uint32_t reg);
int32_t poke(KvHandle vfg, uint32_t reg, uint32_t value);

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_BOARD_ACCESS_H_
