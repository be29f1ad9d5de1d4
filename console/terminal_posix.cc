// The POSIX terminal: keys are single bytes read without echo or line editing while standard
// input is a terminal; the user's settings come back on every way out.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "console/terminal.h"

namespace boardstat {
namespace {

// Home, clear the screen, clear the scroll-back.
constexpr char kClearSequence[] = "\033[H\033[2J\033[3J";

struct termios g_saved_settings;
volatile sig_atomic_t g_raw_mode = 0;

// Async-signal-safe: only tcsetattr.
void restore_settings() {
  if (g_raw_mode) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_settings);
    g_raw_mode = 0;
  }
}

void enter_raw_mode() {
  struct termios raw = g_saved_settings;
  // Keys arrive one byte at a time without echo; ISIG stays, so Ctrl-C is still a signal.
  raw.c_lflag &= static_cast<tcflag_t>(~(ECHO | ICANON));
  raw.c_cc[VMIN] = 1;  // a read blocks for one byte; a timed wait is poll's, not the terminal's
  raw.c_cc[VTIME] = 0;
  // Marked first: a signal that lands while the settings change still puts them back.
  g_raw_mode = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) g_raw_mode = 0;
}

void install_handler(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

// Ctrl-C, kill and a closed terminal end the console with the usual 128 + signal status.
void on_termination_signal(int sig) {
  restore_settings();
  _exit(128 + sig);
}

// A crash, or any other signal whose default action ends the process (a closed pipe on the
// output, an alarm, a user signal), still gives back a usable terminal; the signal is raised
// again so that its default action (the end, or a core dump) happens.
void on_fatal_signal(int sig) {
  restore_settings();
  signal(sig, SIG_DFL);
  raise(sig);
}

void on_stop_signal(int sig);

void on_continue_signal(int) {
  enter_raw_mode();
  install_handler(SIGTSTP, on_stop_signal);
}

// Ctrl-Z hands the terminal to the shell in its usual state; fg takes it back.
void on_stop_signal(int sig) {
  restore_settings();
  signal(sig, SIG_DFL);
  raise(sig);
}

class PosixTerminal final : public Terminal {
 public:
  PosixTerminal() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) install_handler(sig, on_termination_signal);
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_saved_settings) == 0) {
      for (int sig : {SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, SIGPIPE,
                      SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF}) {
        install_handler(sig, on_fatal_signal);
      }
      install_handler(SIGTSTP, on_stop_signal);
      install_handler(SIGCONT, on_continue_signal);
      std::atexit(restore_settings);
      enter_raw_mode();
    }
  }
  ~PosixTerminal() override { restore_settings(); }

  void clear_screen() override {
    std::cout.write(kClearSequence, sizeof kClearSequence - 1);
    std::cout.flush();
  }

  int read_key() override {
    for (;;) {
      unsigned char byte = 0;
      const ssize_t n = read(STDIN_FILENO, &byte, 1);
      if (n == 1) return byte;
      if (n < 0 && errno == EINTR) continue;
      return kEndOfInput;  // end of input, or a terminal that has gone away (EIO)
    }
  }

  int read_key_until(std::chrono::steady_clock::time_point deadline) override {
    using namespace std::chrono;
    for (;;) {
      // A deadline that has passed (a redraw that took longer than the delay) still looks for
      // a key first: keys must not wait behind back-to-back redraws.
      const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
      // Rounded up, so that the wait never ends just before the deadline and spins once more.
      const auto wait = left < 0 ? 0 : std::min<long long>(left + 1, 24 * 3600 * 1000);
      struct pollfd input {};
      input.fd = STDIN_FILENO;
      input.events = POLLIN;
      const int ready = poll(&input, 1, static_cast<int>(wait));
      // Interrupted (Ctrl-Z and fg, a resize): wait again for the time that is left.
      if (ready < 0 && errno == EINTR) continue;
      // A key, the end of input (POLLHUP) or an error: the read tells which.
      if (ready != 0) return read_key();
      if (steady_clock::now() >= deadline) return kNoKey;
    }
  }
};

}  // namespace

std::unique_ptr<Terminal> open_console_terminal() {
  return std::make_unique<PosixTerminal>();
}

}  // namespace boardstat
