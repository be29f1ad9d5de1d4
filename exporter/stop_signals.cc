#include "exporter/stop_signals.h"

#include <stdio.h>
#include <stdlib.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace boardstat {
namespace {

struct StopState {
  std::mutex mutex;
  std::condition_variable asked;
  bool requested = false;
  std::chrono::milliseconds grace{0};  // 0: no timer
  std::function<void()> action;
};

// Never destroyed: the grace timer may still use it while the process exits.
StopState& state() {
  static StopState* const s = new StopState;
  return *s;
}

// A program that has not ended by then will not end by itself soon: ends it here.
[[noreturn]] void end_after(std::chrono::milliseconds grace) {
  std::this_thread::sleep_for(grace);
  fflush(stderr);
  _Exit(0);
}

}  // namespace

void set_stop_grace(std::chrono::milliseconds grace) {
  StopState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.grace = grace;
}

void ask_to_stop() {
  StopState& s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.requested) return;
    s.requested = true;
    if (s.grace.count() > 0) std::thread(end_after, s.grace).detach();
    // Under the lock, so that the action cannot be removed, and what it refers to destroyed,
    // while it runs.
    if (s.action) s.action();
  }
  s.asked.notify_all();
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
