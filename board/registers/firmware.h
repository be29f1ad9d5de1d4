// The firmware build stamp the banner shows.
#ifndef BOARDSTAT_BOARD_REGISTERS_FIRMWARE_H_
#define BOARDSTAT_BOARD_REGISTERS_FIRMWARE_H_

#include "board/registers/types.h"

namespace boardstat::firmware {

// Binary-coded decimal digits: printed in hexadecimal they show the digits themselves (0x2016
// prints as 2016).
inline constexpr Register kBuildDateFirst{2657, "build date, first field"};
inline constexpr Register kBuildDateSecond{2656, "build date, second field"};
inline constexpr Register kBuildYear{2655, "build year"};
inline constexpr Register kBuildHour{2659, "build hour"};
inline constexpr Register kBuildMinute{2658, "build minute"};

/// In the order the banner reads them.
inline constexpr Register kRegisters[] = {kBuildDateFirst, kBuildDateSecond, kBuildYear, kBuildHour,
                                          kBuildMinute};

}  // namespace boardstat::firmware

#endif  // BOARDSTAT_BOARD_REGISTERS_FIRMWARE_H_
