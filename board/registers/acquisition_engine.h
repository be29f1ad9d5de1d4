// AcquisitionEngine: run level, the axis the engine is on, acquired counts and the four
// acquisition windows (V volumes, Z frames, Y lines, X bytes).
#ifndef BOARDSTAT_BOARD_REGISTERS_ACQUISITION_ENGINE_H_
#define BOARDSTAT_BOARD_REGISTERS_ACQUISITION_ENGINE_H_

#include "board/registers/types.h"

namespace boardstat::acquisition_engine {

inline constexpr Register kRunLevel = status(2756, "RunLevel");
inline constexpr Register kState = status(2770, "State");
inline constexpr Register kStreamSelect{2772, "StreamSelect"};

// The acquired counts keep their low 16 bits; X counts units of 16 bytes.
inline constexpr uint32_t kCountMask = 0xFFFF;
inline constexpr uint32_t kBytesPerXUnit = 16;
inline constexpr Register kVAcquired = count(1419, "V Acquired", kCountMask);
inline constexpr Register kZAcquired = count(1420, "Z Acquired", kCountMask);
inline constexpr Register kYAcquired = count(1421, "Y Acquired", kCountMask);
inline constexpr Register kXAcquired = count(1422, "X Acquired", kCountMask, kBytesPerXUnit);

inline constexpr Flag kErrorFlags[] = {{2771, "LossOfSync"}};

// A window size of 65535 volumes means no limit.
inline constexpr Register kVWindowSize{2774, "V Window Size"};
inline constexpr uint32_t kInfiniteSize = 65535;
inline constexpr std::string_view kInfiniteText = "Infinite";
inline constexpr Register kXWindowSize{2800, "X Window Size"};  // in units of 16 bytes
inline constexpr Register kXWindowOffset{2801, "X Window Offset"};

// The Z and Y windows have the same fields at the same positions.
struct AxisWindow {
  Register close_function;
  Register close_select;
  Register close_condition;
  Register open_select;
  Register open_function;
  Register open_condition;
  Register sync;
  Register size;
  Register offset;
  std::string_view sync_text;  // shown when the sync register reads exactly 1
};
inline constexpr std::string_view kNoSyncText = "NoSync";

inline constexpr AxisWindow kZWindow{
    {2775, "Z TrigCloseFunction"},      {2776, "Z TrigCloseSelect"},
    {2777, "Z Window Close Condition"}, {2778, "Z TrigOpenSelect"},
    {2779, "Z TrigOpenFunction"},       {2780, "Z Window Open Condition"},
    {2781, "Z Window Synchronization"}, {2782, "Z Window Size"},
    {2783, "Z Window Offset"},          "Frame",
};
inline constexpr AxisWindow kYWindow{
    {2789, "Y TrigCloseFunction"},      {2790, "Y TrigCloseSelect"},
    {2791, "Y Window Close Condition"}, {2792, "Y TrigOpenSelect"},
    {2793, "Y TrigOpenFunction"},       {2794, "Y Window Open Condition"},
    {2795, "Y Window Synchronization"}, {2796, "Y Window Size"},
    {2797, "Y Window Offset"},          "Line",
};

inline constexpr std::string_view kRunLevelTexts[] = {"IDLE",    "RUN",     "ABORT_V",
                                                      "ABORT_Z", "ABORT_Y", "ABORT_X"};
inline constexpr std::string_view kStateTexts[] = {"IDLE", "V", "Z", "Y", "X"};
inline constexpr std::string_view kOpenConditionTexts[] = {"ASAP", "Trigger"};
inline constexpr std::string_view kCloseConditionTexts[] = {"WinSize", "Trigger"};
inline constexpr std::string_view kTriggerFunctionTexts[] = {"Rise", "Fall", "High", "Low", "Tog"};
inline constexpr Enumeration kRunLevelText = make_enumeration(kRunLevelTexts, kQuestionMarks);
inline constexpr Enumeration kStateText = make_enumeration(kStateTexts, kQuestionMarks);
inline constexpr Enumeration kOpenConditionText =
    make_enumeration(kOpenConditionTexts, kQuestionMarks);
inline constexpr Enumeration kCloseConditionText =
    make_enumeration(kCloseConditionTexts, kQuestionMarks);
inline constexpr Enumeration kTriggerFunctionText =
    make_enumeration(kTriggerFunctionTexts, kQuestionMarks);

/// Every register the panel reads but its flags, in a readable order.
inline constexpr Register kRegisters[] = {
    kRunLevel,
    kState,
    kStreamSelect,
    kVAcquired,
    kZAcquired,
    kYAcquired,
    kXAcquired,
    kVWindowSize,
    kXWindowSize,
    kXWindowOffset,
    kZWindow.close_function,
    kZWindow.close_select,
    kZWindow.close_condition,
    kZWindow.open_select,
    kZWindow.open_function,
    kZWindow.open_condition,
    kZWindow.sync,
    kZWindow.size,
    kZWindow.offset,
    kYWindow.close_function,
    kYWindow.close_select,
    kYWindow.close_condition,
    kYWindow.open_select,
    kYWindow.open_function,
    kYWindow.open_condition,
    kYWindow.sync,
    kYWindow.size,
    kYWindow.offset,
};

}  // namespace boardstat::acquisition_engine

#endif  // BOARDSTAT_BOARD_REGISTERS_ACQUISITION_ENGINE_H_
