// The exporter's metrics about itself, after the boards' in the HTTP mode: its build, the
// standard process_* family, and its HTTP requests.
#ifndef BOARDSTAT_EXPORTER_SELF_METRICS_H_
#define BOARDSTAT_EXPORTER_SELF_METRICS_H_

#include <string>

#include "exporter/exposition.h"
#include "exporter/request_stats.h"

namespace boardstat {

/// "gcc 12.2.0", "clang 14.0.6": the compiler this program was built with.
std::string compiler_name();

/// boardstat_exporter_build_info, process_* (where the platform gives them) and the request
/// counts of `requests`.
void write_exporter_metrics(ExpositionWriter& out, const RequestStats& requests);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_SELF_METRICS_H_
