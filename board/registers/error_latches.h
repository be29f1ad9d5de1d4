// What clearing the errors of a VFG writes: error latches, group resets and the acquired counts.
#ifndef BOARDSTAT_BOARD_REGISTERS_ERROR_LATCHES_H_
#define BOARDSTAT_BOARD_REGISTERS_ERROR_LATCHES_H_

#include <stdint.h>

#include "board/registers/acquisition_engine.h"

namespace boardstat::error_latches {

// Four register groups lie 145 IDs apart; part of the list repeats once per group.
inline constexpr uint32_t kGroupOffsets[] = {0, 145, 290, 435};
inline constexpr uint32_t kGroupLatches[] = {2191, 2192, 2194, 2193, 2211, 2208, 2207};
inline constexpr uint32_t kEngineLatch = 2676;
inline constexpr uint32_t kGroupResetFirst = 2115;
inline constexpr uint32_t kGroupResetSecond = 2120;
inline constexpr uint32_t kCountsAndStatus[] = {
    1403,
    1400,
    acquisition_engine::kVAcquired,
    acquisition_engine::kZAcquired,
    acquisition_engine::kYAcquired,
    acquisition_engine::kXAcquired,
    1407,
    1398,
    1399,
    1397,
    1401,
    1402,
};

}  // namespace boardstat::error_latches

#endif  // BOARDSTAT_BOARD_REGISTERS_ERROR_LATCHES_H_
