// The SystemProbe measurements: what each one asks of the rate probe, how its count becomes a
// figure, and how the figure is shown.
#ifndef BOARDSTAT_BOARD_REGISTERS_SYSTEM_PROBE_H_
#define BOARDSTAT_BOARD_REGISTERS_SYSTEM_PROBE_H_

#include <string_view>

#include "board/rate_probe.h"
#include "board/registers/rate_probe.h"

namespace boardstat::system_probe {

using namespace probe;

constexpr RateProbeSetup rate_window(uint32_t count_source) {
  return {kWindowStart,           kEdge0, kTimeReference, kEdge0, count_source, kEdge0,
          kWindowReferenceCounts, 1.0f,   kRateMode};
}

constexpr RateProbeSetup interval(uint32_t start_source, uint32_t start_edge, uint32_t stop_source,
                                  uint32_t stop_edge, uint32_t count_source, uint32_t count_edge,
                                  float time_limit = 1.0f) {
  return {start_source, start_edge, stop_source, stop_edge,    count_source,
          count_edge,   1,          time_limit,  kIntervalMode};
}

enum class Conversion {
  kPerSecond,           // events in 0.1 s to events per second
  kMegahertz,           // clocks in 0.1 s to MHz
  kMegabytesPerSecond,  // 16-byte transfers in 0.1 s to MB/s
  kMicroseconds,        // 100 ns reference counts to microseconds
  kCount,               // shown as counted
};

inline constexpr int kPrintInteger = 1;
inline constexpr int kPrintFixed = 2;

struct Measurement {
  std::string_view label;
  RateProbeSetup probe;
  Conversion conversion;
  std::string_view units;
  int print_mode;
};

inline constexpr float kCcWidthLimit = 0.25f;

inline constexpr Measurement kMeasurements[] = {
    {"CL CLock", rate_window(kCameraClock), Conversion::kMegahertz, "MHz", kPrintFixed},
    {"Frame Rate", rate_window(kFrameSignal), Conversion::kPerSecond, "Frames/sec", kPrintFixed},
    {"Line Rate", rate_window(kLine), Conversion::kPerSecond, "Lines/sec", kPrintFixed},
    {"Trigger Rate", rate_window(kTrigger), Conversion::kPerSecond, "Triggers/sec", kPrintFixed},
    {"EncoderA Rate", rate_window(kEncoderA), Conversion::kPerSecond, "EncA/sec", kPrintFixed},
    {"EncoderB Rate", rate_window(kEncoderB), Conversion::kPerSecond, "EncB/sec", kPrintFixed},
    {"CC1 Rate", rate_window(kCc1), Conversion::kPerSecond, "CC1/sec", kPrintFixed},
    {"CC1 Width", interval(kCc1, kEdge0, kCc1, kEdge1, kTimeReference, kEdge0, kCcWidthLimit),
     Conversion::kMicroseconds, "us", kPrintFixed},
    {"CC2 Rate", rate_window(kCc2), Conversion::kPerSecond, "CC2/sec", kPrintFixed},
    {"CC2 Width", interval(kCc2, kEdge0, kCc2, kEdge1, kTimeReference, kEdge0, kCcWidthLimit),
     Conversion::kMicroseconds, "us", kPrintFixed},
    {"CC3 Rate", rate_window(kCc3), Conversion::kPerSecond, "CC3/sec", kPrintFixed},
    {"CC3 Width", interval(kCc3, kEdge0, kCc3, kEdge1, kTimeReference, kEdge0, kCcWidthLimit),
     Conversion::kMicroseconds, "us", kPrintFixed},
    {"CC4 Rate", rate_window(kCc4), Conversion::kPerSecond, "CC4/sec", kPrintFixed},
    {"CC4 Width", interval(kCc4, kEdge0, kCc4, kEdge1, kTimeReference, kEdge0, kCcWidthLimit),
     Conversion::kMicroseconds, "us", kPrintFixed},
    {"PCIe Bandwidth", rate_window(kPcie), Conversion::kMegabytesPerSecond, "MBytes/sec",
     kPrintFixed},
    {"PCIe Drop Bandwidth", rate_window(kPcieDropped), Conversion::kMegabytesPerSecond,
     "MBytes/sec", kPrintFixed},
    {"Interrupt Rate", rate_window(kInterrupt), Conversion::kPerSecond, "Interrupts/sec",
     kPrintFixed},
    {"Interrupt Service Time",
     interval(kInterrupt, kEdge0, kInterrupt, kEdge1, kTimeReference, kEdge0),
     Conversion::kMicroseconds, "us", kPrintFixed},
    {"Lines per Frame", interval(kFrameSignal, kEdge0, kFrameSignal, kEdge1, kLine, kEdge0),
     Conversion::kCount, "Lines", kPrintInteger},
    {"Lines between Frames", interval(kFrameSignal, kEdge1, kFrameSignal, kEdge0, kLine, kEdge0),
     Conversion::kCount, "Lines", kPrintInteger},
    {"Clocks between Frames",
     interval(kFrameSignal, kEdge1, kFrameSignal, kEdge0, kCameraClock, kGated), Conversion::kCount,
     "Clocks", kPrintInteger},
    {"Clocks to first Line", interval(kFrameSignal, kEdge0, kLine, kEdge0, kCameraClock, kGated),
     Conversion::kCount, "Clocks", kPrintInteger},
    {"Clocks per Line", interval(kLine, kEdge0, kLine, kEdge1, kCameraClock, kEdge0),
     Conversion::kCount, "Clocks", kPrintInteger},
    {"DVAL per Line", interval(kLine, kEdge0, kLine, kEdge1, kDval, kGated), Conversion::kCount,
     "DVAL", kPrintInteger},
    {"Clocks between Lines", interval(kLine, kEdge1, kLine, kEdge0, kCameraClock, kGated),
     Conversion::kCount, "Clocks", kPrintInteger},
    {"CC1 to Frame Latency", interval(kCc1, kEdge0, kFrameSignal, kEdge0, kTimeReference, kEdge0),
     Conversion::kMicroseconds, "us", kPrintFixed},
};

/// A probe count as the figure its measurement shows. Every step in single precision, except
/// the one widening to double for microseconds; each step is stored in a float of its own so
/// that no wider intermediate can creep in.
inline float convert(Conversion conversion, float count) {
  switch (conversion) {
    case Conversion::kPerSecond:
      return count / kWindowSeconds;
    case Conversion::kMegahertz: {
      const float per_second = count / kWindowSeconds;
      return per_second * 0.000001f;
    }
    case Conversion::kMegabytesPerSecond: {
      const float bytes = count * kBytesPerPcieCount;
      const float megabytes = bytes / 1000000.0f;
      return megabytes / kWindowSeconds;
    }
    case Conversion::kMicroseconds: {
      const float seconds = count * kReferenceSeconds;
      return static_cast<float>(static_cast<double>(seconds) * 1000000.0);
    }
    case Conversion::kCount:
      break;
  }
  return count;
}

}  // namespace boardstat::system_probe

#endif  // BOARDSTAT_BOARD_REGISTERS_SYSTEM_PROBE_H_
