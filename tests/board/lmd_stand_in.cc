// A stand-in for the vendor's Lmd (discovery) over the simulated board: with kvd_stand_in.cc it
// makes a pair that the programs find by their normal search, as they would the vendor's.
#include "board/board_access.h"
#include "tests/board/stand_in.h"

extern "C" int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return simulated_board_call<decltype(&LmSysBrdFind)>("LmSysBrdFind")(family, index, entry);
}

extern "C" int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t option) {
  return simulated_board_call<decltype(&LmBrdOpen)>("LmBrdOpen")(entry, handle, option);
}
