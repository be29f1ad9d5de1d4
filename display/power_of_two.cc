#include "display/power_of_two.h"

#include <cmath>

#include "display/format.h"

namespace boardstat {
namespace {

// The two's complement reading of `bits`, without relying on the implementation's conversion.
int as_signed(uint32_t bits) {
  if (bits <= 0x7FFFFFFFu) return static_cast<int>(bits);
  return -static_cast<int>(~bits) - 1;
}

}  // namespace

double times_power_of_two(double factor, uint32_t exponent) {
  // ldexp scales the double itself: no integer shift, so no exponent is out of range.
  return std::ldexp(factor, as_signed(exponent));
}

void power_of_two_line(std::ostream& out, std::string_view name, double factor, uint32_t exponent,
                       std::string_view unit) {
  write_label(out, name);
  write_general(out, times_power_of_two(factor, exponent));
  out << unit;
  end_line(out);
}

}  // namespace boardstat
