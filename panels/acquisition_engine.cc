// AcquisitionEngine: run level, the axis the engine is on, acquired counts and the four
// acquisition windows (V volumes, Z frames, Y lines, X bytes), one table column per axis.
#include <initializer_list>
#include <iomanip>
#include <string>
#include <string_view>

#include "board/registers/acquisition_engine.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

using namespace acquisition_engine;

constexpr PanelFrame kFrame{"AcquistionEngine", "^--------------------------", "^---------------",
                            1};

constexpr int kCellWidth = 12;
constexpr std::string_view kHeaderIndent = "                            ";  // a label's width
constexpr std::string_view kTableRule =
    "                          --------------------------------------------------";

// An acquired count as the screen shows it: its counting bits, in its own units.
uint32_t acquired(KvHandle vfg, const Register& counter) {
  return (KvRegPeek(vfg, counter) & counter.count_mask) * counter.count_unit;
}

std::string number(uint32_t value) {
  return std::to_string(value);
}

std::string read_number(KvHandle vfg, uint32_t reg) {
  return number(KvRegPeek(vfg, reg));
}

std::string read_text(KvHandle vfg, uint32_t reg, const Enumeration& texts) {
  return std::string(texts(KvRegPeek(vfg, reg)));
}

std::string sync_text(KvHandle vfg, const AxisWindow& window) {
  return std::string(KvRegPeek(vfg, window.sync) == 1 ? window.sync_text : kNoSyncText);
}

std::string v_window_size(KvHandle vfg) {
  const uint32_t size = KvRegPeek(vfg, kVWindowSize);
  return size == kInfiniteSize ? std::string(kInfiniteText) : number(size);
}

// The cells are given in column order V, Z, Y, X; a braced list evaluates, and so reads, them
// in that order.
void cells(std::ostream& out, std::initializer_list<std::string> texts) {
  for (const std::string& text : texts) out << std::setw(kCellWidth) << text;
  end_line(out);
}

void window_row(std::ostream& out, std::string_view name,
                std::initializer_list<std::string> texts) {
  write_label(out, name);
  cells(out, texts);
}

}  // namespace

void draw_acquisition_engine(std::ostream& out, KvHandle vfg, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;

  value_line(out, "RunLevel", kRunLevelText(KvRegPeek(vfg, kRunLevel)));
  value_line(out, "State", kStateText(KvRegPeek(vfg, kState)));
  value_line(out, "StreamSelect", KvRegPeek(vfg, kStreamSelect));
  flag_set_line(out, vfg, "Errors", kErrorFlags);
  value_line(out, "V Acquired", acquired(vfg, kVAcquired));
  value_line(out, "Z Acquired", acquired(vfg, kZAcquired));
  value_line(out, "Y Acquired", acquired(vfg, kYAcquired));
  value_line(out, "X Acquired (bytes)", acquired(vfg, kXAcquired));
  end_line(out);

  out << kHeaderIndent;
  cells(out, {"V Window", "Z Window", "Y Window", "X Window"});
  out << kTableRule;
  end_line(out);
  window_row(out, "Window Size",
             {v_window_size(vfg), read_number(vfg, kZWindow.size), read_number(vfg, kYWindow.size),
              number(KvRegPeek(vfg, kXWindowSize) * kBytesPerXUnit)});
  window_row(out, "Window Units", {"Volumes", "Frames", "Lines", "Bytes"});
  window_row(out, "Window Offset",
             {"-", read_number(vfg, kZWindow.offset), read_number(vfg, kYWindow.offset),
              read_number(vfg, kXWindowOffset)});
  window_row(out, "Window Synchronization",
             {"-", sync_text(vfg, kZWindow), sync_text(vfg, kYWindow), "-"});
  window_row(out, "Window Open Condition",
             {"ASAP", read_text(vfg, kZWindow.open_condition, kOpenConditionText),
              read_text(vfg, kYWindow.open_condition, kOpenConditionText), "ASAP"});
  window_row(
      out, "TrigOpenSelect",
      {"-", read_number(vfg, kZWindow.open_select), read_number(vfg, kYWindow.open_select), "-"});
  window_row(out, "TrigOpenFunction",
             {"-", read_text(vfg, kZWindow.open_function, kTriggerFunctionText),
              read_text(vfg, kYWindow.open_function, kTriggerFunctionText), "-"});
  window_row(out, "Window Close Condition",
             {"WinSize", read_text(vfg, kZWindow.close_condition, kCloseConditionText),
              read_text(vfg, kYWindow.close_condition, kCloseConditionText), "WinSize"});
  window_row(
      out, "TrigCloseSelect",
      {"-", read_number(vfg, kZWindow.close_select), read_number(vfg, kYWindow.close_select), "-"});
  window_row(out, "TrigCloseFunction",
             {"-", read_text(vfg, kZWindow.close_function, kTriggerFunctionText),
              read_text(vfg, kYWindow.close_function, kTriggerFunctionText), "-"});

  end_panel(out, kFrame);
}

}  // namespace boardstat
