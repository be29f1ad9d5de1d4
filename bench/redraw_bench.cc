// Redraw cost of the console on the default simulated board, against the cost of writing the
// same text alone, and the cost of clearing the screen. Standard output is a pipe (drained by a
// thread) while a benchmark runs, as when the console's output is piped.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "board/board_library.h"
#include "console/console.h"
#include "console/screen_output.h"
#include "console/terminal.h"

// Every allocation of the process is counted, so that a redraw's own can be seen.
namespace {
size_t g_allocations = 0;
}  // namespace

// The replacements below pair malloc with free, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
  ++g_allocations;
  if (void* p = malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  free(p);
}
void operator delete(void* p, size_t) noexcept {
  free(p);
}

namespace {

void pin_to(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

// Where the console and the reader of its pipe run. REDRAW_BENCH_READER: "same" (the default)
// puts both on one processor, which gives steady figures on a busy machine; "other" puts the
// reader on another processor; "free" leaves both to the scheduler.
struct Placement {
  int writer = -1;
  int reader = -1;
};

Placement reader_placement() {
  const char* choice = getenv("REDRAW_BENCH_READER");
  const std::string mode = choice != nullptr ? choice : "same";
  if (mode == "free") return {};
  const int cpu = sched_getcpu();
  if (cpu < 0) return {};
  if (mode == "other") {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
      for (int other = 0; other < CPU_SETSIZE; ++other) {
        if (other != cpu && CPU_ISSET(other, &allowed)) return {cpu, other};
      }
    }
    return {};
  }
  return {cpu, cpu};
}

// While alive, file descriptor 1 is the write end of a pipe that a thread empties.
class StdoutIntoPipe {
 public:
  StdoutIntoPipe() {
    std::cout.flush();
    fflush(stdout);
    int fds[2];
    if (pipe(fds) != 0) abort();
    saved_ = dup(STDOUT_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    read_end_ = fds[0];
    sched_getaffinity(0, sizeof saved_affinity_, &saved_affinity_);
    const Placement placement = reader_placement();
    if (placement.writer >= 0) pin_to(placement.writer);
    drain_ = std::thread([fd = read_end_, cpu = placement.reader] {
      if (cpu >= 0) pin_to(cpu);
      static char buffer[65536];
      while (read(fd, buffer, sizeof buffer) > 0) {
      }
    });
  }
  ~StdoutIntoPipe() {
    std::cout.flush();
    fflush(stdout);
    dup2(saved_, STDOUT_FILENO);  // closes the last write end: the thread sees the end
    close(saved_);
    drain_.join();
    close(read_end_);
    sched_setaffinity(0, sizeof saved_affinity_, &saved_affinity_);
  }

 private:
  int saved_ = -1;
  int read_end_ = -1;
  std::thread drain_;
  cpu_set_t saved_affinity_;
};

// Counts what the console asks of its stream: characters and flushes.
class CountingBuffer : public std::streambuf {
 public:
  std::string text;
  int flushes = 0;

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) text.push_back(static_cast<char>(c));
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text.append(s, static_cast<size_t>(n));
    return n;
  }
  int sync() override {
    ++flushes;
    return 0;
  }
};

class DiscardingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Every panel expanded but SystemProbe, on VFG 0 of the built-in board.
boardstat::ConsoleState& screen_state() {
  static boardstat::ConsoleState state = [] {
    boardstat::ConsoleState s;
    if (!boardstat::discover_vfgs(s)) abort();
    s.expanded = {1, 1, 1, 1, 1, 1, 1, 0};
    return s;
  }();
  return state;
}

struct ScreenText {
  std::vector<std::string> lines;  // each with its line end
  int flushes = 0;
};

