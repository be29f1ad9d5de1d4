// Board traffic of every panel and the time the SystemProbe panel takes, on the built-in
// simulated board. This program provides the four board access functions itself, as the
// boardsim library does (one board system, calls passed straight through), so that it can read
// the access trace panel by panel and see the board clock the probe runs on.
//
//   board_figures calls            one line per panel: calls collapsed and expanded, reads,
//                                  writes, repeated reads, registers
//   board_figures probe N          N expanded SystemProbe panels: wall time, the sum of the
//                                  board durations of their measurements, and the ratio
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/board_access.h"
#include "console/banner.h"
#include "panels/panels.h"
#include "sim/board_system.h"

namespace {

using boardsim::Picoseconds;

// The board's steady clock, remembering what it last told the board.
class WatchedClock : public boardsim::Clock {
 public:
  Picoseconds now() const override {
    last_ = steady_.now();
    return last_;
  }
  Picoseconds last() const { return last_; }

 private:
  boardsim::SteadyClock steady_;
  mutable Picoseconds last_ = 0;
};

// One probe measurement as the board saw it.
struct ProbeRun {
  boardsim::ProbeSettings settings;
  Picoseconds t0 = 0;  // board time of the start write
};

struct Board {
  boardsim::VfgDescription vfg0;  // a copy, for the probe model
  WatchedClock* clock = nullptr;
  Picoseconds opened = 0;  // VFG 0's board time origin
  std::unique_ptr<boardsim::BoardSystem> system;
  FILE* trace = nullptr;
  std::map<uint32_t, uint32_t> probe_registers;  // what the console last wrote, VFG 0
  std::vector<ProbeRun> probe_runs;
};

Board& board() {
  static Board* const b = [] {
    auto* made = new Board;
    boardsim::ParseResult parsed =
        boardsim::parse_board_description(boardsim::default_board_text(), "default.board");
    if (!parsed.ok()) abort();
    made->vfg0 = parsed.board.vfgs.at(0);
    auto clock = std::make_unique<WatchedClock>();
    made->clock = clock.get();
    made->trace = tmpfile();
    made->system = std::make_unique<boardsim::BoardSystem>(std::move(parsed.board),
                                                           std::move(clock), made->trace);
    return made;
  }();
  return *b;
}

}  // namespace

extern "C" {

int32_t LmSysBrdFind(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  return board().system->find(family, index, entry);
}

int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t /*option*/) {
  Board& b = board();
  const int32_t result = b.system->open(entry, handle);
  // The model took its origin from the clock's last reading, made while opening.
  if (result == 0 && entry->words[0] == 0) b.opened = b.clock->last();
  return result;
}

uint32_t KvRegPeek(KvHandle vfg, uint32_t reg) {
  return board().system->peek(vfg, reg);
}

int32_t KvRegPoke(KvHandle vfg, uint32_t reg, uint32_t value) {
  Board& b = board();
  const int32_t result = b.system->poke(vfg, reg, value);
  if (vfg == reinterpret_cast<KvHandle>(uintptr_t{1})) {
    b.probe_registers[reg] = value;
    if (reg == boardsim::kProbeGoRegister && value == 1) {
      ProbeRun run;
      auto& r = b.probe_registers;
      run.settings = {r[boardsim::kProbeCountSource], r[boardsim::kProbeCountEdge],
                      r[boardsim::kProbeStopSource],  r[boardsim::kProbeStopEdge],
                      r[boardsim::kProbeStartSource], r[boardsim::kProbeStartEdge],
                      r[boardsim::kProbeStopCount]};
      // The write read the clock once, for the measurement's start.
      run.t0 = b.clock->last() - b.opened;
      b.probe_runs.push_back(run);
    }
  }
  return result;
}

}  // extern "C"

