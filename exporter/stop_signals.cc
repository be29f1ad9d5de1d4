#include "exporter/stop_signals.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace boardstat {
namespace {

struct StopState {
  std::mutex mutex;
  std::condition_variable asked;
  bool requested = false;
  std::function<void()> action;
};

// Never destroyed: the signal thread may still use it while the process exits.
StopState& state() {
  static StopState* const s = new StopState;
  return *s;
}

}  // namespace

void ask_to_stop() {
  StopState& s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.requested) return;
    s.requested = true;
    // Under the lock, so that the action cannot be removed, and what it refers to destroyed,
    // while it runs.
    if (s.action) s.action();
  }
  s.asked.notify_all();
}

namespace {

// A program that has not ended by then will not end by itself soon: ends it here.
[[noreturn]] void end_after(std::chrono::milliseconds grace) {
  std::this_thread::sleep_for(grace);
  fflush(stderr);
  _Exit(0);
}

#ifdef _WIN32

volatile sig_atomic_t g_signalled = 0;

void note_signal(int number) {
  g_signalled = 1;
  signal(number, note_signal);  // the Windows runtime resets the handler before calling it
}

void start_signal_thread(std::chrono::milliseconds grace, std::string_view) {
  signal(SIGINT, note_signal);
  signal(SIGTERM, note_signal);
  signal(SIGBREAK, note_signal);
  std::thread([grace] {
    while (g_signalled == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ask_to_stop();
    end_after(grace);
  }).detach();
}

#else

void start_signal_thread(std::chrono::milliseconds grace, std::string_view program) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const std::string name(program);
  std::thread([signals, grace, name] {
    for (;;) {
      int number = 0;
      if (sigwait(&signals, &number) != 0) continue;
      if (number == SIGHUP) {
        fprintf(stderr, "%s: SIGHUP ignored: there is nothing to reload\n", name.c_str());
        fflush(stderr);
        continue;
      }
      ask_to_stop();
      end_after(grace);
    }
  }).detach();
}

#endif

}  // namespace

void start_stop_signals(std::chrono::milliseconds grace, std::string_view program) {
  state();
  start_signal_thread(grace, program);
}

bool stop_requested() {
  StopState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.requested;
}

bool wait_for_stop_until(std::chrono::steady_clock::time_point deadline) {
  StopState& s = state();
  std::unique_lock<std::mutex> lock(s.mutex);
  return s.asked.wait_until(lock, deadline, [&s] { return s.requested; });
}

void on_stop(std::function<void()> action) {
  StopState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.action = std::move(action);
  if (s.requested && s.action) s.action();
}

}  // namespace boardstat
