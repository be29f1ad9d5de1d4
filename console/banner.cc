#include "console/banner.h"

#include <iomanip>

#include "board/registers/firmware.h"
#include "display/format.h"

namespace boardstat {
namespace {

using namespace firmware;

constexpr const char* kBoxRule =
    "+--------------------------------------------------------------------+";
constexpr const char* kBoxBlank =
    "|                                                                    |";
constexpr const char* kOptionsRule =
    "+------------------------ Options -----------------------------------+";
constexpr const char* kLegendToggle =
    "| Press the key indicated by (^) to expand/collapse each category    |";
constexpr const char* kLegendKeys =
    "| c = Clear Errors, q = Quit, [+,-] = Change VFG                     |";

void write_firmware_field(std::ostream& out, KvHandle vfg, uint32_t reg, int digits) {
  // Binary-coded decimal: printed in hexadecimal, the digits show as they are.
  out << std::setw(digits) << KvRegPeek(vfg, reg);
}

void write_line(std::ostream& out, const char* text) {
  out << text;
  end_line(out);
}

}  // namespace

void draw_banner(std::ostream& out, KvHandle vfg, int32_t vfg_number, int32_t vfg_count) {
  out << std::right;
  write_line(out, kBoxRule);

  out << "| VFG (" << std::setfill('0') << std::setw(3) << vfg_number << ") of (" << std::setw(3)
      << vfg_count - 1 << ") "
      << ", "
      << "Firmware Built on " << std::hex;
  write_firmware_field(out, vfg, kBuildDateFirst, 2);
  out << '/';
  write_firmware_field(out, vfg, kBuildDateSecond, 2);
  out << '/';
  write_firmware_field(out, vfg, kBuildYear, 4);
  out << " at ";
  write_firmware_field(out, vfg, kBuildHour, 2);
  out << ':';
  write_firmware_field(out, vfg, kBuildMinute, 2);
  out << "         |";
  end_line(out);
  out << std::dec << std::setfill(' ');

  write_line(out, kBoxBlank);
  write_line(out, kOptionsRule);
  write_line(out, kLegendToggle);
  write_line(out, kLegendKeys);
  write_line(out, kBoxRule);
  end_line(out);
}

}  // namespace boardstat
