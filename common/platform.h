// The few switches whose spelling differs between POSIX and Windows. One source per platform.
#ifndef BOARDSTAT_COMMON_PLATFORM_H_
#define BOARDSTAT_COMMON_PLATFORM_H_

#include <ctime>

namespace boardstat {

/// `when` as a UTC calendar time.
std::tm utc_time(std::time_t when);

/// Standard output as bytes: a line feed stays one on Windows, as on POSIX.
void set_binary_stdout();

/// This process's id, for temporary file names that no other process of the same program
/// uses at the same time.
int process_id();

}  // namespace boardstat

#endif  // BOARDSTAT_COMMON_PLATFORM_H_
