// From /proc, as the Prometheus client libraries read them: /proc/self/stat for the processor
// time, memory and start (in clock ticks since boot), the entries of /proc/self/fd, and the
// soft limit of open files. Nothing from /proc/stat, which a service unit with ProcSubset=pid
// hides.
#include <dirent.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "exporter/process_figures.h"

namespace boardstat {
namespace {

double seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Taken once, at the first reading: the start never changes. The boot time is the real-time
// clock less the time since boot (CLOCK_BOOTTIME, which counts suspended time as the start
// ticks do).
double start_time_seconds(double start_ticks_since_boot, double ticks_per_second) {
  static const double start =
      seconds(CLOCK_REALTIME) - seconds(CLOCK_BOOTTIME) + start_ticks_since_boot / ticks_per_second;
  return start;
}

double open_fds() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  double count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the directory's own descriptor, open while it is read
}

}  // namespace

std::optional<ProcessFigures> read_process_figures() {
  std::ifstream in("/proc/self/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // The command name, field 2, is in parentheses and may hold spaces: count from its end.
  const size_t name_end = line.rfind(')');
  if (name_end == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(name_end + 2));
  std::string field[22];  // fields 3 to 24
  for (std::string& f : field) {
    if (!(fields >> f)) return std::nullopt;
  }
  const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  const double page = static_cast<double>(sysconf(_SC_PAGESIZE));
  ProcessFigures figures;
  figures.cpu_seconds = (std::stod(field[11]) + std::stod(field[12])) / ticks;  // utime, stime
  figures.start_time_seconds = start_time_seconds(std::stod(field[19]), ticks);
  figures.virtual_bytes = std::stod(field[20]);
  figures.resident_bytes = std::stod(field[21]) * page;
  figures.open_fds = open_fds();
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    figures.max_fds = static_cast<double>(limit.rlim_cur);
  }
  return figures;
}

}  // namespace boardstat
