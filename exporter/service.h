// The exporter as a Windows service. Elsewhere there is no service manager to start it: a
// process is never started as a service. One source per platform.
#ifndef BOARDSTAT_EXPORTER_SERVICE_H_
#define BOARDSTAT_EXPORTER_SERVICE_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace boardstat {

/// The exporter's work, given the arguments after the program name; returns the exit status.
using ExporterWork = std::function<int(const std::vector<std::string>& args)>;

/// When the service control manager started this process: runs `work` with `args` followed by
/// the service's start parameters, reports START_PENDING, RUNNING, STOP_PENDING and STOPPED
/// to the manager, calls ask_to_stop (from another thread) on a stop or shutdown request, and
/// appends standard error, a start-up line and the exit status to the log file beside the
/// program (boardstat_exporter.log). Returns the work's status once the service has stopped,
/// or nothing, at once, when the process was not started as a service.
std::optional<int> run_if_started_as_service(const std::vector<std::string>& args,
                                             const ExporterWork& work);

/// The log file's path: the program's own, with .log for .exe.
std::string service_log_path();

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_SERVICE_H_
