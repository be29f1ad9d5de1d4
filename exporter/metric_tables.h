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
#include "board/registers/acquisition_engine.h"
#include "board/registers/buffer_manager.h"
#include "board/registers/packet_engine.h"
#include "board/registers/rate_probe.h"
#include "board/registers/system_probe.h"
#include "board/registers/timing_sequencer.h"
#include "board/registers/types.h"

namespace boardstat {

/// A count register exposed as a counter; the register says which bits count and what one
/// count is worth.
struct CounterMetric {
  std::string_view name;
  std::string_view help;
  Register reg;
};

/// The acquired counts: cleared together, 16 bits each.
inline constexpr CounterMetric kAcquiredCounts[] = {
    {"boardstat_acquired_volumes_total", "Volumes acquired (V).", acquisition_engine::kVAcquired},
    {"boardstat_acquired_frames_total", "Frames acquired (Z).", acquisition_engine::kZAcquired},
    {"boardstat_acquired_lines_total", "Lines acquired (Y).", acquisition_engine::kYAcquired},
    {"boardstat_acquired_bytes_total",
     "Bytes acquired (X). Over a gap in the readings in which X may have passed its 16-bit top "
     "unseen, its whole wraps are estimated from its rate and the slower counts: exact while "
     "its rate holds, else off by whole 1 MiB wraps.",
     acquisition_engine::kXAcquired},
};
inline constexpr size_t kAcquiredCountCount = std::size(kAcquiredCounts);

/// The buffer manager's and packet engine's 32-bit counts, each on its own.
inline constexpr CounterMetric kEngineCounts[] = {
    {"boardstat_buffer_qtabs_loaded_total", "QTabs loaded by the buffer manager.",
     buffer_manager::kQTabsLoaded},
    {"boardstat_buffer_qtabs_used_total", "QTabs used by the buffer manager.",
     buffer_manager::kQTabsUsed},
    {"boardstat_buffer_quads_loaded_total", "Quads loaded by the buffer manager.",
     buffer_manager::kQuadsLoaded},
    {"boardstat_buffer_quads_used_total", "Quads used by the buffer manager.",
     buffer_manager::kQuadsUsed},
    {"boardstat_packets_sent_total", "PCI Express packets sent by the packet engine.",
     packet_engine::kPacketsSent},
    {"boardstat_packets_dropped_total", "PCI Express packets dropped by the packet engine.",
     packet_engine::kPacketsDropped},
};
inline constexpr size_t kEngineCountCount = std::size(kEngineCounts);

constexpr bool all_counts(const CounterMetric* metrics, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (metrics[i].reg.kind != RegisterKind::kCount) return false;
  }
  return true;
}
static_assert(all_counts(kAcquiredCounts, kAcquiredCountCount) &&
                  all_counts(kEngineCounts, kEngineCountCount),
              "a counter metric reads a register that does not count");

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
              acquisition_engine::kRunLevel, acquisition_engine::kRunLevelTexts),
    state_set("boardstat_acquisition_state", "Axis the acquisition engine is working on.",
              acquisition_engine::kState, acquisition_engine::kStateTexts),
    state_set("boardstat_buffer_run_level", "Run level of the buffer manager.",
              buffer_manager::kRunLevel, buffer_manager::kRunLevelTexts),
    state_set("boardstat_buffer_state", "Descriptor state of the buffer manager.",
              buffer_manager::kState, buffer_manager::kStateTexts),
    state_set("boardstat_packet_state", "Packet state of the packet engine.", packet_engine::kState,
              packet_engine::kStateTexts),
    state_set("boardstat_sequencer_run_level", "Run level of the timing sequencer.",
              timing_sequencer::kRunLevel, timing_sequencer::kRunLevelTexts),
};
inline constexpr size_t kStateSetCount = std::size(kStateSets);

/// A set of flag registers: one 0/1 series per flag.
struct FlagMetric {
  std::string_view name;
  std::string_view help;
  std::string_view latch_panel;  // the panel whose Errors line shows them; empty: not latches
  const Flag* flags;
  size_t flag_count;
};

template <size_t N>
constexpr FlagMetric flag_set(std::string_view name, std::string_view help,
                              std::string_view latch_panel, const Flag (&flags)[N]) {
  return {name, help, latch_panel, flags, N};
}

inline constexpr FlagMetric kFlagSets[] = {
    flag_set("boardstat_acquisition_error", "Error latch of the acquisition engine (1: set).",
             "AcquisitionEngine", acquisition_engine::kErrorFlags),
    flag_set("boardstat_buffer_error", "Error latch of the buffer manager (1: set).",
             "BufferManager", buffer_manager::kErrorFlags),
    flag_set("boardstat_packet_error", "Error latch of the packet engine (1: set).", "PacketEngine",
             packet_engine::kErrorFlags),
    flag_set("boardstat_packet_control", "Control flag of the packet engine (1: set).", "",
             packet_engine::kControlFlags),
};
inline constexpr size_t kFlagSetCount = std::size(kFlagSets);

