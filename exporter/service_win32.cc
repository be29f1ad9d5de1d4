#include "exporter/service.h"

#include <stdio.h>
#include <string.h>
#include <time.h>
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <mutex>
#include <utility>

#include "common/platform.h"
#include "exporter/program.h"
#include "exporter/stop_signals.h"

namespace boardstat {
namespace {

// What the service's callbacks, which take no context, work with.
struct Service {
  std::vector<std::string> args;
  const ExporterWork* work = nullptr;
  std::optional<int> status;  // set once the work has ended

  std::mutex mutex;  // the status below is reported from the service's thread and the handler's
  SERVICE_STATUS_HANDLE handle = nullptr;
  SERVICE_STATUS reported{};
};
Service g_service;

// Time-stamped, for the lines the service adds to the log: when it started and how it ended.
void log_line(const std::string& text) {
  const time_t now = time(nullptr);
  const struct tm utc = utc_time(now);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  fprintf(stderr, "%s %s: %s\n", stamp, kProgram.data(), text.c_str());
  fflush(stderr);
}

// A service's standard error goes nowhere: it goes to the log file instead (LF line ends),
// where the exporter's complaints and those of the board library land as they would on a
// console.
void log_to_file(const std::string& path) {
  if (freopen(path.c_str(), "ab", stderr) == nullptr) {
#ifndef _UCRT
    // msvcrt found no standard error at start (wine starts services so), marked the stream as
    // having no descriptor, and reopens no such stream: give it descriptor 2 first.
    if (_fileno(stderr) >= 0) return;
    stderr->_file = 2;
    if (freopen(path.c_str(), "ab", stderr) == nullptr) return;
#else
    return;
#endif
  }
  setvbuf(stderr, nullptr, _IONBF, 0);
}

void report(DWORD state, DWORD exit_status = 0) {
  std::lock_guard<std::mutex> lock(g_service.mutex);
  SERVICE_STATUS& s = g_service.reported;
  s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  s.dwCurrentState = state;
  s.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  s.dwWin32ExitCode = exit_status == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  s.dwServiceSpecificExitCode = exit_status;
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  s.dwCheckPoint = pending ? s.dwCheckPoint + 1 : 0;
  s.dwWaitHint = pending ? 10000 : 0;  // ms; a stop waits at most for one collection
  SetServiceStatus(g_service.handle, &s);
}

DWORD WINAPI on_control(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      report(SERVICE_STOP_PENDING);
      ask_to_stop();
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI service_main(DWORD argc, char** argv) {
  g_service.handle = RegisterServiceCtrlHandlerExA(argc > 0 ? argv[0] : "", on_control, nullptr);
  if (g_service.handle == nullptr) return;
  report(SERVICE_START_PENDING);
  log_to_file(service_log_path());
  std::vector<std::string> args = g_service.args;
  for (DWORD i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  std::string command_line = "started as the service " + std::string(argc > 0 ? argv[0] : "");
  for (const std::string& arg : args) command_line += " " + arg;
  log_line(command_line);
  report(SERVICE_RUNNING);
  const int status = (*g_service.work)(args);
  log_line("stopped with status " + std::to_string(status));
  g_service.status = status;
  report(SERVICE_STOPPED, static_cast<DWORD>(status));
}

// The service control manager starts a service as its child. Asking the manager itself
// (StartServiceCtrlDispatcher) takes seconds under wine in a process that is no service, and
// there it can even take over a service that the manager is starting at that moment.
bool started_by_service_manager() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  std::vector<PROCESSENTRY32> processes;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    processes.push_back(entry);
  CloseHandle(snapshot);
  const DWORD self = GetCurrentProcessId();
  for (const PROCESSENTRY32& process : processes) {
    if (process.th32ProcessID != self) continue;
    for (const PROCESSENTRY32& parent : processes) {
      if (parent.th32ProcessID == process.th32ParentProcessID)
        return _stricmp(parent.szExeFile, "services.exe") == 0;
    }
  }
  return false;
}

}  // namespace

std::optional<int> run_if_started_as_service(const std::vector<std::string>& args,
                                             const ExporterWork& work) {
  if (!started_by_service_manager()) return std::nullopt;
  g_service.args = args;
  g_service.work = &work;
  // The name is that of the service the manager starts: one service per process, any name.
  char any_name[] = "";
  const SERVICE_TABLE_ENTRYA table[] = {{any_name, service_main}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) return std::nullopt;
  return g_service.status.value_or(1);
}

std::string service_log_path() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string log(path, length > 0 && length < MAX_PATH ? length : 0);
  if (log.empty()) return "boardstat_exporter.log";
  const size_t dot = log.find_last_of(".\\/");
  if (dot != std::string::npos && log[dot] == '.') log.erase(dot);
  return log + ".log";
}

}  // namespace boardstat
