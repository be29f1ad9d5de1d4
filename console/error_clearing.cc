#include "console/error_clearing.h"

#include <stdint.h>

namespace boardstat {
namespace {

// Four register groups lie 145 IDs apart; part of the list repeats once per group.
constexpr uint32_t kGroupOffsets[] = {0, 145, 290, 435};
constexpr uint32_t kGroupLatches[] = {2191, 2192, 2194, 2193, 2211, 2208, 2207};
constexpr uint32_t kEngineLatch = 2676;
constexpr uint32_t kGroupResetFirst = 2115;
constexpr uint32_t kGroupResetSecond = 2120;
// 1419 to 1422 are the V, Z, Y and X acquired counts.
constexpr uint32_t kCountsAndStatus[] = {1403, 1400, 1419, 1420, 1421, 1422,
                                         1407, 1398, 1399, 1397, 1401, 1402};

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
