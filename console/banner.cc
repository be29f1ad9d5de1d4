#include "console/banner.h"

#include <iomanip>

#include "display/format.h"

namespace boardstat {
namespace {

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

// The firmware build date and time registers hold binary-coded decimal digits, so printing
// them in hexadecimal shows the digits themselves (0x2016 prints as 2016).
constexpr uint32_t kBuildDateFirst = 2657;
constexpr uint32_t kBuildDateSecond = 2656;
constexpr uint32_t kBuildYear = 2655;
constexpr uint32_t kBuildHour = 2659;
constexpr uint32_t kBuildMinute = 2658;

void write_firmware_field(std::ostream& out, KvHandle vfg, uint32_t reg, int digits) {
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
