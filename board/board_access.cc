// The four board access calls as the rest of the programs see them: each goes straight on to
// the library that load_board_library() chose.
#include "board/board_access.h"

#include "board/board_library.h"

extern "C" {

int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return boardstat::board_calls_in_use.find(family, index, entry);
}

int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t option) {
  return boardstat::board_calls_in_use.open(entry, handle, option);
}

uint32_t KvRegPeek(KvHandle vfg, uint32_t reg) {
  return boardstat::board_calls_in_use.peek(vfg, reg);
}

int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value) {
  return boardstat::board_calls_in_use.poke(vfg, reg, value);
}

}  // extern "C"
