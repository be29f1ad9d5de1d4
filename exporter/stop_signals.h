// How the exporter stops: SIGINT and SIGTERM (on Windows Ctrl-C, Ctrl-Break, closing the
// console and a service manager's stop request) at any moment, from the first instruction of
// main on, end it with status 0 within a second. On POSIX the signals are blocked in every
// thread and taken by one thread that waits for them, so no default action can end the process
// with the signal's own status; SIGHUP changes nothing: it is reported and ignored.
#ifndef BOARDSTAT_EXPORTER_STOP_SIGNALS_H_
#define BOARDSTAT_EXPORTER_STOP_SIGNALS_H_

#include <chrono>
#include <functional>
#include <string_view>

namespace boardstat {

/// Call first thing in main, before any other thread starts (on POSIX they inherit the blocked
/// signals). When the program has not ended `grace` after a stop was asked for (a board call
/// that hangs, a --once probe round), it is ended with status 0 there and then. `program`
/// names the program in the SIGHUP message. One source per platform.
void start_stop_signals(std::chrono::milliseconds grace, std::string_view program);

/// The one way to stop, from any thread: what the signals and the console's and the service
/// manager's stop events call. Starts the grace timer of start_stop_signals.
void ask_to_stop();

/// True once a stop was asked for.
bool stop_requested();

/// Waits until a stop is asked for or `deadline` passes; true when a stop was asked for.
bool wait_for_stop_until(std::chrono::steady_clock::time_point deadline);

/// `action` runs on the stopping thread when a stop is asked for, at once when it already was;
/// an empty one removes the last. It must not block: it only tells a loop to end (a server's
/// stop()). Remove it before what it refers to goes away.
void on_stop(std::function<void()> action);

/// For start_stop_signals: how long ask_to_stop waits for the program to end by itself.
void set_stop_grace(std::chrono::milliseconds grace);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_STOP_SIGNALS_H_
