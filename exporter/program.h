// What the exporter says about itself in every message, and the statuses it ends with.
#ifndef BOARDSTAT_EXPORTER_PROGRAM_H_
#define BOARDSTAT_EXPORTER_PROGRAM_H_

#include <string_view>

namespace boardstat {

/// The name that starts every message on standard error.
inline constexpr std::string_view kProgram = "boardstat_exporter";

/// Exit statuses: 0 after a stop or --once; these when it cannot go on.
inline constexpr int kExitCannotServe = 1;  // cannot listen, or cannot write its output
inline constexpr int kExitBadFlags = 2;     // a bad command line or web configuration file

/// Why --web.config.file is refused where the server was built without its libraries.
inline constexpr std::string_view kNoWebConfigInThisBuild =
    "this build has no TLS or passwords (it was built without yaml-cpp, OpenSSL or libcrypt)";

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_PROGRAM_H_
