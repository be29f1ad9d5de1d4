// SystemProbe: live rates, widths and intervals measured with the board's rate probe, one
// measurement per line, each line on the console as soon as its measurement ends.
#include <cmath>
#include <iomanip>
#include <ios>
#include <string_view>

#include "board/rate_probe.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"
#include "panels/system_probe.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"SystemProbe", "--------^------------------", "--------^--", 2};

// Probe signal numbers.
constexpr uint32_t kWindowStart = 1;    // starts every rate window
constexpr uint32_t kTimeReference = 3;  // 10 MHz: one count is 100 ns
constexpr uint32_t kTrigger = 8;
constexpr uint32_t kEncoderA = 9;
constexpr uint32_t kEncoderB = 10;
constexpr uint32_t kInterrupt = 15;
constexpr uint32_t kPcie = 16;         // 16 bytes per count
constexpr uint32_t kPcieDropped = 17;  // 16 bytes per count
constexpr uint32_t kCameraClock = 32;
constexpr uint32_t kFrameSignal = 38;
constexpr uint32_t kLine = 41;
constexpr uint32_t kDval = 44;
constexpr uint32_t kCc1 = 47;
constexpr uint32_t kCc2 = 48;
constexpr uint32_t kCc3 = 49;
constexpr uint32_t kCc4 = 50;

// Edge selectors: a signal's pulse runs from its edge 0 to its edge 1. Count edge 2 is the
// board's gated count (camera clocks while the count signal is high).
constexpr uint32_t kEdge0 = 0;
constexpr uint32_t kEdge1 = 1;
constexpr uint32_t kGated = 2;

// 1000000 counts of the 10 MHz reference: a 0.1 s window.
constexpr uint32_t kWindowReferenceCounts = 1000000;

constexpr RateProbeSetup rate_window(uint32_t count_source) {
  return {
      kWindowStart, kEdge0, kTimeReference, kEdge0, count_source, kEdge0, kWindowReferenceCounts,
      1.0f,         1};
}

constexpr RateProbeSetup interval(uint32_t start_source, uint32_t start_edge, uint32_t stop_source,
                                  uint32_t stop_edge, uint32_t count_source, uint32_t count_edge,
                                  float time_limit = 1.0f) {
  return {start_source, start_edge, stop_source, stop_edge, count_source,
          count_edge,   1,          time_limit,  0};
}

enum class Conversion {
  kPerSecond,           // events in 0.1 s to events per second
  kMegahertz,           // clocks in 0.1 s to MHz
  kMegabytesPerSecond,  // 16-byte transfers in 0.1 s to MB/s
  kMicroseconds,        // 100 ns reference counts to microseconds
  kCount,               // shown as counted
};

constexpr int kPrintInteger = 1;
constexpr int kPrintFixed = 2;

struct Measurement {
  std::string_view label;
  RateProbeSetup probe;
  Conversion conversion;
  std::string_view units;
  int print_mode;
};

constexpr float kCcWidthLimit = 0.25f;

constexpr Measurement kMeasurements[] = {
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

// Every step in single precision, except the one widening to double for microseconds. Each
// step is stored in a float of its own so that no wider intermediate can creep in.
float convert(Conversion conversion, float count) {
  switch (conversion) {
    case Conversion::kPerSecond:
      return count / 0.1f;
    case Conversion::kMegahertz: {
      const float per_second = count / 0.1f;
      return per_second * 0.000001f;
    }
    case Conversion::kMegabytesPerSecond: {
      const float bytes = count * 16.0f;
      const float megabytes = bytes / 1000000.0f;
      return megabytes / 0.1f;
    }
    case Conversion::kMicroseconds: {
      const float seconds = count * 0.0000001f;
      return static_cast<float>(static_cast<double>(seconds) * 1000000.0);
    }
    case Conversion::kCount:
      break;
  }
  return count;
}

// The whole part of `value`, truncated toward zero. Counts of 2^31 and more do not fit a
// signed 32-bit integer; they are written whole through 64 bits instead.
void write_whole_part(std::ostream& out, float value) {
  if (std::isfinite(value) && std::fabs(value) < 0x1p63f) {
    out << static_cast<int64_t>(value);
  } else {
    out << value;  // never a count: no count reaches 2^63
  }
}

}  // namespace

// The stat line of one measurement. It leaves the stream left-aligned, and a fixed line leaves
// it in fixed notation with 2 decimals: the banner of the next redraw puts right alignment back.
void write_stat_line(std::ostream& out, int32_t failed, int print_mode, std::string_view label,
                     float value, std::string_view units) {
  if (failed == 0 && print_mode != kPrintInteger && print_mode != kPrintFixed) return;
  out << std::left << std::setw(25) << label << " : ";
  if (failed != 0) {
    out << std::setw(10) << kUnknown;
  } else if (print_mode == kPrintFixed) {
    out << std::fixed << std::setprecision(2) << std::setw(10) << value << ' ' << units;
  } else {
    out << std::setw(10);
    write_whole_part(out, value);
    out << ' ' << units;
  }
  end_line(out);
}

// The panel with the clock its probe waits on.
void draw_system_probe(std::ostream& out, KvHandle vfg, int expanded, MillisecondClock clock) {
  if (!begin_panel(out, kFrame, expanded)) return;
  for (const Measurement& m : kMeasurements) {
    float count = 0.0f;
    const int32_t failed = run_rate_probe(vfg, m.probe, count, clock);
    const float value = failed == 0 ? convert(m.conversion, count) : 0.0f;
    write_stat_line(out, failed, m.print_mode, m.label, value, m.units);
  }
  end_panel(out, kFrame);
}

void draw_system_probe(std::ostream& out, KvHandle vfg, int expanded) {
  draw_system_probe(out, vfg, expanded, steady_milliseconds);
}

}  // namespace boardstat
