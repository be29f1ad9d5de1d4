// Values that registers hold as a power-of-two exponent: the register's 32 bits are a signed
// exponent, so a negative one gives a fraction and a huge one a value beyond any double.
#ifndef BOARDSTAT_DISPLAY_POWER_OF_TWO_H_
#define BOARDSTAT_DISPLAY_POWER_OF_TWO_H_

#include <stdint.h>

#include <ostream>
#include <string_view>

namespace boardstat {

/// `factor` times 2 to the power of `exponent`, whose 32 bits are taken as a signed integer
/// (4294967295 is -1), in double precision. Exact wherever the result is a finite double; a
/// result too large is infinity, one too small 0.
double times_power_of_two(double factor, uint32_t exponent);

/// A value line: the label of `name`, `factor` times 2 to the power of `exponent` in general
/// notation with 6 significant digits (write_general), then `unit` and the end of the line.
void power_of_two_line(std::ostream& out, std::string_view name, double factor, uint32_t exponent,
                       std::string_view unit = {});

}  // namespace boardstat

#endif  // BOARDSTAT_DISPLAY_POWER_OF_TWO_H_
