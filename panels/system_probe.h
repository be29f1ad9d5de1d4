// The SystemProbe panel's pieces beyond its plain draw function: the panel with the clock its
// probe waits on (a test or a fuzzer gives it a clock whose time-outs cost nothing) and the
// printer of one stat line.
#ifndef BOARDSTAT_PANELS_SYSTEM_PROBE_H_
#define BOARDSTAT_PANELS_SYSTEM_PROBE_H_

#include <stdint.h>

#include <ostream>
#include <string_view>

#include "board/board_access.h"
#include "board/rate_probe.h"

namespace boardstat {

/// The panel, with every measurement waiting on `clock`.
void draw_system_probe(std::ostream& out, KvHandle vfg, int expanded, MillisecondClock clock);

/// One stat line: "Unknown" when `failed` is non-zero, else the value as `print_mode` says
/// (1 whole number, 2 fixed with 2 decimals; any other mode prints nothing).
void write_stat_line(std::ostream& out, int32_t failed, int print_mode, std::string_view label,
                     float value, std::string_view units);

}  // namespace boardstat

#endif  // BOARDSTAT_PANELS_SYSTEM_PROBE_H_
