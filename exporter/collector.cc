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

}  // namespace

Collector::Vfg::Vfg() {
  for (const CounterMetric& c : kAcquiredCounts) acquired.emplace_back(c.reg.count_mask);
  for (const CounterMetric& c : kEngineCounts) engine.emplace_back(c.reg.count_mask);
  for (size_t i = 0; i < kFlagSetCount; ++i) {
    snapshot.flags[i].assign(kFlagSets[i].flag_count, false);
  }
}

Collector::Collector(const CollectorOptions& options)
    : options_(options), start_(SteadyClock::now()) {}

double Collector::seconds_since_start(SteadyClock::time_point t) const {
  return std::chrono::duration<double>(t - start_).count();
}

void Collector::discover() {
  vfgs_.clear();
  vfgs_.reserve(kMaxVfgs);
  for (uint32_t index = 0; index < kMaxVfgs; ++index) {
    LmBrdEntry entry{};
    if (LmSysBrdFind(kLmBoardFamily, index, &entry) != 0) break;
    Vfg& vfg = vfgs_.emplace_back();
    vfg.entry = entry;
    vfg.open = LmBrdOpen(&vfg.entry, &vfg.handle, 0) == 0;
  }
  found_ = vfgs_.size();
}

void Collector::poll_counts(double now_seconds) {
  ++polls_;
  for (Vfg& vfg : vfgs_) {
    if (!vfg.open) continue;
    uint32_t raws[kAcquiredCountCount];
    for (size_t i = 0; i < kAcquiredCountCount; ++i) {
      raws[i] = KvRegPeek(vfg.handle, kAcquiredCounts[i].reg);
    }
    update_together(vfg.acquired.data(), raws, kAcquiredCountCount, now_seconds);
  }
}

void Collector::read_engine_counts(Vfg& vfg, double now_seconds) {
  for (size_t i = 0; i < kEngineCountCount; ++i) {
    const uint32_t raw = KvRegPeek(vfg.handle, kEngineCounts[i].reg);
    ExtendedCount& count = vfg.engine[i];
    if (count.shows_clear(raw)) {
      count.restart(raw, now_seconds);
    } else {
      count.advance(raw, now_seconds);
    }
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
      s.flags[i][f] = KvRegPeek(h, kFlagSets[i].flags[f].reg) != 0;
    }
  }
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
    run.figure = next_figure(run.figure + 1);
  }
  run.running = run.figure < kProbeFigureCount;
  if (!run.running) ++run.rounds_done;
  if (run.running) {
    start_rate_probe(vfg.handle, measurement_of(kProbeFigures[run.figure]).probe);
    run.started_ms = steady_milliseconds();
  }
}

void Collector::refresh(double now_seconds) {
  for (Vfg& vfg : vfgs_) {
    if (!vfg.open) vfg.open = LmBrdOpen(&vfg.entry, &vfg.handle, 0) == 0;
    vfg.snapshot.up = vfg.open;
    if (!vfg.open) continue;
    read_engine_counts(vfg, now_seconds);
    read_registers(vfg);
  }
}

void Collector::publish(double collection_seconds) {
  Snapshot next;
  next.collected = true;
  next.vfgs_found = found_;
  next.collection_seconds = collection_seconds;
  next.published = SteadyClock::now();
  next.count_polls = polls_;
  next.vfgs.reserve(vfgs_.size());
  for (Vfg& vfg : vfgs_) {
    VfgSnapshot& s = vfg.snapshot;
    for (size_t i = 0; i < kAcquiredCountCount; ++i) {
      s.acquired[i] = vfg.acquired[i].total() * kAcquiredCounts[i].reg.count_unit;
    }
    s.acquired_clears = vfg.acquired.empty() ? 0 : vfg.acquired[0].clears();
    for (size_t i = 0; i < kEngineCountCount; ++i) {
      s.engine_counts[i] = vfg.engine[i].total() * kEngineCounts[i].reg.count_unit;
    }
    next.vfgs.push_back(s);
  }
  if (on_publish_) on_publish_(next);
  std::lock_guard<std::mutex> lock(mutex_);
  published_ = std::move(next);
}

void Collector::collect_once(bool with_probe) {
  const auto began = SteadyClock::now();
  poll_counts(seconds_since_start(began));
  refresh(seconds_since_start(began));
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
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const auto now = SteadyClock::now();
    poll_counts(seconds_since_start(now));
    for (Vfg& vfg : vfgs_) step_probe(vfg, now);
    if (now >= next_refresh) {
      refresh(seconds_since_start(now));
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
