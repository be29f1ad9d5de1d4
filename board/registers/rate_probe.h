// The rate probe: the board's event counter, its registers and the signals it can count.
#ifndef BOARDSTAT_BOARD_REGISTERS_RATE_PROBE_H_
#define BOARDSTAT_BOARD_REGISTERS_RATE_PROBE_H_

#include <stdint.h>

namespace boardstat::probe {

inline constexpr uint32_t kCountSource = 2898;
inline constexpr uint32_t kCountEdge = 2899;
inline constexpr uint32_t kStopSource = 2900;
inline constexpr uint32_t kStopEdge = 2901;
inline constexpr uint32_t kStartSource = 2902;
inline constexpr uint32_t kStartEdge = 2903;
inline constexpr uint32_t kAlwaysOne = 2904;
inline constexpr uint32_t kAlwaysZero = 2905;
inline constexpr uint32_t kMode = 2906;
inline constexpr uint32_t kStart = 2908;
inline constexpr uint32_t kPrologue = 2909;  // written with 1 before anything else
inline constexpr uint32_t kBusy = 2911;
inline constexpr uint32_t kCount = 2912;
inline constexpr uint32_t kStopCount = 2913;

// Signal numbers.
inline constexpr uint32_t kWindowStart = 1;    // starts every rate window
inline constexpr uint32_t kTimeReference = 3;  // 10 MHz: one count is 100 ns
inline constexpr uint32_t kTrigger = 8;
inline constexpr uint32_t kEncoderA = 9;
inline constexpr uint32_t kEncoderB = 10;
inline constexpr uint32_t kInterrupt = 15;
inline constexpr uint32_t kPcie = 16;         // 16 bytes per count
inline constexpr uint32_t kPcieDropped = 17;  // 16 bytes per count
inline constexpr uint32_t kCameraClock = 32;
inline constexpr uint32_t kFrameSignal = 38;
inline constexpr uint32_t kLine = 41;
inline constexpr uint32_t kDval = 44;
inline constexpr uint32_t kCc1 = 47;
inline constexpr uint32_t kCc2 = 48;
inline constexpr uint32_t kCc3 = 49;
inline constexpr uint32_t kCc4 = 50;

// Edge selectors: a signal's pulse runs from its edge 0 to its edge 1. Count edge 2 is the
// board's gated count (camera clocks while the count signal is high).
inline constexpr uint32_t kEdge0 = 0;
inline constexpr uint32_t kEdge1 = 1;
inline constexpr uint32_t kGated = 2;

// Modes: a rate over a fixed window of the time reference, or a start-to-stop interval.
inline constexpr uint32_t kIntervalMode = 0;
inline constexpr uint32_t kRateMode = 1;

// 1000000 counts of the 10 MHz reference: a 0.1 s window.
inline constexpr uint32_t kWindowReferenceCounts = 1000000;
inline constexpr float kWindowSeconds = 0.1f;
inline constexpr float kReferenceSeconds = 0.0000001f;  // one count of the time reference
inline constexpr float kBytesPerPcieCount = 16.0f;

}  // namespace boardstat::probe

#endif  // BOARDSTAT_BOARD_REGISTERS_RATE_PROBE_H_
