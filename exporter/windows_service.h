// The exporter as a Windows service, and its end by Ctrl-C or Ctrl-Break in a console.
#ifndef BOARDSTAT_EXPORTER_WINDOWS_SERVICE_H_
#define BOARDSTAT_EXPORTER_WINDOWS_SERVICE_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace boardstat {

/// The exporter's work, given the arguments after the program name; returns the exit status.
using ExporterWork = std::function<int(const std::vector<std::string>& args)>;

/// When the service control manager started this process: runs `work` with `args` followed by
/// the service's start parameters, reports START_PENDING, RUNNING, STOP_PENDING and STOPPED
/// to the manager, calls `stop` (from another thread) on a stop or shutdown request, and
/// appends standard error, a start-up line and the exit status to the log file beside the
/// program (boardstat_exporter.log). Returns the work's status once the service has stopped,
/// or nothing, at once, when the process was not started as a service.
std::optional<int> run_if_started_as_service(const std::vector<std::string>& args,
                                             const ExporterWork& work, std::function<void()> stop);

/// In a console: Ctrl-C, Ctrl-Break and closing the window call `stop` (from another thread)
/// instead of ending the process, which can then end with status 0.
void stop_on_console_control(std::function<void()> stop);

/// The log file's path: the program's own, with .log for .exe.
std::string service_log_path();

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_WINDOWS_SERVICE_H_
