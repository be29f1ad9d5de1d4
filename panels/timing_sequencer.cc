// TimingSequencer: run level, the default state of the four CT outputs, the trigger source,
// and the sequencer entries in use, each selected through the entry index register.
#include <iomanip>
#include <string_view>

#include "board/register_window.h"
#include "board/registers/timing_sequencer.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

using namespace timing_sequencer;

constexpr PanelFrame kFrame{"TimingSequencer", "^--------------------------", "^--------------", 1};

constexpr int kCellWidth = 12;
constexpr int kWidthHeaderWidth = 14;
constexpr std::string_view kTableRule =
    "       -------------------------------------------------------------------";

// The bits are read in order, bit 0 first; each register's whole value is shifted, unmasked.
uint32_t ct_state(KvHandle vfg, const Register (&bit_regs)[4]) {
  uint32_t state = 0;
  for (uint32_t bit = 0; bit < 4; ++bit) state |= KvRegPeek(vfg, bit_regs[bit]) << bit;
  return state;
}

float width_seconds(uint32_t count, uint32_t time_base) {
  const float factor = time_base < 3 ? kTimeBaseFactors[time_base] : kOtherTimeBaseFactor;
  return static_cast<float>(count) * kWidthCountSeconds * factor;
}

// The width in the first unit that gives a value strictly greater than 1: 14 characters with
// the unit, or "Unknown" in 12 when even nanoseconds do not exceed 1.
void width_cell(std::ostream& out, float seconds) {
  if (seconds > 1.0f) {
    out << std::setw(kCellWidth);
    write_general(out, seconds);
    out << "s ";
    return;
  }
  const double wide = seconds;
  struct Unit {
    double per_second;
    std::string_view name;
  };
  static constexpr Unit kUnits[] = {{1e3, "ms"}, {1e6, "us"}, {1e9, "ns"}};
  for (const Unit& unit : kUnits) {
    if (wide * unit.per_second > 1.0) {
      out << std::setw(kCellWidth);
      write_general(out, wide * unit.per_second);
      out << unit.name;
      return;
    }
  }
  out << std::setw(kCellWidth) << kUnknown;
}

void table_header(std::ostream& out) {
  out << std::setw(kCellWidth) << "Index" << std::setw(kCellWidth) << "State"
      << std::setw(kCellWidth) << "Condition" << std::setw(kWidthHeaderWidth) << "Width"
      << std::setw(kCellWidth) << "Flags" << std::setw(kCellWidth) << "Next";
  end_line(out);
  out << kTableRule;
  end_line(out);
}

// The row of the selected entry; its registers are read in the board's fixed order.
void entry_row(std::ostream& out, KvHandle vfg, uint32_t index) {
  const uint32_t state = ct_state(vfg, kEntryCtBits);
  const uint32_t condition = KvRegPeek(vfg, kEntryCondition);
  const uint32_t width_count = KvRegPeek(vfg, kEntryWidthCount);
  const uint32_t time_base = KvRegPeek(vfg, kEntryWidthTimeBase);
  const uint32_t eos = KvRegPeek(vfg, kEntryEosFlag);
  const uint32_t term = KvRegPeek(vfg, kEntryTermFlag);
  const uint32_t next = KvRegPeek(vfg, kEntryNext);

  out << std::setw(kCellWidth) << index << std::setw(kCellWidth) << state << std::setw(kCellWidth)
      << kConditionText(condition);
  width_cell(out, width_seconds(width_count, time_base));
  out << std::setw(kCellWidth) << kFlagsText(term | (eos << 1)) << std::setw(kCellWidth) << next;
  end_line(out);
}

}  // namespace

void draw_timing_sequencer(std::ostream& out, KvHandle vfg, int expanded) {
  out << std::right;
  if (!begin_panel(out, kFrame, expanded)) return;

  value_line(out, "RunLevel", kRunLevelText(KvRegPeek(vfg, kRunLevel)));
  write_label(out, "CT default state");
  out << "0x";
  write_hex(out, ct_state(vfg, kCtDefaultBits));
  end_line(out);
  value_line(out, "Trigger", kTriggerText(KvRegPeek(vfg, kTriggerSource)));
  end_line(out);

  table_header(out);
  const VfgLock window_lock(vfg, kWindowLockWait);
  for (uint32_t index = 0; index < kEntries; ++index) {
    if (select_sequencer_entry(vfg, index) == 0) continue;
    entry_row(out, vfg, index);
  }

  end_panel(out, kFrame);
}

}  // namespace boardstat
