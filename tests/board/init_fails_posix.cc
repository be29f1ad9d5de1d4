// A board access library whose loading fails: it needs a function that no loaded library has,
// as a vendor's library does when the driver it binds to is missing.
#include "board/board_access.h"

extern "C" int32_t kvd_driver_attach(uint32_t family);

extern "C" int32_t LmSysBrdFind(uint32_t family, uint32_t, LmBrdEntry*) {
  return kvd_driver_attach(family);
}
