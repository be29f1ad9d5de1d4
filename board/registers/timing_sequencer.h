// TimingSequencer: run level, the default state of the four CT outputs, the trigger source and
// the sequencer's entries, each selected through the entry index register.
#ifndef BOARDSTAT_BOARD_REGISTERS_TIMING_SEQUENCER_H_
#define BOARDSTAT_BOARD_REGISTERS_TIMING_SEQUENCER_H_

#include "board/registers/types.h"

namespace boardstat::timing_sequencer {

inline constexpr Register kRunLevel = status(2812, "RunLevel");
// The CT state is spread over four one-bit registers, bit 0 first.
inline constexpr Register kCtDefaultBits[] = {
    {2813, "CT default bit 0"},
    {2814, "CT default bit 1"},
    {2815, "CT default bit 2"},
    {2816, "CT default bit 3"},
};
inline constexpr Register kTriggerSource{2818, "Trigger"};

// The entry window: writing an index selects the entry the registers below read.
inline constexpr Register kEntryIndexSelect{2819, "entry index"};
inline constexpr uint32_t kEntries = 256;
inline constexpr Register kEntryInUse{1426, "entry in use"};
inline constexpr Register kEntryCtBits[] = {
    {2822, "State bit 0"},
    {2823, "State bit 1"},
    {2824, "State bit 2"},
    {2825, "State bit 3"},
};
inline constexpr Register kEntryCondition{2827, "Condition"};
inline constexpr Register kEntryWidthCount{2826, "Width count"};
inline constexpr Register kEntryWidthTimeBase{2821, "Width time base"};
inline constexpr Register kEntryEosFlag{2829, "EOS flag"};    // bit 1 of the flags
inline constexpr Register kEntryTermFlag{2828, "TERM flag"};  // bit 0 of the flags
inline constexpr Register kEntryNext{2820, "Next"};

inline constexpr std::string_view kRunLevelTexts[] = {"IDLE", "RUN", "JUMP", "ABORT_EOS",
                                                      "ABORT_NOW"};
inline constexpr std::string_view kTriggerTexts[] = {"TRIG", "ENC_A", "ENC_B", "ENC_Q"};
inline constexpr std::string_view kConditionTexts[] = {"IMMEDIATE", "RISE", "FALL",
                                                       "HIGH",      "LOW ", "TOG "};
inline constexpr std::string_view kFlagsTexts[] = {"", "{TERM}", "{EOS}", "{EOS,TERM}"};
inline constexpr Enumeration kRunLevelText = make_enumeration(kRunLevelTexts, kUnknown);
inline constexpr Enumeration kTriggerText = make_enumeration(kTriggerTexts, kUnknown);
inline constexpr Enumeration kConditionText = make_enumeration(kConditionTexts, kUnknown);
inline constexpr Enumeration kFlagsText = make_enumeration(kFlagsTexts, "");

// Seconds per width count for time bases 0, 1 and 2 (100 ns, 100 us, 100 ms); any other time
// base counts in 100 s.
inline constexpr float kWidthCountSeconds = 1e-7f;
inline constexpr float kTimeBaseFactors[] = {1.0f, 1000.0f, 1000000.0f};
inline constexpr float kOtherTimeBaseFactor = 1000000000.0f;

/// Every register the panel reads outside the entry window, in the order it reads them.
inline constexpr Register kRegisters[] = {
    kRunLevel,         kCtDefaultBits[0], kCtDefaultBits[1],
    kCtDefaultBits[2], kCtDefaultBits[3], kTriggerSource,
};

/// Every register of a selected entry, the in-use register first.
inline constexpr Register kEntryRegisters[] = {
    kEntryInUse,     kEntryCtBits[0], kEntryCtBits[1],  kEntryCtBits[2],
    kEntryCtBits[3], kEntryCondition, kEntryWidthCount, kEntryWidthTimeBase,
    kEntryEosFlag,   kEntryTermFlag,  kEntryNext,
};

}  // namespace boardstat::timing_sequencer

#endif  // BOARDSTAT_BOARD_REGISTERS_TIMING_SEQUENCER_H_
