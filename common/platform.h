// The few switches whose spelling differs between POSIX and Windows. One source per platform.
#ifndef BOARDSTAT_COMMON_PLATFORM_H_
#define BOARDSTAT_COMMON_PLATFORM_H_

#include <cstddef>
#include <ctime>
#include <string>

namespace boardstat {

/// `when` as a UTC calendar time.
std::tm utc_time(std::time_t when);

/// Standard output as bytes: a line feed stays one on Windows, as on POSIX.
void set_binary_stdout();

/// This process's id, for temporary file names that no other process of the same program
/// uses at the same time.
int process_id();

// Files by descriptor, as each platform's C library spells them; errno tells a failure.

/// Opens a new file for writing, failing with EEXIST when `path` is there (read and write for
/// everyone the umask allows). -1 when it cannot.
int create_new_file(const std::string& path);
/// Writes some of `size` bytes; the number written, or -1.
long write_to_file(int fd, const char* data, size_t size);
/// Flushes the file's data to the disk.
bool sync_file(int fd);
/// 0, or -1.
int close_file(int fd);
/// Renames `from` over `to`, replacing it also on Windows (where rename() refuses an existing
/// target).
bool replace_file(const std::string& from, const std::string& to);

}  // namespace boardstat

#endif  // BOARDSTAT_COMMON_PLATFORM_H_
