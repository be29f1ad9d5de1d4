// What the exporter reads from each VFG and the metric family each reading becomes. The
// collector reads by these tables and the exposition writes by them, so a register and its
// metric are named together once.
#ifndef BOARDSTAT_EXPORTER_METRIC_TABLES_H_
#define BOARDSTAT_EXPORTER_METRIC_TABLES_H_

#include <stddef.h>
#include <stdint.h>

#include <iterator>
#include <string_view>

#include "board/rate_probe.h"
#include "display/format.h"
#include "exporter/pending_registers.h"

namespace boardstat {

/// A count register exposed as a counter: its kept bits and what one count is worth.
struct CounterMetric {
  std::string_view name;
  std::string_view help;
  uint32_t reg;
  uint32_t mask;
  uint64_t scale;
};

inline constexpr uint32_t kFullMask = 0xFFFFFFFF;

/// The acquired counts: cleared together, 16 bits each.
inline constexpr CounterMetric kAcquiredCounts[] = {
    {"boardstat_acquired_volumes_total", "Volumes acquired (V).", pending::kVAcquired,
     pending::kAcquiredCountMask, 1},
    {"boardstat_acquired_frames_total", "Frames acquired (Z).", pending::kZAcquired,
     pending::kAcquiredCountMask, 1},
    {"boardstat_acquired_lines_total", "Lines acquired (Y).", pending::kYAcquired,
     pending::kAcquiredCountMask, 1},
    {"boardstat_acquired_bytes_total", "Bytes acquired (X).", pending::kXAcquired,
     pending::kAcquiredCountMask, pending::kBytesPerXUnit},
};
inline constexpr size_t kAcquiredCountCount = std::size(kAcquiredCounts);

/// The buffer manager's and packet engine's 32-bit counts, each on its own.
inline constexpr CounterMetric kEngineCounts[] = {
    {"boardstat_buffer_qtabs_loaded_total", "QTabs loaded by the buffer manager.",
     pending::kQTabsLoaded, kFullMask, 1},
    {"boardstat_buffer_qtabs_used_total", "QTabs used by the buffer manager.", pending::kQTabsUsed,
     kFullMask, 1},
    {"boardstat_buffer_quads_loaded_total", "Quads loaded by the buffer manager.",
     pending::kQuadsLoaded, kFullMask, 1},
    {"boardstat_buffer_quads_used_total", "Quads used by the buffer manager.", pending::kQuadsUsed,
     kFullMask, 1},
    {"boardstat_packets_sent_total", "PCI Express packets sent by the packet engine.",
     pending::kPacketsSent, kFullMask, 1},
    {"boardstat_packets_dropped_total", "PCI Express packets dropped by the packet engine.",
     pending::kPacketsDropped, kFullMask, 1},
};
inline constexpr size_t kEngineCountCount = std::size(kEngineCounts);

/// A register whose value names one state of a fixed list: one series per state.
struct StateSetMetric {
  std::string_view name;
  std::string_view help;
  uint32_t reg;
  const std::string_view* states;
  size_t state_count;
};

template <size_t N>
constexpr StateSetMetric state_set(std::string_view name, std::string_view help, uint32_t reg,
                                   const std::string_view (&states)[N]) {
  return {name, help, reg, states, N};
}

inline constexpr StateSetMetric kStateSets[] = {
    state_set("boardstat_acquisition_run_level", "Run level of the acquisition engine.",
              pending::kAcquisitionRunLevel, pending::kAcquisitionRunLevelTexts),
    state_set("boardstat_acquisition_state", "Axis the acquisition engine is working on.",
              pending::kAcquisitionState, pending::kAcquisitionStateTexts),
    state_set("boardstat_buffer_run_level", "Run level of the buffer manager.",
              pending::kBufferRunLevel, pending::kBufferRunLevelTexts),
    state_set("boardstat_buffer_state", "Descriptor state of the buffer manager.",
              pending::kBufferState, pending::kBufferStateTexts),
    state_set("boardstat_packet_state", "Packet state of the packet engine.", pending::kPacketState,
              pending::kPacketStateTexts),
    state_set("boardstat_sequencer_run_level", "Run level of the timing sequencer.",
              pending::kSequencerRunLevel, pending::kSequencerRunLevelTexts),
};
inline constexpr size_t kStateSetCount = std::size(kStateSets);

/// A set of flag registers: one 0/1 series per flag.
struct FlagMetric {
  std::string_view name;
  std::string_view help;
  const Flag* flags;
  size_t flag_count;
};

template <size_t N>
constexpr FlagMetric flag_set(std::string_view name, std::string_view help,
                              const Flag (&flags)[N]) {
  return {name, help, flags, N};
}

inline constexpr FlagMetric kFlagSets[] = {
    flag_set("boardstat_acquisition_error", "Error latch of the acquisition engine (1: set).",
             pending::kAcquisitionErrors),
    flag_set("boardstat_buffer_error", "Error latch of the buffer manager (1: set).",
             pending::kBufferErrors),
    flag_set("boardstat_packet_error", "Error latch of the packet engine (1: set).",
             pending::kPacketErrors),
    flag_set("boardstat_packet_control", "Control flag of the packet engine (1: set).",
             pending::kPacketFlags),
};
inline constexpr size_t kFlagSetCount = std::size(kFlagSets);

/// From a probe count to the figure's base unit: count x multiplier / divisor (a divisor, so
/// that 250 counts of 100 ns give 2.5e-05 s exactly as written).
struct ProbeScale {
  double multiplier;
  double divisor;
};

/// One rate probe figure: its family (several figures may share one, told apart by a label),
/// its probe set-up and the scale from the count to the base unit.
struct ProbeFigure {
  std::string_view id;  // the `measurement` label of its timestamp
  std::string_view family;
  std::string_view help;
  std::string_view label_name;  // empty: the family has one figure
  std::string_view label_value;
  RateProbeSetup setup;
  ProbeScale scale;
  bool basic;
};

namespace probe_scale {
inline constexpr ProbeScale kPerSecond{1.0 / pending::kRateWindowSeconds, 1.0};
inline constexpr ProbeScale kBytesPerSecond{
    pending::kBytesPerTransfer / pending::kRateWindowSeconds, 1.0};
inline constexpr ProbeScale kSeconds{1.0, pending::kReferenceCountsPerSecond};
inline constexpr ProbeScale kCount{1.0, 1.0};
}  // namespace probe_scale

// Figures of one family stand together; the basic ones come first, so a basic run measures
// them first.
inline constexpr ProbeFigure kProbeFigures[] = {
    {"camera_clock", "boardstat_probe_camera_clock_hertz", "Camera Link pixel clock.", "", "",
     pending::rate_window(pending::kCameraClock), probe_scale::kPerSecond, true},
    {"frame_rate", "boardstat_probe_frame_rate_hertz", "Frames a second.", "", "",
     pending::rate_window(pending::kFrameSignal), probe_scale::kPerSecond, true},
    {"line_rate", "boardstat_probe_line_rate_hertz", "Lines a second.", "", "",
     pending::rate_window(pending::kLine), probe_scale::kPerSecond, true},
    {"trigger_rate", "boardstat_probe_trigger_rate_hertz", "Triggers a second.", "", "",
     pending::rate_window(pending::kTrigger), probe_scale::kPerSecond, false},
    {"encoder_a_rate", "boardstat_probe_encoder_rate_hertz", "Encoder edges a second.", "encoder",
     "A", pending::rate_window(pending::kEncoderA), probe_scale::kPerSecond, false},
    {"encoder_b_rate", "boardstat_probe_encoder_rate_hertz", "Encoder edges a second.", "encoder",
     "B", pending::rate_window(pending::kEncoderB), probe_scale::kPerSecond, false},
    {"cc1_rate", "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "1",
     pending::rate_window(pending::kCc1), probe_scale::kPerSecond, false},
    {"cc2_rate", "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "2",
     pending::rate_window(pending::kCc2), probe_scale::kPerSecond, false},
    {"cc3_rate", "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "3",
     pending::rate_window(pending::kCc3), probe_scale::kPerSecond, false},
    {"cc4_rate", "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "4",
     pending::rate_window(pending::kCc4), probe_scale::kPerSecond, false},
    {"cc1_width", "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "1",
     pending::interval(pending::kCc1, pending::kEdge0, pending::kCc1, pending::kEdge1,
                       pending::kTimeReference, pending::kEdge0, 0.25f),
     probe_scale::kSeconds, false},
    {"cc2_width", "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "2",
     pending::interval(pending::kCc2, pending::kEdge0, pending::kCc2, pending::kEdge1,
                       pending::kTimeReference, pending::kEdge0, 0.25f),
     probe_scale::kSeconds, false},
    {"cc3_width", "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "3",
     pending::interval(pending::kCc3, pending::kEdge0, pending::kCc3, pending::kEdge1,
                       pending::kTimeReference, pending::kEdge0, 0.25f),
     probe_scale::kSeconds, false},
    {"cc4_width", "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "4",
     pending::interval(pending::kCc4, pending::kEdge0, pending::kCc4, pending::kEdge1,
                       pending::kTimeReference, pending::kEdge0, 0.25f),
     probe_scale::kSeconds, false},
    {"pcie_transfer_rate", "boardstat_probe_pcie_transfer_bytes_per_second",
     "PCI Express bandwidth.", "", "", pending::rate_window(pending::kPcie),
     probe_scale::kBytesPerSecond, false},
    {"pcie_dropped_rate", "boardstat_probe_pcie_dropped_bytes_per_second",
     "PCI Express bandwidth dropped.", "", "", pending::rate_window(pending::kPcieDropped),
     probe_scale::kBytesPerSecond, false},
    {"interrupt_rate", "boardstat_probe_interrupt_rate_hertz", "Interrupts a second.", "", "",
     pending::rate_window(pending::kInterrupt), probe_scale::kPerSecond, false},
    {"interrupt_service", "boardstat_probe_interrupt_service_seconds", "Interrupt service time.",
     "", "",
     pending::interval(pending::kInterrupt, pending::kEdge0, pending::kInterrupt, pending::kEdge1,
                       pending::kTimeReference, pending::kEdge0),
     probe_scale::kSeconds, false},
    {"lines_per_frame", "boardstat_probe_frame_lines", "Lines of a frame.", "", "",
     pending::interval(pending::kFrameSignal, pending::kEdge0, pending::kFrameSignal,
                       pending::kEdge1, pending::kLine, pending::kEdge0),
     probe_scale::kCount, false},
    {"lines_between_frames", "boardstat_probe_frame_gap_lines", "Lines between two frames.", "", "",
     pending::interval(pending::kFrameSignal, pending::kEdge1, pending::kFrameSignal,
                       pending::kEdge0, pending::kLine, pending::kEdge0),
     probe_scale::kCount, false},
    {"clocks_between_frames", "boardstat_probe_frame_gap_clocks",
     "Camera clocks between two frames.", "", "",
     pending::interval(pending::kFrameSignal, pending::kEdge1, pending::kFrameSignal,
                       pending::kEdge0, pending::kCameraClock, pending::kGated),
     probe_scale::kCount, false},
    {"clocks_to_first_line", "boardstat_probe_first_line_clocks",
     "Camera clocks from the start of a frame to its first line.", "", "",
     pending::interval(pending::kFrameSignal, pending::kEdge0, pending::kLine, pending::kEdge0,
                       pending::kCameraClock, pending::kGated),
     probe_scale::kCount, false},
    {"clocks_per_line", "boardstat_probe_line_clocks", "Camera clocks of a line.", "", "",
     pending::interval(pending::kLine, pending::kEdge0, pending::kLine, pending::kEdge1,
                       pending::kCameraClock, pending::kEdge0),
     probe_scale::kCount, false},
    {"dval_per_line", "boardstat_probe_line_dval_clocks", "Camera clocks of a line with DVAL high.",
     "", "",
     pending::interval(pending::kLine, pending::kEdge0, pending::kLine, pending::kEdge1,
                       pending::kDval, pending::kGated),
     probe_scale::kCount, false},
    {"clocks_between_lines", "boardstat_probe_line_gap_clocks", "Camera clocks between two lines.",
     "", "",
     pending::interval(pending::kLine, pending::kEdge1, pending::kLine, pending::kEdge0,
                       pending::kCameraClock, pending::kGated),
     probe_scale::kCount, false},
    {"cc1_to_frame_latency", "boardstat_probe_cc1_to_frame_latency_seconds",
     "Time from a CC1 pulse to the start of a frame.", "", "",
     pending::interval(pending::kCc1, pending::kEdge0, pending::kFrameSignal, pending::kEdge0,
                       pending::kTimeReference, pending::kEdge0),
     probe_scale::kSeconds, false},
};
inline constexpr size_t kProbeFigureCount = std::size(kProbeFigures);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_METRIC_TABLES_H_
