// I/O box: the raw inputs of the Torvel IO box and the routing of trigger, encoders, CC outputs and
// LED.
#include <iterator>
#include <string_view>

#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"IO", "^--------------------------", "^-", 1};
constexpr std::string_view kRule = "--------------------------";

// Raw box inputs: 51 holds TTL in bits 0-11 and DIFF in bits 12-23; 52 holds OPTO in bits 0-7
// and 24V in bits 8-11.
constexpr uint32_t kBoxInTtlDiff = 51;
constexpr uint32_t kBoxInOpto24V = 52;

constexpr uint32_t kTriggerEnabled = 2037;
constexpr uint32_t kTrigTtl = 1746;
constexpr uint32_t kTrigDif = 2023;
constexpr uint32_t kTrigVfg0 = 2024;
constexpr uint32_t kScanStep = 2025;
constexpr uint32_t kSwTrig = 1742;
constexpr uint32_t kTriggerSource = 1741;
constexpr uint32_t kTriggerPolarity = 1510;
constexpr uint32_t kTriggerLevel = 2042;

constexpr uint32_t kEncoderAEnabled = 2038;
constexpr uint32_t kEncATtl = 2027;
constexpr uint32_t kEncADif = 2028;
constexpr uint32_t kEncAVfg0 = 2029;
constexpr uint32_t kSwEncoderA = 2008;
constexpr uint32_t kEncoderASource = 2043;
constexpr uint32_t kEncoderAPolarity = 2051;
constexpr uint32_t kEncoderALevel = 2041;

constexpr uint32_t kEncoderBEnabled = 2039;
constexpr uint32_t kEncBTtl = 2031;
constexpr uint32_t kEncBDif = 2032;
constexpr uint32_t kEncBVfg0 = 2033;
constexpr uint32_t kSwEncoderB = 2009;
constexpr uint32_t kEncoderBSource = 2044;
constexpr uint32_t kEncoderBPolarity = 2052;
constexpr uint32_t kEncoderBLevel = 2040;

constexpr uint32_t kCc1Source = 2045;
constexpr uint32_t kCc2Source = 2046;
constexpr uint32_t kCc3Source = 2048;
constexpr uint32_t kCc4Source = 2049;
constexpr uint32_t kLedSource = 2047;

constexpr TwoWay kFlag{"NO", "YES"};
constexpr TwoWay kLevel{"LOW", "HIGH"};
constexpr TwoWay kPolarity{"RISING", "FALLING"};

// The input source selectors of the trigger and the two encoders share one table; a few rows
// name the column's own signal.
enum InputColumn { kTriggerColumn, kEncoderAColumn, kEncoderBColumn };

struct InputSource {
  std::string_view text[3];  // by InputColumn
};

constexpr InputSource same(std::string_view text) {
  return InputSource{{text, text, text}};
}

constexpr InputSource kInputSources[] = {
    same("Forced Low"),
    same("Forced High"),
    {{"This VFG's DIFF trigger", "This VFG's DIFF encoder A", "This VFG's DIFF encoder B"}},
    {{"This VFG's TTL  trigger", "This VFG's TTL  encoder A", "This VFG's TTL  encoder B"}},
    {{"Selected trigger from VFG0", "Selected encoder A from VFG0",
      "Selected encoder B from VFG0"}},
    same("This VFG's Timing Sequencer Output"),
    same("Button"),
    {{"Camera's CXP Trigger", "Camera's CXP trigger", "Camera's CXP trigger"}},
    {{"This VFG's software trigger", "This VFG's software encoder A",
      "This VFG's software encoder B"}},
    same("This VFG's scan step circuit"),
    same("VFG0's Timing sequencer output"),
};

// Past the named rows, three runs of twelve values select the box's input lines by number.
struct InputGroup {
  uint32_t first;
  std::string_view prefix;
};

constexpr uint32_t kInputsPerGroup = 12;
constexpr InputGroup kInputGroups[] = {
    {28, "BOX_IN_TTL_"},
    {40, "BOX_IN_DIF_"},
    {52, "BOX_IN_OPT_"},
};

// The value line of an input source selector, written straight to the stream: a named row, a
// box input line by its number, or "Unknown".
void input_source_line(std::ostream& out, std::string_view name, uint32_t value,
                       InputColumn column) {
  write_label(out, name);
  if (value < std::size(kInputSources)) {
    out << kInputSources[value].text[column];
  } else {
    std::string_view text = kUnknown;
    for (const InputGroup& group : kInputGroups) {
      const uint32_t number = value - group.first;  // wraps for values below the group
      if (number < kInputsPerGroup) {
        out << group.prefix << number;
        text = {};
        break;
      }
    }
    out << text;
  }
  end_line(out);
}

