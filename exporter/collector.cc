#include "exporter/collector.h"

#include <stdio.h>

#include <thread>

#include "board/rate_probe.h"
#include "board/registers/firmware.h"

namespace boardstat {
namespace {

using SteadyClock = std::chrono::steady_clock;

double unix_seconds_now() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(since_epoch).count();
}

// The firmware build date and time as the banner shows them: the registers hold BCD digits,
// which read as hexadecimal.
std::string hex_field(uint32_t value, int width) {
  char text[16];
  snprintf(text, sizeof text, "%0*x", width, static_cast<unsigned>(value));
  return text;
}

std::vector<uint32_t> masks_of(const CounterMetric* counts, size_t n) {
  std::vector<uint32_t> masks;
  for (size_t i = 0; i < n; ++i) masks.push_back(counts[i].reg.count_mask);
  return masks;
}

// A read of counts that took longer than this (the process was stopped or preempted during it)
// is made again, so that the time given to the readings is theirs.
constexpr double kCountReadLimit = 0.001;
constexpr int kCountReadTries = 4;

}  // namespace

Collector::Vfg::Vfg() : acquired(masks_of(kAcquiredCounts, kAcquiredCountCount)) {
  for (const CounterMetric& c : kEngineCounts) engine.emplace_back(masks_of(&c, 1));
  for (size_t i = 0; i < kFlagSetCount; ++i) {
    snapshot.flags[i].assign(kFlagSets[i].flag_count, false);
    snapshot.latch_sets[i].assign(kFlagSets[i].flag_count, 0);
  }
}

Collector::Collector(const CollectorOptions& options)
    : options_(options), start_(SteadyClock::now()) {}

double Collector::seconds_since_start(SteadyClock::time_point t) const {
  return std::chrono::duration<double>(t - start_).count();
}

void Collector::report(const std::string& line) const {
  if (options_.report) options_.report(line);
}

bool Collector::load_library() {
  library_ = load_board_library();
  if (!library_.loaded && !library_failure_told_) {
    library_failure_told_ = true;
    report(library_.error + " (trying again every " +
           std::to_string(options_.discovery_interval.count()) + " ms)");
  } else if (library_.loaded && library_failure_told_) {
    report("board access library loaded: " + library_.path);
  }
  return library_.loaded;
}

void Collector::discover() {
  vfgs_.clear();
  vfgs_.reserve(kMaxVfgs);
  if (!load_library()) return;
  find_vfgs(vfgs_, OnFailedOpen::kGoOn);
  found_ = vfgs_.size();
  tell_left_out();
  // The lock folder is the same for every VFG: one line says it all.
  if (options_.probe != ProbeSet::kNone && !vfgs_.empty()) {
    const std::string problem = vfg_lock_problem(0);
    if (!problem.empty()) {
      report("no VFG lock (" + problem + "): the probe runs without, beside consoles too");
    }
  }
}

// VFGs past the limit are counted once, when the limit is first reached, and said once.
void Collector::tell_left_out() {
  if (left_out_told_ || vfgs_.size() < kMaxVfgs) return;
  left_out_told_ = true;
  const size_t left_out = count_vfgs_left_out();
  if (left_out == 0) return;
  report(vfgs_text(left_out) + " left out: the exporter reads the first " +
         std::to_string(kMaxVfgs));
}

// VFGs that appeared since the last look: a board powered on, a driver loaded late.
bool Collector::look_again() {
  if (!library_.loaded && !load_library()) return false;
  const size_t before = vfgs_.size();
  find_vfgs(vfgs_, OnFailedOpen::kGoOn);
  for (size_t i = before; i < vfgs_.size(); ++i) {
    report("VFG " + std::to_string(i) + " found" +
           (vfgs_[i].open ? " and opened" : "; it does not open yet, trying again every refresh"));
  }
  found_ = vfgs_.size();
  tell_left_out();
  return vfgs_.size() > before;
}

