// The process's own figures for the process_* metrics, read from the system: one source file
// per platform (process_figures_linux.cc; elsewhere process_figures_none.cc gives none).
#ifndef BOARDSTAT_EXPORTER_PROCESS_FIGURES_H_
#define BOARDSTAT_EXPORTER_PROCESS_FIGURES_H_

#include <optional>

namespace boardstat {

struct ProcessFigures {
  double cpu_seconds = 0;  // user and system
  double resident_bytes = 0;
  double virtual_bytes = 0;
  double open_fds = 0;
  double max_fds = 0;
  double start_time_seconds = 0;  // since 1970
};

/// The figures now, or nothing where the platform has no way to read them.
std::optional<ProcessFigures> read_process_figures();

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_PROCESS_FIGURES_H_
