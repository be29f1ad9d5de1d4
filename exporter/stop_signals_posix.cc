// SIGINT and SIGTERM, taken by one thread that waits for them.
#include <pthread.h>
#include <signal.h>
#include <stdio.h>

#include <string>
#include <thread>

#include "exporter/stop_signals.h"

namespace boardstat {

void start_stop_signals(std::chrono::milliseconds grace, std::string_view program) {
  set_stop_grace(grace);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const std::string name(program);
  std::thread([signals, name] {
    for (;;) {
      int number = 0;
      if (sigwait(&signals, &number) != 0) continue;
      if (number == SIGHUP) {
        fprintf(stderr, "%s: SIGHUP ignored: there is nothing to reload\n", name.c_str());
        fflush(stderr);
        continue;
      }
      ask_to_stop();
    }
  }).detach();
}

}  // namespace boardstat
