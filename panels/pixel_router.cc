// PixelRouter: how camera taps are routed onto the output banks. The router's tables sit
// behind one indexed window; the bank table is scanned on every redraw, collapsed or not, to
// learn which taps are in use, and only the entries of taps in use are read.
#include <iomanip>
#include <string_view>

#include "board/register_window.h"
#include "board/registers/pixel_router.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

using namespace pixel_router;

constexpr PanelFrame kFrame{"PixelRouter", "-----^---------------------", "-----^-----", 2};

constexpr int kCellWidth = 8;
constexpr int kHeaderWordWidth = 7;

constexpr std::string_view kTapRule =
    "----------------------------------------------------------------------------------------";
constexpr std::string_view kBankRule =
    "------------------------------------------------------------------------";
constexpr std::string_view kRowIndent = "        ";

uint32_t router_entry(KvHandle vfg, uint32_t table, int column, int row) {
  return read_router_entry(vfg, table, static_cast<uint32_t>(column), static_cast<uint32_t>(row));
}

// Which taps some bank takes, at any cycle and at each of the cycles the tap cycle table shows.
// Bank entries naming taps 10 to 15 have no tap column and mark nothing.
struct TapMarks {
  bool in_use[kTaps] = {};
  bool at_cycle[kTapCycles][kTaps] = {};
};

TapMarks scan_bank_table(KvHandle vfg) {
  TapMarks marks;
  for (int cycle = 0; cycle < kBankCycles; ++cycle) {
    for (int bank = 0; bank < kBanks; ++bank) {
      const uint32_t entry = router_entry(vfg, kBankTable, bank, cycle);
      if (entry < kBankEntryUsed) continue;
      const uint32_t tap = kBankEntryTap.extract(entry);
      if (tap >= kTaps) continue;
      marks.in_use[tap] = true;
      if (cycle < kTapCycles) marks.at_cycle[cycle][tap] = true;
    }
  }
  return marks;
}

void line(std::ostream& out, std::string_view text) {
  out << text;
  end_line(out);
}

void dash_cell(std::ostream& out) {
  out << std::setw(kCellWidth) << "-";
}

void number_cell(std::ostream& out, uint32_t value) {
  out << std::setw(kCellWidth) << value;
}

void header(std::ostream& out, const char* word, int count) {
  out << kRowIndent;
  for (int i = 0; i < count; ++i) out << std::setw(kHeaderWordWidth) << word << i;
  end_line(out);
}

// A row of ten tap cells from `table` at `row`; taps that are not marked are never read.
void tap_row(std::ostream& out, KvHandle vfg, const bool (&marked)[kTaps], uint32_t table,
             int row) {
  for (int tap = 0; tap < kTaps; ++tap) {
    if (marked[tap]) {
      number_cell(out, router_entry(vfg, table, tap, row));
    } else {
      dash_cell(out);
    }
  }
  end_line(out);
}

void bank_row(std::ostream& out, KvHandle vfg, int cycle) {
  out << "Cycle " << cycle << ' ';
  for (int bank = 0; bank < kBanks; ++bank) {
    const uint32_t entry = router_entry(vfg, kBankTable, bank, cycle);
    if (entry >= kBankEntryUsed) {
      number_cell(out, kBankEntryTap.extract(entry));
    } else {
      dash_cell(out);
    }
  }
  end_line(out);
}

}  // namespace

void draw_pixel_router(std::ostream& out, KvHandle vfg, int expanded) {
  const VfgLock window_lock(vfg, kWindowLockWait);
  const TapMarks marks = scan_bank_table(vfg);
  if (!begin_panel(out, kFrame, expanded)) return;

  value_line(out, "Output Pixel Depth", kDepthText(KvRegPeek(vfg, kOutputPixelDepth)));
  end_line(out);

  line(out, kTapRule);
  header(out, "Tap", kTaps);
  line(out, kTapRule);
  out << "Start   ";
  tap_row(out, vfg, marks.in_use, kTapStartTable, 0);
  out << "Step    ";
  tap_row(out, vfg, marks.in_use, kTapStepTable, 0);
  end_line(out);

  line(out, kTapRule);
  header(out, "Tap", kTaps);
  line(out, kTapRule);
  for (int cycle = 0; cycle < kTapCycles; ++cycle) {
    out << "Cycle " << cycle << ' ';
    tap_row(out, vfg, marks.at_cycle[cycle], kTapCycleTable, cycle);
  }
  end_line(out);

  line(out, kBankRule);
  header(out, "Bank", kBanks);
  line(out, kBankRule);
  for (int cycle = 0; cycle < kBankCycles; ++cycle) bank_row(out, vfg, cycle);

  end_panel(out, kFrame);
}

}  // namespace boardstat
