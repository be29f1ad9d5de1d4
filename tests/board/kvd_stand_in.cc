// A stand-in for the vendor's KvD (register reads and writes) over the simulated board.
#include "board/board_access.h"
#include "tests/board/stand_in.h"

extern "C" uint32_t KvRegPeek(KvHandle vfg, uint32_t reg) {
  return simulated_board_call<decltype(&KvRegPeek)>("KvRegPeek")(vfg, reg);
}

extern "C" int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value) {
  return simulated_board_call<decltype(&KvRegPoke)>("KvRegPoke")(vfg, reg, value);
}
