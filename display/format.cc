#include "display/format.h"

#include <ios>

namespace boardstat {

void end_line(std::ostream& out) {
  out << std::endl;
}

void write_label(std::ostream& out, std::string_view name) {
  static constexpr char kBlanks[kLabelNameWidth + 1] = "                          ";
  out.write(name.data(), static_cast<std::streamsize>(name.size()));
  if (name.size() < kLabelNameWidth) {
    out.write(kBlanks, static_cast<std::streamsize>(kLabelNameWidth - name.size()));
  }
  out.write(": ", 2);
}

void value_line(std::ostream& out, std::string_view name, std::string_view text) {
  write_label(out, name);
  out << text;
  end_line(out);
}

void value_line(std::ostream& out, std::string_view name, uint32_t value) {
  write_label(out, name);
  out << value;
  end_line(out);
}

void write_hex(std::ostream& out, uint32_t value) {
  out << std::hex << value << std::dec;
}

void write_general(std::ostream& out, double value) {
  out.unsetf(std::ios_base::floatfield);
  out.precision(6);
  out << value;
}

void flag_set_line(std::ostream& out, KvHandle vfg, std::string_view name, FlagList flags) {
  write_label(out, name);
  out << '{';
  for (const Flag& flag : flags) {
    if (KvRegPeek(vfg, flag.reg) != 0) out << flag.name << ' ';
  }
  out << '}';
  end_line(out);
}

}  // namespace boardstat