/// One rate probe figure: a measurement of the SystemProbe list, the metric family it goes to
/// (several figures may share one, told apart by a label) and its base unit.
struct ProbeFigure {
  size_t measurement;  // position in system_probe::kMeasurements
  std::string_view family;
  std::string_view help;
  std::string_view label_name;  // empty: the family has one figure
  std::string_view label_value;
  bool basic;
};

// Figures of one family stand together; the basic ones come first, so a basic round measures
// them first.
inline constexpr ProbeFigure kProbeFigures[] = {
    {0, "boardstat_probe_camera_clock_hertz", "Camera Link pixel clock.", "", "", true},
    {1, "boardstat_probe_frame_rate_hertz", "Frames a second.", "", "", true},
    {2, "boardstat_probe_line_rate_hertz",
     "Lines the camera sends a second, the lines between frames included.", "", "", true},
    {3, "boardstat_probe_trigger_rate_hertz", "Triggers a second.", "", "", false},
    {4, "boardstat_probe_encoder_rate_hertz", "Encoder edges a second.", "encoder", "A", false},
    {5, "boardstat_probe_encoder_rate_hertz", "Encoder edges a second.", "encoder", "B", false},
    {6, "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "1", false},
    {8, "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "2", false},
    {10, "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "3", false},
    {12, "boardstat_probe_cc_rate_hertz", "Camera control pulses a second.", "cc", "4", false},
    {7, "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "1", false},
    {9, "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "2", false},
    {11, "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "3", false},
    {13, "boardstat_probe_cc_width_seconds", "Camera control pulse width.", "cc", "4", false},
    {14, "boardstat_probe_pcie_transfer_bytes_per_second", "PCI Express bandwidth.", "", "", false},
    {15, "boardstat_probe_pcie_dropped_bytes_per_second", "PCI Express bandwidth dropped.", "", "",
     false},
    {16, "boardstat_probe_interrupt_rate_hertz", "Interrupts a second.", "", "", false},
    {17, "boardstat_probe_interrupt_service_seconds", "Interrupt service time.", "", "", false},
    {18, "boardstat_probe_frame_lines", "Lines of a frame.", "", "", false},
    {19, "boardstat_probe_frame_gap_lines", "Lines between two frames.", "", "", false},
    {20, "boardstat_probe_frame_gap_clocks", "Camera clocks between two frames.", "", "", false},
    {21, "boardstat_probe_first_line_clocks",
     "Camera clocks from the start of a frame to its first line.", "", "", false},
    {22, "boardstat_probe_line_clocks", "Camera clocks of a line.", "", "", false},
    {23, "boardstat_probe_line_dval_clocks", "Camera clocks of a line with DVAL high.", "", "",
     false},
    {24, "boardstat_probe_line_gap_clocks", "Camera clocks between two lines.", "", "", false},
    {25, "boardstat_probe_cc1_to_frame_latency_seconds",
     "Time from a CC1 pulse to the start of a frame.", "", "", false},
};
inline constexpr size_t kProbeFigureCount = std::size(kProbeFigures);

/// Probe rounds given up because a console or a snapshot held the VFG's lock.
inline constexpr std::string_view kSkippedProbeRounds = "boardstat_skipped_probe_rounds_total";
inline constexpr std::string_view kSkippedProbeRoundsHelp =
    "Rate probe rounds given up, from the figure at which a console or boardstat_snapshot "
    "held the VFG's lock or waited for it: people come first.";

/// The measurement behind a figure.
constexpr const system_probe::Measurement& measurement_of(const ProbeFigure& figure) {
  return system_probe::kMeasurements[figure.measurement];
}

/// A probe count in the figure's base unit: hertz, bytes per second, seconds, or the count
/// itself. In double precision from whole numbers, so that 3 frames in the 0.1 s window give
/// exactly 30 and 250 counts of 100 ns exactly 2.5e-05 s.
double probe_value(system_probe::Conversion conversion, double count);

constexpr bool ends_with(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Each family's unit must be the unit its measurement's conversion gives.
constexpr bool units_match() {
  using system_probe::Conversion;
  for (const ProbeFigure& figure : kProbeFigures) {
    if (figure.measurement >= std::size(system_probe::kMeasurements)) return false;
    const Conversion conversion = measurement_of(figure).conversion;
    const bool ok =
        (conversion == Conversion::kPerSecond || conversion == Conversion::kMegahertz)
            ? ends_with(figure.family, "_hertz")
        : conversion == Conversion::kMegabytesPerSecond
            ? ends_with(figure.family, "_bytes_per_second")
        : conversion == Conversion::kMicroseconds
            ? ends_with(figure.family, "_seconds")
            : !ends_with(figure.family, "_seconds") && !ends_with(figure.family, "_hertz");
    if (!ok) return false;
  }
  return true;
}
static_assert(units_match(), "a probe figure's family does not name its measurement's unit");

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_METRIC_TABLES_H_