constexpr std::string_view kOutputSourceTexts[] = {
    "Forced Low",    "Forced High",     "CT0",           "CT1",      "CT2",      "CT3",
    "VFGx_TRIG_SEL", "VFGx_ENCA_SEL",   "VFGx_ENCB_SEL", "VFG0_CT0", "VFG0_CT1", "VFG0_CT2",
    "VFG0_CT3",      "VFG0_ENCDIV_SEL", "VFG0_ENCQ_SEL",
};
constexpr Enumeration kOutputSourceText = make_enumeration(kOutputSourceTexts, kUnknown);

constexpr std::string_view kLedSourceTexts[] = {
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
constexpr Enumeration kLedSourceText = make_enumeration(kLedSourceTexts, kUnknown);

void section_heading(std::ostream& out, std::string_view heading) {
  out << heading;
  end_line(out);
  out << kRule;
  end_line(out);
}

// A raw input field, the only hexadecimal numbers of the panel.
void hex_line(std::ostream& out, std::string_view name, uint32_t field) {
  write_label(out, name);
  out << "0x";
  write_hex(out, field);
  end_line(out);
}

// The level of the signal a section is about, set off by asterisks.
void highlighted_line(std::ostream& out, std::string_view name, std::string_view text) {
  write_label(out, name);
  out << "** " << text << " **";
  end_line(out);
}

}  // namespace

void draw_io_box(std::ostream& out, KvHandle vfg, int expanded) {
  out << std::right;
  if (!begin_panel(out, kFrame, expanded)) return;
  const auto read = [vfg](uint32_t reg) { return KvRegPeek(vfg, reg); };

  end_line(out);
  section_heading(out, "Torvel IO");
  const uint32_t ttl_diff = read(kBoxInTtlDiff);
  hex_line(out, "BOX_IN_TTL[11:0]", ttl_diff & 0xFFFu);
  hex_line(out, "BOX_IN_DIFF[11:0]", (ttl_diff >> 12) & 0xFFFu);
  const uint32_t opto_24v = read(kBoxInOpto24V);
  hex_line(out, "BOX_IN_OPTO[7:0]", opto_24v & 0xFFu);
  hex_line(out, "BOX_IN_24V[3:0]", (opto_24v >> 8) & 0xFu);
  end_line(out);

  section_heading(out, "Trigger");
  value_line(out, "Enabled", kFlag(read(kTriggerEnabled)));
  value_line(out, "TRIG TTL", kLevel(read(kTrigTtl)));
  value_line(out, "TRIG DIF", kLevel(read(kTrigDif)));
  value_line(out, "TRIG VFG0", kLevel(read(kTrigVfg0)));
  value_line(out, "Scan Step", kLevel(read(kScanStep)));
  value_line(out, "SW Trig", kLevel(read(kSwTrig)));
  input_source_line(out, "Trigger Source", read(kTriggerSource), kTriggerColumn);
  value_line(out, "Polarity", kPolarity(read(kTriggerPolarity)));
  highlighted_line(out, "Trigger", kLevel(read(kTriggerLevel)));
  end_line(out);

  section_heading(out, "Encoder A");
  value_line(out, "Enabled", kFlag(read(kEncoderAEnabled)));
  value_line(out, "ENC_A TTL", kLevel(read(kEncATtl)));
  value_line(out, "ENC_A DIF", kLevel(read(kEncADif)));
  value_line(out, "ENC_A VFG0", kLevel(read(kEncAVfg0)));
  value_line(out, "SW Encoder A", kLevel(read(kSwEncoderA)));
  input_source_line(out, "Encoder A Source", read(kEncoderASource), kEncoderAColumn);
  value_line(out, "Polarity", kPolarity(read(kEncoderAPolarity)));
  highlighted_line(out, "Encoder A", kLevel(read(kEncoderALevel)));
  end_line(out);

  section_heading(out, "Encoder B");
  value_line(out, "Enabled", kFlag(read(kEncoderBEnabled)));
  value_line(out, "ENC_B TTL", kLevel(read(kEncBTtl)));
  value_line(out, "ENC_B DIF", kLevel(read(kEncBDif)));
  value_line(out, "ENC_B VFG0", kLevel(read(kEncBVfg0)));
  value_line(out, "SW Encoder B", kLevel(read(kSwEncoderB)));
  input_source_line(out, "Encoder B Source", read(kEncoderBSource), kEncoderBColumn);
  value_line(out, "Polarity", kPolarity(read(kEncoderBPolarity)));
  highlighted_line(out, "Encoder B", kLevel(read(kEncoderBLevel)));
  end_line(out);

  section_heading(out, "Outputs");
  value_line(out, "CC1 Source", kOutputSourceText(read(kCc1Source)));
  value_line(out, "CC2 Source", kOutputSourceText(read(kCc2Source)));
  value_line(out, "CC3 Source", kOutputSourceText(read(kCc3Source)));
  value_line(out, "CC4 Source", kOutputSourceText(read(kCc4Source)));
  value_line(out, "LED Source", kLedSourceText(read(kLedSource)));
  end_panel(out, kFrame);
}

}  // namespace boardstat
