#include "console/error_clearing.h"

#include <stdint.h>

#include "board/registers/error_latches.h"

namespace boardstat {
namespace {

using namespace error_latches;

}  // namespace

void clear_errors(KvHandle vfg) {
  for (uint32_t offset : kGroupOffsets) {
    for (uint32_t reg : kGroupLatches) KvRegPoke(vfg, reg + offset, 0);
  }
  KvRegPoke(vfg, kEngineLatch, 0);
  for (uint32_t offset : kGroupOffsets) KvRegPoke(vfg, kGroupResetFirst + offset, 1);
  for (uint32_t offset : kGroupOffsets) KvRegPoke(vfg, kGroupResetSecond + offset, 1);
  for (uint32_t reg : kCountsAndStatus) KvRegPoke(vfg, reg, 0);
}

}  // namespace boardstat
