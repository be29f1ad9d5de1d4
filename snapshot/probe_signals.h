// Turning the SystemProbe figures back into the probe signals that give them.
#ifndef BOARDSTAT_SNAPSHOT_PROBE_SIGNALS_H_
#define BOARDSTAT_SNAPSHOT_PROBE_SIGNALS_H_

#include <stdint.h>

#include <array>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "board/board_access.h"
#include "board/registers/system_probe.h"

namespace boardstat::snapshot {

/// The count of each SystemProbe measurement, in the panel's order; empty when it timed out.
using ProbeCounts = std::array<std::optional<float>, std::size(system_probe::kMeasurements)>;

/// A periodic probe signal in whole picoseconds, as the description's `signal` statement says.
struct ProbeSignal {
  uint32_t number;
  uint64_t period_ps;
  uint64_t high_ps;
  uint64_t phase_ps;
  std::string comment;
};

/// Runs the 26 measurements on `vfg` with the rate probe, as the panel does.
ProbeCounts measure(KvHandle vfg);

/// The signals that give these counts again, in signal number order. A signal whose figures
/// do not fix its period is left out.
std::vector<ProbeSignal> signals_from_counts(const ProbeCounts& counts);

}  // namespace boardstat::snapshot

#endif  // BOARDSTAT_SNAPSHOT_PROBE_SIGNALS_H_