// Returns when the counts were read, in seconds since the start, to within kCountReadLimit
// unless every try was interrupted.
double Collector::read_counts(KvHandle handle, const CounterMetric* counts, size_t n,
                              uint32_t* raws) const {
  double before = 0;
  double after = 0;
  for (int tries = 0; tries < kCountReadTries; ++tries) {
    before = seconds_since_start(SteadyClock::now());
    for (size_t i = 0; i < n; ++i) raws[i] = KvRegPeek(handle, counts[i].reg);
    after = seconds_since_start(SteadyClock::now());
    if (after - before <= kCountReadLimit) break;
  }
  return (before + after) / 2;
}

void Collector::poll_counts() {
  ++polls_;
  for (Vfg& vfg : vfgs_) {
    if (!vfg.open) continue;
    uint32_t raws[kAcquiredCountCount];
    const double read_at = read_counts(vfg.handle, kAcquiredCounts, kAcquiredCountCount, raws);
    vfg.acquired.update(raws, read_at,
                        std::chrono::duration<double>(options_.collect_interval).count());
  }
}

void Collector::read_engine_counts(Vfg& vfg) {
  for (size_t i = 0; i < kEngineCountCount; ++i) {
    uint32_t raw;
    const double read_at = read_counts(vfg.handle, &kEngineCounts[i], 1, &raw);
    vfg.engine[i].update(&raw, read_at,
                         std::chrono::duration<double>(options_.refresh_interval).count());
  }
}

void Collector::read_registers(Vfg& vfg) {
  VfgSnapshot& s = vfg.snapshot;
  const KvHandle h = vfg.handle;
  s.firmware_date = hex_field(KvRegPeek(h, firmware::kBuildDateFirst), 2) + "/" +
                    hex_field(KvRegPeek(h, firmware::kBuildDateSecond), 2) + "/" +
                    hex_field(KvRegPeek(h, firmware::kBuildYear), 4);
  s.firmware_time = hex_field(KvRegPeek(h, firmware::kBuildHour), 2) + ":" +
                    hex_field(KvRegPeek(h, firmware::kBuildMinute), 2);
  for (size_t i = 0; i < kStateSetCount; ++i) s.states[i] = KvRegPeek(h, kStateSets[i].reg);
  for (size_t i = 0; i < kFlagSetCount; ++i) {
    for (size_t f = 0; f < kFlagSets[i].flag_count; ++f) {
      const bool set = KvRegPeek(h, kFlagSets[i].flags[f].reg) != 0;
      if (set && !s.flags[i][f] && vfg.flags_read) ++s.latch_sets[i][f];
      s.flags[i][f] = set;
    }
  }
  vfg.flags_read = true;
}

bool Collector::probe_wanted(size_t figure) const {
  return options_.probe == ProbeSet::kAll ||
         (options_.probe == ProbeSet::kBasic && kProbeFigures[figure].basic);
}

size_t Collector::next_figure(size_t after) const {
  size_t figure = after;
  while (figure < kProbeFigureCount && !probe_wanted(figure)) ++figure;
  return figure;
}

// One step of the VFG's probe round: start a round when it is due, else look at the running
// measurement once and, when it has ended or run out of time, start the next figure.
void Collector::step_probe(Vfg& vfg, SteadyClock::time_point now) {
  if (options_.probe == ProbeSet::kNone || !vfg.open) return;
  ProbeRun& run = vfg.probe;
  if (!run.running) {
    if (now < run.next_round) return;
    run.next_round = now + options_.probe_interval;
    run.figure = next_figure(0);
  } else {
    const ProbeFigure& figure = kProbeFigures[run.figure];
    std::optional<ProbeResult>& result = vfg.snapshot.probe[run.figure];
    if (run.lock.wanted()) {
      // A console or a snapshot waits for the probe: the figure keeps its last value, and the
      // round ends here.
      run.lock.release();
      run.running = false;
      ++vfg.snapshot.skipped_probe_rounds;
      ++run.rounds_done;
      return;
    }
    if (!rate_probe_busy(vfg.handle)) {
      const double count = read_rate_probe_count(vfg.handle);  // whole, up to 2^24 exact
      result =
          ProbeResult{probe_value(measurement_of(figure).conversion, count), unix_seconds_now()};
    } else if (rate_probe_timed_out(run.started_ms, steady_milliseconds(),
                                    measurement_of(figure).probe.time_limit)) {
      result.reset();  // "Unknown": the series is left out
    } else {
      return;
    }
    run.lock.release();
    run.figure = next_figure(run.figure + 1);
  }
  run.running = run.figure < kProbeFigureCount;
  if (run.running) {
    // The exporter never waits for a VFG: while a console or a snapshot holds its lock or
    // waits for it, the rest of the round is given up, and the figures keep their last values.
    run.lock = VfgLock::try_take(vfg.handle);
    if (!run.lock.go_ahead()) {
      run.running = false;
      ++vfg.snapshot.skipped_probe_rounds;
    }
  }
  if (!run.running) ++run.rounds_done;
  if (run.running) {
    start_rate_probe(vfg.handle, measurement_of(kProbeFigures[run.figure]).probe);
    run.started_ms = steady_milliseconds();
  }
}

