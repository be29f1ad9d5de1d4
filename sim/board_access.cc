// The four board access calls, served by one simulated board system per process, built from
// the environment at the first call.
#include "board/board_access.h"

#include <stdlib.h>

#include "sim/board_system.h"

namespace {

boardsim::BoardSystem& board();

boardsim::BoardSystem* make_board() {
  boardsim::BoardSystem* system = boardsim::system_from_environment().release();
  // Every way out that runs exit handlers closes the trace, so its last line is whole and a
  // failure to write it is still reported; a call after that is simply not traced.
  atexit([] { board().close_trace(); });
  return system;
}

boardsim::BoardSystem& board() {
  // Never destroyed: the console may still call in while the process ends.
  static boardsim::BoardSystem* const system = make_board();
  return *system;
}

}  // namespace

extern "C" {

int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return board().find(family, index, entry);
}

int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t /*option*/) {
  return board().open(entry, handle);
}

uint32_t KvRegPeek(KvHandle vfg, uint32_t reg) {
  return board().peek(vfg, reg);
}

int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value) {
  return board().poke(vfg, reg, value);
}

}  // extern "C"