// The screen's text as the console writes it, cut where it flushes.
const ScreenText& screen_text() {
  static const ScreenText text = [] {
    CountingBuffer buffer;
    std::ostream out(&buffer);
    boardstat::draw_screen(out, screen_state());
    ScreenText t;
    t.flushes = buffer.flushes;
    std::istringstream in(buffer.text);
    for (std::string line; std::getline(in, line);) t.lines.push_back(line + '\n');
    return t;
  }();
  return text;
}

void BM_Redraw(benchmark::State& state) {
  boardstat::ConsoleState& console = screen_state();
  StdoutIntoPipe pipe;
  for (auto _ : state) boardstat::draw_screen(std::cout, console);
}

// The console's own work for a redraw: board calls and formatting, into a stream that keeps
// nothing.
void BM_RedrawWithoutOutput(benchmark::State& state) {
  boardstat::ConsoleState& console = screen_state();
  DiscardingBuffer buffer;
  std::ostream out(&buffer);
  for (auto _ : state) boardstat::draw_screen(out, console);
}

// The same text with one write per line and no board call: what any redraw must cost.
void BM_Floor(benchmark::State& state) {
  const ScreenText& text = screen_text();
  StdoutIntoPipe pipe;
  for (auto _ : state) {
    for (const std::string& line : text.lines) {
      if (write(STDOUT_FILENO, line.data(), line.size()) < 0) abort();
    }
  }
}

void BM_ClearScreen(benchmark::State& state) {
  const auto terminal = boardstat::open_console_terminal();
  StdoutIntoPipe pipe;
  for (auto _ : state) terminal->clear_screen();
}

// What a console that shells out pays on every redraw.
void BM_ClearBySystem(benchmark::State& state) {
  StdoutIntoPipe pipe;
  for (auto _ : state) {
    if (system("clear") != 0) state.SkipWithError("clear failed");
  }
}

double minimum(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}
double maximum(const std::vector<double>& v) {
  return *std::max_element(v.begin(), v.end());
}

void repeated(benchmark::internal::Benchmark* b, int repetitions) {
  b->Repetitions(repetitions)
      ->ReportAggregatesOnly(true)
      ->ComputeStatistics("min", minimum)
      ->ComputeStatistics("max", maximum)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
}

BENCHMARK(BM_Redraw)->Apply([](auto* b) { repeated(b, 15); }) -> MinTime(0.1);
BENCHMARK(BM_RedrawWithoutOutput)->Apply([](auto* b) { repeated(b, 9); }) -> MinTime(0.05);
BENCHMARK(BM_Floor)->Apply([](auto* b) { repeated(b, 15); }) -> MinTime(0.1);
BENCHMARK(BM_ClearScreen)->Apply([](auto* b) { repeated(b, 9); }) -> MinTime(0.05);
BENCHMARK(BM_ClearBySystem)->Apply([](auto* b) { repeated(b, 5); }) -> Iterations(40);

}  // namespace

int main(int argc, char** argv) {
  // The built-in board without a trace, whatever the caller's environment says: the build's
  // libboardsim.so unless BOARDSTAT_BOARD_LIBRARY names another library.
  unsetenv("BOARDSIM_CONFIG");
  unsetenv("BOARDSIM_TRACE");
  setenv("BOARDSTAT_BOARD_LIBRARY", "sim", 0);
  const boardstat::BoardLibrary& library = boardstat::load_board_library();
  if (!library.loaded) {
    fprintf(stderr, "redraw_bench: %s\n", library.error.c_str());
    return 1;
  }
  if (getenv("TERM") == nullptr) setenv("TERM", "xterm", 1);
  boardstat::use_screen_output();  // as the console does
  // --screen: the number of lines of the measured screen and of flushes the console makes
  // while drawing it.
  if (argc == 2 && std::string(argv[1]) == "--screen") {
    const ScreenText& text = screen_text();
    DiscardingBuffer buffer;
    std::ostream out(&buffer);
    const size_t before = g_allocations;
    boardstat::draw_screen(out, screen_state());
    printf("%zu %d %zu\n", text.lines.size(), text.flushes, g_allocations - before);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
