// I/O box: the raw inputs of the Torvel IO box and the routing of trigger, encoders, CC outputs
// and LED.
#ifndef BOARDSTAT_BOARD_REGISTERS_IO_BOX_H_
#define BOARDSTAT_BOARD_REGISTERS_IO_BOX_H_

#include "board/registers/types.h"

namespace boardstat::io_box {

// Raw box inputs, two registers of packed fields.
inline constexpr Register kBoxInTtlDiff = status(51, "BOX_IN TTL and DIFF");
inline constexpr Register kBoxInOpto24V = status(52, "BOX_IN OPTO and 24V");
inline constexpr Field kBoxInTtl{kBoxInTtlDiff, 0, 0xFFF, "BOX_IN_TTL[11:0]"};
inline constexpr Field kBoxInDiff{kBoxInTtlDiff, 12, 0xFFF, "BOX_IN_DIFF[11:0]"};
inline constexpr Field kBoxInOpto{kBoxInOpto24V, 0, 0xFF, "BOX_IN_OPTO[7:0]"};
inline constexpr Field kBoxIn24V{kBoxInOpto24V, 8, 0xF, "BOX_IN_24V[3:0]"};

inline constexpr Register kTriggerEnabled{2037, "Trigger Enabled"};
inline constexpr Register kTrigTtl = status(1746, "TRIG TTL");
inline constexpr Register kTrigDif = status(2023, "TRIG DIF");
inline constexpr Register kTrigVfg0 = status(2024, "TRIG VFG0");
inline constexpr Register kScanStep = status(2025, "Scan Step");
inline constexpr Register kSwTrig = status(1742, "SW Trig");
inline constexpr Register kTriggerSource{1741, "Trigger Source"};
inline constexpr Register kTriggerPolarity{1510, "Trigger Polarity"};
inline constexpr Register kTriggerLevel = status(2042, "Trigger");

inline constexpr Register kEncoderAEnabled{2038, "Encoder A Enabled"};
inline constexpr Register kEncATtl = status(2027, "ENC_A TTL");
inline constexpr Register kEncADif = status(2028, "ENC_A DIF");
inline constexpr Register kEncAVfg0 = status(2029, "ENC_A VFG0");
inline constexpr Register kSwEncoderA = status(2008, "SW Encoder A");
inline constexpr Register kEncoderASource{2043, "Encoder A Source"};
inline constexpr Register kEncoderAPolarity{2051, "Encoder A Polarity"};
inline constexpr Register kEncoderALevel = status(2041, "Encoder A");

inline constexpr Register kEncoderBEnabled{2039, "Encoder B Enabled"};
inline constexpr Register kEncBTtl = status(2031, "ENC_B TTL");
inline constexpr Register kEncBDif = status(2032, "ENC_B DIF");
inline constexpr Register kEncBVfg0 = status(2033, "ENC_B VFG0");
inline constexpr Register kSwEncoderB = status(2009, "SW Encoder B");
inline constexpr Register kEncoderBSource{2044, "Encoder B Source"};
inline constexpr Register kEncoderBPolarity{2052, "Encoder B Polarity"};
inline constexpr Register kEncoderBLevel = status(2040, "Encoder B");

inline constexpr Register kCc1Source{2045, "CC1 Source"};
inline constexpr Register kCc2Source{2046, "CC2 Source"};
inline constexpr Register kCc3Source{2048, "CC3 Source"};
inline constexpr Register kCc4Source{2049, "CC4 Source"};
inline constexpr Register kLedSource{2047, "LED Source"};

inline constexpr TwoWay kFlagText{"NO", "YES"};
inline constexpr TwoWay kLevelText{"LOW", "HIGH"};
inline constexpr TwoWay kPolarityText{"RISING", "FALLING"};

// The input source selectors of the trigger and the two encoders share one table; a few rows
// name the column's own signal.
enum InputColumn { kTriggerColumn, kEncoderAColumn, kEncoderBColumn };

struct InputSource {
  std::string_view text[3];  // by InputColumn
};

constexpr InputSource same_for_all_columns(std::string_view text) {
  return InputSource{{text, text, text}};
}

inline constexpr InputSource kInputSources[] = {
    same_for_all_columns("Forced Low"),
    same_for_all_columns("Forced High"),
    {{"This VFG's DIFF trigger", "This VFG's DIFF encoder A", "This VFG's DIFF encoder B"}},
    {{"This VFG's TTL  trigger", "This VFG's TTL  encoder A", "This VFG's TTL  encoder B"}},
    {{"Selected trigger from VFG0", "Selected encoder A from VFG0",
      "Selected encoder B from VFG0"}},
    same_for_all_columns("This VFG's Timing Sequencer Output"),
    same_for_all_columns("Button"),
    {{"Camera's CXP Trigger", "Camera's CXP trigger", "Camera's CXP trigger"}},
    {{"This VFG's software trigger", "This VFG's software encoder A",
      "This VFG's software encoder B"}},
    same_for_all_columns("This VFG's scan step circuit"),
    same_for_all_columns("VFG0's Timing sequencer output"),
};

// Past the named rows, three runs of twelve values select the box's input lines by number.
struct InputGroup {
  uint32_t first;
  std::string_view prefix;
};

inline constexpr uint32_t kInputsPerGroup = 12;
inline constexpr InputGroup kInputGroups[] = {
    {28, "BOX_IN_TTL_"},
    {40, "BOX_IN_DIF_"},
    {52, "BOX_IN_OPT_"},
};

inline constexpr std::string_view kOutputSourceTexts[] = {
    "Forced Low",    "Forced High",     "CT0",           "CT1",      "CT2",      "CT3",
    "VFGx_TRIG_SEL", "VFGx_ENCA_SEL",   "VFGx_ENCB_SEL", "VFG0_CT0", "VFG0_CT1", "VFG0_CT2",
    "VFG0_CT3",      "VFG0_ENCDIV_SEL", "VFG0_ENCQ_SEL",
};
inline constexpr Enumeration kOutputSourceText = make_enumeration(kOutputSourceTexts, kUnknown);

inline constexpr std::string_view kLedSourceTexts[] = {
    "Interrupt to host",
    "VFGx_TRIG_SEL",
    "VFG0_TRIG_SEL",
    "Button",
    "FVAL",
    "VAW",
    "VWIN",
    "CC1",
    "CC2",
    "CC3",
    "CC4",
    "VFGx_TS",
    "VFG0_TS",
    "Overstep",
};
inline constexpr Enumeration kLedSourceText = make_enumeration(kLedSourceTexts, kUnknown);

/// Every register the panel reads, in the order it reads them.
inline constexpr Register kRegisters[] = {
    kBoxInTtlDiff,     kBoxInOpto24V,    kTriggerEnabled,   kTrigTtl,       kTrigDif,
    kTrigVfg0,         kScanStep,        kSwTrig,           kTriggerSource, kTriggerPolarity,
    kTriggerLevel,     kEncoderAEnabled, kEncATtl,          kEncADif,       kEncAVfg0,
    kSwEncoderA,       kEncoderASource,  kEncoderAPolarity, kEncoderALevel, kEncoderBEnabled,
    kEncBTtl,          kEncBDif,         kEncBVfg0,         kSwEncoderB,    kEncoderBSource,
    kEncoderBPolarity, kEncoderBLevel,   kCc1Source,        kCc2Source,     kCc3Source,
    kCc4Source,        kLedSource,
};

}  // namespace boardstat::io_box

#endif  // BOARDSTAT_BOARD_REGISTERS_IO_BOX_H_
