// BufferManager: descriptor state machine, quad counters and error latches.
#ifndef BOARDSTAT_BOARD_REGISTERS_BUFFER_MANAGER_H_
#define BOARDSTAT_BOARD_REGISTERS_BUFFER_MANAGER_H_

#include "board/registers/types.h"

namespace boardstat::buffer_manager {

inline constexpr Register kRunLevel = status(2702, "RunLevel");
inline constexpr Register kState = status(2707, "State");
// Both hold a signed power-of-two exponent.
inline constexpr Register kMaxQuadsPerFetch{2704, "Max quads per fetch"};
inline constexpr Register kCurrentQuadsPerFetch = status(2703, "Current quads per fetch");
inline constexpr Register kQuadsCached = status(2708, "Quads currently Cached");
inline constexpr Register kQTabsLoaded = count(1929, "QTabs Loaded");
inline constexpr Register kQTabsUsed = count(1916, "QTabs Used");
inline constexpr Register kQuadsLoaded = count(1928, "Quads Loaded");
inline constexpr Register kQuadsUsed = count(1927, "Quads Used");

inline constexpr std::string_view kRunLevelTexts[] = {"IDLE", "RUN", "ABORT"};
inline constexpr Enumeration kRunLevelText = make_enumeration(kRunLevelTexts, kQuestionMarks);

inline constexpr std::string_view kStateTexts[] = {
    "IDLE",      "ACTIVE",       "REQ_DESC_64",  "REQ_DESC_32",
    "WAIT_DESC", "PARSE_DESC_0", "PARSE_DESC_1", "FLUSH",
};
inline constexpr Enumeration kStateText = make_enumeration(kStateTexts, kQuestionMarks);

inline constexpr Flag kErrorFlags[] = {
    {2717, "timeoutDetected"},  {2716, "fifoOverflow"},    {2715, "quadNumMismatch"},
    {2714, "cplError"},         {2713, "sizeErrorMSB"},    {2712, "sizeErrorLSB"},
    {2711, "nextAddrErrorLSB"}, {2710, "dstAddrErrorLSB"},
};

/// Every register the panel reads before its flags, in the order it reads them.
inline constexpr Register kRegisters[] = {
    kRunLevel,  kState,       kMaxQuadsPerFetch, kCurrentQuadsPerFetch, kQuadsCached, kQTabsLoaded,
    kQTabsUsed, kQuadsLoaded, kQuadsUsed,
};

}  // namespace boardstat::buffer_manager

#endif  // BOARDSTAT_BOARD_REGISTERS_BUFFER_MANAGER_H_
