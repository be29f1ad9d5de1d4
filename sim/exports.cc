// libboardsim / boardsim.dll: the simulated board as a board access library, loaded by the
// programs as a vendor's would be. Only these names leave the library (boardsim.map,
// boardsim.def): the four calls, and the mark by which the programs tell it from a real board.
#include "board/board_access.h"
#include "sim/board_access.h"

extern "C" {

int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return boardsim::find(family, index, entry);
}

int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t option) {
  return boardsim::open(entry, handle, option);
}

uint32_t KvRegPeek(KvHandle vfg, uint32_t reg) {
  return boardsim::peek(vfg, reg);
}

int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value) {
  return boardsim::poke(vfg, reg, value);
}

int32_t BoardsimIsSimulated() {
  return 1;
}

}  // extern "C"
