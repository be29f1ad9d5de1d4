// AcquisitionEngine: run level, the axis the engine is on, acquired counts and the four
// acquisition windows (V volumes, Z frames, Y lines, X bytes), one table column per axis.
#include <initializer_list>
#include <iomanip>
#include <string>
#include <string_view>

#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"AcquistionEngine", "^--------------------------", "^---------------",
                            1};

constexpr uint32_t kRunLevel = 2756;
constexpr uint32_t kState = 2770;
constexpr uint32_t kStreamSelect = 2772;
constexpr uint32_t kLossOfSync = 2771;
constexpr uint32_t kVAcquired = 1419;
constexpr uint32_t kZAcquired = 1420;
constexpr uint32_t kYAcquired = 1421;
constexpr uint32_t kXAcquired = 1422;  // in units of 16 bytes

constexpr uint32_t kVWindowSize = 2774;
constexpr uint32_t kXWindowSize = 2800;  // in units of 16 bytes
constexpr uint32_t kXWindowOffset = 2801;

// The Z and Y windows have the same fields at the same positions.
struct AxisWindow {
  uint32_t close_function;
  uint32_t close_select;
  uint32_t close_condition;
  uint32_t open_select;
  uint32_t open_function;
  uint32_t open_condition;
  uint32_t sync;
  uint32_t size;
  uint32_t offset;
  std::string_view sync_text;  // shown when the sync register reads exactly 1
};
constexpr AxisWindow kZWindow{2775, 2776, 2777, 2778, 2779, 2780, 2781, 2782, 2783, "Frame"};
constexpr AxisWindow kYWindow{2789, 2790, 2791, 2792, 2793, 2794, 2795, 2796, 2797, "Line"};

constexpr uint32_t kCountMask = 0xFFFF;  // the acquired counts keep their low 16 bits
constexpr uint32_t kBytesPerXUnit = 16;
constexpr uint32_t kInfiniteSize = 65535;

constexpr Flag kErrorFlags[] = {{kLossOfSync, "LossOfSync"}};

constexpr std::string_view kRunLevelTexts[] = {"IDLE",    "RUN",     "ABORT_V",
                                               "ABORT_Z", "ABORT_Y", "ABORT_X"};
constexpr std::string_view kStateTexts[] = {"IDLE", "V", "Z", "Y", "X"};
constexpr std::string_view kOpenConditionTexts[] = {"ASAP", "Trigger"};
constexpr std::string_view kCloseConditionTexts[] = {"WinSize", "Trigger"};
constexpr std::string_view kTriggerFunctionTexts[] = {"Rise", "Fall", "High", "Low", "Tog"};
constexpr Enumeration kRunLevelText = make_enumeration(kRunLevelTexts, kQuestionMarks);
constexpr Enumeration kStateText = make_enumeration(kStateTexts, kQuestionMarks);
constexpr Enumeration kOpenConditionText = make_enumeration(kOpenConditionTexts, kQuestionMarks);
constexpr Enumeration kCloseConditionText = make_enumeration(kCloseConditionTexts, kQuestionMarks);
constexpr Enumeration kTriggerFunctionText =
    make_enumeration(kTriggerFunctionTexts, kQuestionMarks);

constexpr int kCellWidth = 12;
constexpr std::string_view kHeaderIndent = "                            ";  // a label's width
constexpr std::string_view kTableRule =
    "                          --------------------------------------------------";

uint32_t count(KvHandle vfg, uint32_t reg) {
  return KvRegPeek(vfg, reg) & kCountMask;
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
  return std::string(KvRegPeek(vfg, window.sync) == 1 ? window.sync_text : "NoSync");
}

std::string v_window_size(KvHandle vfg) {
  const uint32_t size = KvRegPeek(vfg, kVWindowSize);
  return size == kInfiniteSize ? "Infinite" : number(size);
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
  value_line(out, "V Acquired", count(vfg, kVAcquired));
  value_line(out, "Z Acquired", count(vfg, kZAcquired));
  value_line(out, "Y Acquired", count(vfg, kYAcquired));
  value_line(out, "X Acquired (bytes)", count(vfg, kXAcquired) * kBytesPerXUnit);
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
