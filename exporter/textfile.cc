#include "exporter/textfile.h"

#include "common/atomic_file.h"
#include "exporter/published.h"
#include "exporter/stop_signals.h"

namespace boardstat {
namespace {

// A textfile that cannot be written for this long ends the exporter, so that the service shows
// as failed.
constexpr auto kTextfileGiveUp = std::chrono::seconds(60);

}  // namespace

std::string textfile_path(const std::string& directory) {
  return directory + "/" + std::string(kTextfileName);
}

std::string write_textfile(const std::string& directory, std::string_view text) {
  return write_file_atomically(textfile_path(directory), text);
}

bool run_textfile(const Collector& collector, const std::string& directory,
                  std::chrono::milliseconds interval,
                  const std::function<void(const std::string&)>& report) {
  auto next_write = std::chrono::steady_clock::now();
  const std::string give_up = std::to_string(kTextfileGiveUp.count()) + " s";
  bool failing = false;
  std::chrono::steady_clock::time_point failing_since{};
  while (!stop_requested()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_write) {
      const std::string error = write_textfile(directory, exposition_now(collector));
      if (error.empty()) {
        if (failing) report("the textfile is written again");
        failing = false;
      } else if (!failing) {
        report(error + " (trying again every refresh, for at most " + give_up + ")");
        failing = true;
        failing_since = now;
      } else if (now - failing_since >= kTextfileGiveUp) {
        report(error + ": the textfile could not be written for " + give_up + ", stopping");
        return false;
      }
      next_write += interval;
      if (next_write <= now) next_write = now + interval;
    }
    wait_for_stop_until(next_write);
  }
  return true;
}

}  // namespace boardstat
