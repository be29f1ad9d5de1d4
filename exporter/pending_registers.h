// The registers the exporter reads, until the board's register catalogue replaces this file.
// Temporary: every ID, text and flag name here is to come from the catalogue instead.
#ifndef BOARDSTAT_EXPORTER_PENDING_REGISTERS_H_
#define BOARDSTAT_EXPORTER_PENDING_REGISTERS_H_

#include <stdint.h>

#include <string_view>

#include "board/rate_probe.h"
#include "display/format.h"

namespace boardstat::pending {

// Firmware build date and time, binary-coded decimal, in the order the banner shows them.
inline constexpr uint32_t kFirmwareDateFirst = 2657;
inline constexpr uint32_t kFirmwareDateSecond = 2656;
inline constexpr uint32_t kFirmwareYear = 2655;
inline constexpr uint32_t kFirmwareHour = 2659;
inline constexpr uint32_t kFirmwareMinute = 2658;

// AcquisitionEngine: acquired counts (low 16 bits count; X in units of 16 bytes).
inline constexpr uint32_t kVAcquired = 1419;
inline constexpr uint32_t kZAcquired = 1420;
inline constexpr uint32_t kYAcquired = 1421;
inline constexpr uint32_t kXAcquired = 1422;
inline constexpr uint32_t kAcquiredCountMask = 0xFFFF;
inline constexpr uint32_t kBytesPerXUnit = 16;

inline constexpr uint32_t kAcquisitionRunLevel = 2756;
inline constexpr uint32_t kAcquisitionState = 2770;
inline constexpr std::string_view kAcquisitionRunLevelTexts[] = {"IDLE",    "RUN",     "ABORT_V",
                                                                 "ABORT_Z", "ABORT_Y", "ABORT_X"};
inline constexpr std::string_view kAcquisitionStateTexts[] = {"IDLE", "V", "Z", "Y", "X"};
inline constexpr Flag kAcquisitionErrors[] = {{2771, "LossOfSync"}};

// BufferManager.
inline constexpr uint32_t kBufferRunLevel = 2702;
inline constexpr uint32_t kBufferState = 2707;
inline constexpr std::string_view kBufferRunLevelTexts[] = {"IDLE", "RUN", "ABORT"};
inline constexpr std::string_view kBufferStateTexts[] = {
    "IDLE",      "ACTIVE",       "REQ_DESC_64",  "REQ_DESC_32",
    "WAIT_DESC", "PARSE_DESC_0", "PARSE_DESC_1", "FLUSH"};
inline constexpr uint32_t kQTabsLoaded = 1929;
inline constexpr uint32_t kQTabsUsed = 1916;
inline constexpr uint32_t kQuadsLoaded = 1928;
inline constexpr uint32_t kQuadsUsed = 1927;
inline constexpr Flag kBufferErrors[] = {{2717, "timeoutDetected"},  {2716, "fifoOverflow"},
                                         {2715, "quadNumMismatch"},  {2714, "cplError"},
                                         {2713, "sizeErrorMSB"},     {2712, "sizeErrorLSB"},
                                         {2711, "nextAddrErrorLSB"}, {2710, "dstAddrErrorLSB"}};

// PacketEngine.
inline constexpr uint32_t kPacketState = 1919;
inline constexpr std::string_view kPacketStateTexts[] = {"SYNC", "HDR", "DAT"};
inline constexpr uint32_t kPacketsSent = 1917;
inline constexpr uint32_t kPacketsDropped = 1918;
inline constexpr Flag kPacketFlags[] = {
    {2851, "disablePktGen"}, {2850, "disablePktFlushTimer"}, {1926, "pktFlushEn"}};
inline constexpr Flag kPacketErrors[] = {{1920, "noQuadAvail"},
                                         {1921, "vidDropped"},
                                         {1925, "wrOnFull"},
                                         {1924, "rdOnEmpty"},
                                         {1923, "newFrameResync"}};

// TimingSequencer.
inline constexpr uint32_t kSequencerRunLevel = 2812;
inline constexpr std::string_view kSequencerRunLevelTexts[] = {"IDLE", "RUN", "JUMP", "ABORT_EOS",
                                                               "ABORT_NOW"};

// Rate probe signal numbers and the two families of measurement.
inline constexpr uint32_t kWindowStart = 1;
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
inline constexpr uint32_t kEdge0 = 0;
inline constexpr uint32_t kEdge1 = 1;
inline constexpr uint32_t kGated = 2;
inline constexpr double kRateWindowSeconds = 0.1;  // 1000000 counts of the 10 MHz reference
inline constexpr double kReferenceCountsPerSecond = 10e6;
inline constexpr double kBytesPerTransfer = 16;

constexpr RateProbeSetup rate_window(uint32_t count_source) {
  return {kWindowStart, kEdge0, kTimeReference, kEdge0, count_source, kEdge0, 1000000, 1.0f, 1};
}

constexpr RateProbeSetup interval(uint32_t start_source, uint32_t start_edge, uint32_t stop_source,
                                  uint32_t stop_edge, uint32_t count_source, uint32_t count_edge,
                                  float time_limit = 1.0f) {
  return {start_source, start_edge, stop_source, stop_edge, count_source,
          count_edge,   1,          time_limit,  0};
}

}  // namespace boardstat::pending

#endif  // BOARDSTAT_EXPORTER_PENDING_REGISTERS_H_
