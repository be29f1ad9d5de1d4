#include "exporter/metric_tables.h"

namespace boardstat {

double probe_value(system_probe::Conversion conversion, double count) {
  using system_probe::Conversion;
  // The time reference's rate and the window's length in its counts, as whole numbers.
  const double reference_hertz = static_cast<double>(1.0f / probe::kReferenceSeconds);
  const double window_counts = probe::kWindowReferenceCounts;
  switch (conversion) {
    case Conversion::kPerSecond:
    case Conversion::kMegahertz:
      return count * reference_hertz / window_counts;
    case Conversion::kMegabytesPerSecond:
      return count * probe::kBytesPerPcieCount * reference_hertz / window_counts;
    case Conversion::kMicroseconds:
      return count / reference_hertz;
    case Conversion::kCount:
      break;
  }
  return count;
}

}  // namespace boardstat
