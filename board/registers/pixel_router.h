// PixelRouter: how camera taps are routed onto the output banks. The router's tables sit behind
// one indexed window: write the table, the column and the row, then read the entry.
#ifndef BOARDSTAT_BOARD_REGISTERS_PIXEL_ROUTER_H_
#define BOARDSTAT_BOARD_REGISTERS_PIXEL_ROUTER_H_

#include "board/registers/types.h"

namespace boardstat::pixel_router {

inline constexpr Register kOutputPixelDepth{2877, "Output Pixel Depth"};
inline constexpr TwoWay kDepthText{"8-Bit", "16-Bit"};

// The window, its selectors in the order they are written.
inline constexpr Register kTableSelect{2880, "router table select"};
inline constexpr Register kColumnIndex{2879, "router column"};  // tap, or bank for the bank table
inline constexpr Register kRowIndex{2878, "router row"};  // cycle, or 0 for start and step tables
inline constexpr Register kTableEntry{2881, "router table entry"};

inline constexpr uint32_t kTapCycleTable = 0;
inline constexpr uint32_t kBankTable = 1;
inline constexpr uint32_t kTapStartTable = 2;
inline constexpr uint32_t kTapStepTable = 3;

inline constexpr int kTaps = 10;
inline constexpr int kBanks = 8;
inline constexpr int kBankCycles = 10;
inline constexpr int kTapCycles = 8;  // the tap cycle table shows cycles 0 to 7 only

// A bank entry takes the tap in its low four bits when any higher bit is set.
inline constexpr uint32_t kBankEntryUsed = 16;
inline constexpr Field kBankEntryTap{kTableEntry, 0, 0xF, "tap"};

/// Every register the panel reads outside the window.
inline constexpr Register kRegisters[] = {kOutputPixelDepth};

}  // namespace boardstat::pixel_router

#endif  // BOARDSTAT_BOARD_REGISTERS_PIXEL_ROUTER_H_