namespace {

KvHandle open_vfg0() {
  LmBrdEntry entry{};
  KvHandle handle = nullptr;
  if (LmSysBrdFind(kLmBoardFamily, 0, &entry) != 0 || LmBrdOpen(&entry, &handle, 0) != 0) {
    fprintf(stderr, "board_figures: VFG 0 of the built-in board cannot be opened\n");
    exit(1);
  }
  return handle;
}

// The trace lines written since the last call.
std::vector<std::string> new_trace_lines() {
  static long read_up_to = 0;
  FILE* trace = board().trace;
  fflush(trace);
  const long end = ftell(trace);
  std::string text(static_cast<size_t>(end - read_up_to), '\0');
  fseek(trace, read_up_to, SEEK_SET);
  if (fread(text.data(), 1, text.size(), trace) != text.size()) abort();
  fseek(trace, end, SEEK_SET);
  read_up_to = end;
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Traffic {
  int reads = 0;
  int writes = 0;
  int repeated_reads = 0;  // a register read again with no write of any register between
  std::set<uint32_t> read_registers;
  std::set<uint32_t> written_registers;
};

Traffic traffic(const std::vector<std::string>& lines) {
  Traffic t;
  std::set<uint32_t> read_since_write;
  for (const std::string& line : lines) {
    unsigned vfg = 0;
    unsigned reg = 0;
    unsigned value = 0;
    if (sscanf(line.c_str(), "peek %u %u -> %u", &vfg, &reg, &value) == 3) {
      ++t.reads;
      t.read_registers.insert(reg);
      if (!read_since_write.insert(reg).second) ++t.repeated_reads;
    } else if (sscanf(line.c_str(), "poke %u %u %u", &vfg, &reg, &value) == 3) {
      ++t.writes;
      t.written_registers.insert(reg);
      read_since_write.clear();
    }
  }
  return t;
}

std::string registers_text(const std::set<uint32_t>& regs) {
  std::string text;
  for (uint32_t reg : regs) text += (text.empty() ? "" : " ") + std::to_string(reg);
  return text.empty() ? "-" : text;
}

using Draw = void (*)(std::ostream&, KvHandle, int);

void banner(std::ostream& out, KvHandle vfg, int) {
  boardstat::draw_banner(out, vfg, 0, 3);
}

struct Section {
  const char* name;
  Draw draw;
};

constexpr Section kSections[] = {
    {"Banner", banner},
    {"CameraLink", boardstat::draw_camera_link},
    {"PixelRouter", boardstat::draw_pixel_router},
    {"AcquisitionEngine", boardstat::draw_acquisition_engine},
    {"BufferManager", boardstat::draw_buffer_manager},
    {"PacketEngine", boardstat::draw_packet_engine},
    {"TimingSequencer", boardstat::draw_timing_sequencer},
    {"IO", boardstat::draw_io_box},
};

// name collapsed expanded reads writes repeated lines read-registers | written-registers
int print_calls() {
  const KvHandle vfg = open_vfg0();
  new_trace_lines();
  for (const Section& s : kSections) {
    std::ostringstream collapsed_text;
    s.draw(collapsed_text, vfg, 0);
    const size_t collapsed = new_trace_lines().size();
    std::ostringstream expanded_text;
    s.draw(expanded_text, vfg, 1);
    const std::vector<std::string> lines = new_trace_lines();
    const Traffic t = traffic(lines);
    const std::string screen = expanded_text.str();
    const auto screen_lines = std::count(screen.begin(), screen.end(), '\n');
    printf("%s %zu %zu %d %d %d %ld %s | %s\n", s.name, collapsed, lines.size(), t.reads, t.writes,
           t.repeated_reads, static_cast<long>(screen_lines),
           registers_text(t.read_registers).c_str(), registers_text(t.written_registers).c_str());
  }
  return 0;
}

// When the measurement started at `run.t0` ends on the board, relative to its start, or the
// console's time limit when that comes first (the console cannot finish sooner).
double board_seconds(const Board& b, const ProbeRun& run, double limit_seconds) {
  const boardsim::Measurement m(run.settings, b.vfg0.signals, run.t0);
  const auto limit = static_cast<Picoseconds>(limit_seconds * 1e12);
  if (m.busy(run.t0 + limit)) return limit_seconds;
  Picoseconds lo = 0;      // busy at t0 + lo, or lo == 0
  Picoseconds hi = limit;  // not busy at t0 + hi
  while (hi - lo > 1) {
    const Picoseconds mid = lo + (hi - lo) / 2;
    (m.busy(run.t0 + mid) ? lo : hi) = mid;
  }
  return static_cast<double>(hi) * 1e-12;
}

// The time limit of a measurement, from its settings as the SystemProbe panel chooses them:
// 0.25 s for a CC pulse width (start and stop on the same CC signal), 1 s for every other.
double time_limit(const boardsim::ProbeSettings& s) {
  const bool cc_width =
      s.start_source == s.stop_source && s.start_source >= 47 && s.start_source <= 50;
  return cc_width ? 0.25 : 1.0;
}

int print_probe(int panels) {
  Board& b = board();
  const KvHandle vfg = open_vfg0();
  for (int i = 0; i < panels; ++i) {
    b.probe_runs.clear();
    std::ostringstream out;
    const auto start = std::chrono::steady_clock::now();
    boardstat::draw_system_probe(out, vfg, 1);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    double board_sum = 0;
    int timed_out = 0;
    for (const ProbeRun& run : b.probe_runs) {
      const double limit = time_limit(run.settings);
      const double seconds = board_seconds(b, run, limit);
      board_sum += seconds;
      if (seconds >= limit) ++timed_out;
    }
    printf("%.6f %.6f %.4f %zu %d\n", wall.count(), board_sum, wall.count() / board_sum,
           b.probe_runs.size(), timed_out);
    new_trace_lines();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "calls") == 0) return print_calls();
  if (argc >= 3 && strcmp(argv[1], "probe") == 0) return print_probe(atoi(argv[2]));
  fprintf(stderr, "usage: board_figures calls | board_figures probe N\n");
  return 2;
}
