// I/O box: the raw inputs of the Torvel IO box and the routing of trigger, encoders, CC outputs and
// LED.
#include <iterator>
#include <string_view>

#include "board/registers/io_box.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

using namespace io_box;

constexpr PanelFrame kFrame{"IO", "^--------------------------", "^-", 1};
constexpr std::string_view kRule = "--------------------------";

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

void section_heading(std::ostream& out, std::string_view heading) {
  out << heading;
  end_line(out);
  out << kRule;
  end_line(out);
}

// A raw input field, the only hexadecimal numbers of the panel.
void hex_line(std::ostream& out, const Field& field, uint32_t value) {
  write_label(out, field.name);
  out << "0x";
  write_hex(out, field.extract(value));
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
  hex_line(out, kBoxInTtl, ttl_diff);
  hex_line(out, kBoxInDiff, ttl_diff);
  const uint32_t opto_24v = read(kBoxInOpto24V);
  hex_line(out, kBoxInOpto, opto_24v);
  hex_line(out, kBoxIn24V, opto_24v);
  end_line(out);

  section_heading(out, "Trigger");
  value_line(out, "Enabled", kFlagText(read(kTriggerEnabled)));
  value_line(out, "TRIG TTL", kLevelText(read(kTrigTtl)));
  value_line(out, "TRIG DIF", kLevelText(read(kTrigDif)));
  value_line(out, "TRIG VFG0", kLevelText(read(kTrigVfg0)));
  value_line(out, "Scan Step", kLevelText(read(kScanStep)));
  value_line(out, "SW Trig", kLevelText(read(kSwTrig)));
  input_source_line(out, "Trigger Source", read(kTriggerSource), kTriggerColumn);
  value_line(out, "Polarity", kPolarityText(read(kTriggerPolarity)));
  highlighted_line(out, "Trigger", kLevelText(read(kTriggerLevel)));
  end_line(out);

  section_heading(out, "Encoder A");
  value_line(out, "Enabled", kFlagText(read(kEncoderAEnabled)));
  value_line(out, "ENC_A TTL", kLevelText(read(kEncATtl)));
  value_line(out, "ENC_A DIF", kLevelText(read(kEncADif)));
  value_line(out, "ENC_A VFG0", kLevelText(read(kEncAVfg0)));
  value_line(out, "SW Encoder A", kLevelText(read(kSwEncoderA)));
  input_source_line(out, "Encoder A Source", read(kEncoderASource), kEncoderAColumn);
  value_line(out, "Polarity", kPolarityText(read(kEncoderAPolarity)));
  highlighted_line(out, "Encoder A", kLevelText(read(kEncoderALevel)));
  end_line(out);

  section_heading(out, "Encoder B");
  value_line(out, "Enabled", kFlagText(read(kEncoderBEnabled)));
  value_line(out, "ENC_B TTL", kLevelText(read(kEncBTtl)));
  value_line(out, "ENC_B DIF", kLevelText(read(kEncBDif)));
  value_line(out, "ENC_B VFG0", kLevelText(read(kEncBVfg0)));
  value_line(out, "SW Encoder B", kLevelText(read(kSwEncoderB)));
  input_source_line(out, "Encoder B Source", read(kEncoderBSource), kEncoderBColumn);
  value_line(out, "Polarity", kPolarityText(read(kEncoderBPolarity)));
  highlighted_line(out, "Encoder B", kLevelText(read(kEncoderBLevel)));
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
