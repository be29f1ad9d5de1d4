// PacketEngine: PCI Express packet state, payload limits, counters and flags.
#ifndef BOARDSTAT_BOARD_REGISTERS_PACKET_ENGINE_H_
#define BOARDSTAT_BOARD_REGISTERS_PACKET_ENGINE_H_

#include "board/registers/types.h"

namespace boardstat::packet_engine {

inline constexpr Register kState = status(1919, "State");
// 16 bytes times 2 to these signed exponents.
inline constexpr Register kMaxPayloadSystem{2849, "Max PCIe payload (System)"};
inline constexpr Register kMaxPayloadUser{2848, "Max PCIe payload (User)"};
inline constexpr double kPayloadUnitBytes = 16;
inline constexpr Register kPacketsSent = count(1917, "Num PCIe packets sent");
inline constexpr Register kPacketsDropped = count(1918, "Num PCIe packets dropped");

inline constexpr std::string_view kStateTexts[] = {"SYNC", "HDR", "DAT"};
inline constexpr Enumeration kStateText = make_enumeration(kStateTexts, kQuestionMarks);

inline constexpr Flag kControlFlags[] = {
    {2851, "disablePktGen"},
    {2850, "disablePktFlushTimer"},
    {1926, "pktFlushEn"},
};

// Shown in this order, not in register order.
inline constexpr Flag kErrorFlags[] = {
    {1920, "noQuadAvail"}, {1921, "vidDropped"},     {1925, "wrOnFull"},
    {1924, "rdOnEmpty"},   {1923, "newFrameResync"},
};

/// Every register the panel reads before its flags, in the order it reads them.
inline constexpr Register kRegisters[] = {kState, kMaxPayloadSystem, kMaxPayloadUser, kPacketsSent,
                                          kPacketsDropped};

}  // namespace boardstat::packet_engine

#endif  // BOARDSTAT_BOARD_REGISTERS_PACKET_ENGINE_H_
