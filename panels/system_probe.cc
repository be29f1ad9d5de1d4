// SystemProbe: live rates, widths and intervals measured with the board's rate probe, one
// measurement per line, each line on the console as soon as its measurement ends.
#include <cmath>
#include <iomanip>
#include <ios>
#include <string_view>

#include "board/rate_probe.h"
#include "board/registers/system_probe.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"
#include "panels/system_probe.h"

namespace boardstat {
namespace {

using system_probe::kPrintFixed;
using system_probe::kPrintInteger;
using system_probe::Measurement;

constexpr PanelFrame kFrame{"SystemProbe", "--------^------------------", "--------^--", 2};

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
  for (const Measurement& m : system_probe::kMeasurements) {
    float count = 0.0f;
    const int32_t failed = run_rate_probe(vfg, m.probe, count, clock);
    const float value = failed == 0 ? system_probe::convert(m.conversion, count) : 0.0f;
    write_stat_line(out, failed, m.print_mode, m.label, value, m.units);
  }
  end_panel(out, kFrame);
}

void draw_system_probe(std::ostream& out, KvHandle vfg, int expanded) {
  draw_system_probe(out, vfg, expanded, steady_milliseconds);
}

}  // namespace boardstat