void Collector::refresh() {
  for (Vfg& vfg : vfgs_) {
    if (!vfg.open && open_vfg(vfg)) {
      report("VFG " + std::to_string(&vfg - vfgs_.data()) + " opened");
    }
    vfg.snapshot.up = vfg.open;
    if (!vfg.open) continue;
    read_engine_counts(vfg);
    read_registers(vfg);
  }
}

void Collector::publish(double collection_seconds) {
  Snapshot next;
  next.collected = true;
  next.board_library = library_;
  next.vfgs_found = found_;
  next.collection_seconds = collection_seconds;
  next.published = SteadyClock::now();
  next.published_wall = std::chrono::system_clock::now();
  next.count_polls = polls_;
  next.vfg_names = options_.vfg_names;
  next.vfgs.reserve(vfgs_.size());
  for (Vfg& vfg : vfgs_) {
    VfgSnapshot& s = vfg.snapshot;
    for (size_t i = 0; i < kAcquiredCountCount; ++i) {
      s.acquired[i] = vfg.acquired[i].total() * kAcquiredCounts[i].reg.count_unit;
    }
    s.acquired_clears = vfg.acquired.clears();
    for (size_t i = 0; i < kEngineCountCount; ++i) {
      s.engine_counts[i] = vfg.engine[i][0].total() * kEngineCounts[i].reg.count_unit;
    }
    next.vfgs.push_back(s);
  }
  if (on_publish_) on_publish_(next);
  std::lock_guard<std::mutex> lock(mutex_);
  published_ = std::move(next);
}

void Collector::collect_once(bool with_probe) {
  const auto began = SteadyClock::now();
  poll_counts();
  refresh();
  if (with_probe) {
    // Every VFG measures one round of figures, all VFGs at the same time, each on its own
    // probe; each wait is bounded by its figure's time limit.
    for (;;) {
      bool running = false;
      const auto now = SteadyClock::now();
      for (Vfg& vfg : vfgs_) {
        if (!vfg.open || vfg.probe.rounds_done > 0) continue;
        step_probe(vfg, now);
        running = true;
      }
      if (!running) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  publish(std::chrono::duration<double>(SteadyClock::now() - began).count());
}

void Collector::run() {
  auto next_poll = SteadyClock::now();
  auto next_refresh = next_poll;
  auto next_discovery = next_poll + options_.discovery_interval;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const auto now = SteadyClock::now();
    poll_counts();
    for (Vfg& vfg : vfgs_) step_probe(vfg, now);
    // VFGs found by a look are refreshed and published at once.
    if (now >= next_discovery && vfgs_.size() < kMaxVfgs) {
      next_discovery = now + options_.discovery_interval;
      if (look_again()) next_refresh = now;
    }
    if (now >= next_refresh) {
      refresh();
      publish(std::chrono::duration<double>(SteadyClock::now() - now).count());
      next_refresh += options_.refresh_interval;
      if (next_refresh <= now) next_refresh = now + options_.refresh_interval;
    }
    // A late tick is not made up for: the next one is one interval from now.
    next_poll += options_.collect_interval;
    if (next_poll <= now) next_poll = now + options_.collect_interval;
    lock.lock();
    wake_.wait_until(lock, next_poll, [this] { return stopping_; });
  }
}

void Collector::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
}

Snapshot Collector::latest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return published_;
}

}  // namespace boardstat
