// The four board access calls, served by one simulated board system per process, built from
// the environment at the first call. libboardsim exports them under their own names.
#include "sim/board_access.h"

#include <stdlib.h>

#include "sim/board_system.h"

namespace boardsim {
namespace {

BoardSystem& board();

BoardSystem* make_board() {
  BoardSystem* system = system_from_environment().release();
  // Every way out that runs exit handlers closes the trace, so its last line is whole and a
  // failure to write it is still reported; a call after that is simply not traced.
  atexit([] { board().close_trace(); });
  return system;
}

BoardSystem& board() {
  // Never destroyed: the console may still call in while the process ends.
  static BoardSystem* const system = make_board();
  return *system;
}

}  // namespace

int32_t find(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return board().find(family, index, entry);
}

int32_t open(LmBrdEntry* entry, KvHandle* handle, uint32_t /*option*/) {
  return board().open(entry, handle);
}

uint32_t peek(KvHandle vfg, uint32_t reg) {
  return board().peek(vfg, reg);
}

int32_t poke(KvHandle vfg, uint32_t reg, uint32_t value) {
  return board().poke(vfg, reg, value);
}

}  // namespace boardsim
