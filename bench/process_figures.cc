// The console as a process: how long it takes from start to its first complete screen, how
// much memory it holds, and how much processor time it uses while it waits for a key.
//
//   process_figures startup BOARDSTAT RUNS    RUNS times `printf q | boardstat > /dev/null`:
//                                             median, lowest and highest wall time in ms, and
//                                             the median and highest peak resident set in KiB
//   process_figures idle BOARDSTAT SECONDS [DELAY]
//                                             the console (with -d DELAY when given) with no
//                                             key for SECONDS after its first screen: processor
//                                             seconds used meanwhile and in the whole run, the
//                                             voluntary context switches and the screens drawn
//                                             meanwhile
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char* what) {
  fprintf(stderr, "process_figures: %s: %s\n", what, strerror(errno));
  exit(1);
}

// Starts the console with `in` as standard input and `out` as standard output, with -d DELAY
// when `delay` is not null.
pid_t start_console(const char* path, int in, int out, const char* delay = nullptr) {
  const pid_t pid = fork();
  if (pid < 0) fail("fork");
  if (pid == 0) {
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    for (int fd = 3; fd < 64; ++fd) close(fd);
    unsetenv("BOARDSIM_CONFIG");
    unsetenv("BOARDSIM_TRACE");
    if (delay != nullptr) {
      execl(path, path, "-d", delay, static_cast<char*>(nullptr));
    } else {
      execl(path, path, static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  return pid;
}

template <typename T>
T median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int startup(const char* path, int runs) {
  const int null_out = open("/dev/null", O_WRONLY);
  if (null_out < 0) fail("/dev/null");
  std::vector<double> ms;
  std::vector<long> rss_kib;
  for (int i = 0; i < runs; ++i) {
    int keys[2];
    if (pipe(keys) != 0) fail("pipe");
    if (write(keys[1], "q", 1) != 1) fail("write");
    close(keys[1]);
    const auto t0 = Clock::now();
    const pid_t pid = start_console(path, keys[0], null_out);
    close(keys[0]);
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) fail("wait4");
    const std::chrono::duration<double, std::milli> took = Clock::now() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "process_figures: the console did not end with status 0\n");
      return 1;
    }
    ms.push_back(took.count());
    rss_kib.push_back(usage.ru_maxrss);
  }
  printf("%.3f %.3f %.3f %ld %ld\n", median(ms), *std::min_element(ms.begin(), ms.end()),
         *std::max_element(ms.begin(), ms.end()), median(rss_kib),
         *std::max_element(rss_kib.begin(), rss_kib.end()));
  return 0;
}

// Nanoseconds the process has run on a processor, from the scheduler's own account.
long long cpu_ns(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/schedstat";
  FILE* f = fopen(path.c_str(), "r");
  if (f == nullptr) fail(path.c_str());
  long long ns = -1;
  if (fscanf(f, "%lld", &ns) != 1) ns = -1;
  fclose(f);
  return ns;
}

int idle(const char* path, double seconds, const char* delay) {
  int keys[2];
  int screen[2];
  if (pipe(keys) != 0 || pipe(screen) != 0) fail("pipe");
  const pid_t pid = start_console(path, keys[0], screen[1], delay);
  close(keys[0]);
  close(screen[1]);

  // The first screen is complete when the last panel's frame has arrived.
  static constexpr char kScreenEnd[] = "SystemProbe\n--------^--\n\n";
  std::string text;
  char buffer[4096];
  while (text.size() < sizeof kScreenEnd ||
         text.compare(text.size() - (sizeof kScreenEnd - 1), std::string::npos, kScreenEnd) != 0) {
    const ssize_t n = read(screen[0], buffer, sizeof buffer);
    if (n <= 0) {
      fprintf(stderr, "process_figures: the console ended before its first screen\n");
      return 1;
    }
    text.append(buffer, static_cast<size_t>(n));
  }

  const long long before = cpu_ns(pid);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const long long after = cpu_ns(pid);

  close(keys[1]);  // the end of input: the console ends
  for (;;) {
    const ssize_t n = read(screen[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  // Every screen begins with the clear sequence; the end of input draws none.
  static constexpr char kClear[] = "\033[H\033[2J";
  long screens = -1;  // the first screen came before the wait
  for (size_t at = text.find(kClear); at != std::string::npos; at = text.find(kClear, at + 1)) {
    ++screens;
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) fail("wait4");
  const double whole = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  printf("%.6f %.6f %ld %ld\n", static_cast<double>(after - before) / 1e9, whole, usage.ru_nvcsw,
         screens);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc == 4 && strcmp(argv[1], "startup") == 0) return startup(argv[2], atoi(argv[3]));
  if ((argc == 4 || argc == 5) && strcmp(argv[1], "idle") == 0) {
    return idle(argv[2], atof(argv[3]), argc == 5 ? argv[4] : nullptr);
  }
  fprintf(stderr,
          "usage: process_figures startup BOARDSTAT RUNS | idle BOARDSTAT SECONDS [DELAY]\n");
  return 2;
}
