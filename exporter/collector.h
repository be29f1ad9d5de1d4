// The collector: the one owner of every board call in the exporter. It finds and opens the
// VFGs, polls the 16-bit acquired counts every collect interval (often enough to see every
// wrap), reads the other registers once a refresh interval, runs the rate probe figure after
// figure in the background, and publishes a snapshot that a scrape only formats.
#ifndef BOARDSTAT_EXPORTER_COLLECTOR_H_
#define BOARDSTAT_EXPORTER_COLLECTOR_H_

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "board/board_access.h"
#include "board/board_library.h"
#include "board/discovery.h"
#include "board/vfg_lock.h"
#include "exporter/extended_count.h"
#include "exporter/metric_tables.h"

namespace boardstat {

/// Which rate probe figures are measured.
enum class ProbeSet { kNone, kBasic, kAll };

struct CollectorOptions {
  std::chrono::milliseconds collect_interval{5};
  std::chrono::milliseconds refresh_interval{1000};
  std::chrono::milliseconds probe_interval{10000};  // from the start of one round to the next
  ProbeSet probe = ProbeSet::kBasic;
  std::chrono::milliseconds discovery_interval{10000};  // how often it looks for more VFGs
  std::vector<std::string> vfg_names;  // the site's name of each VFG by number; empty: none
  /// Where the collector says that a VFG was found or opened, or that VFGs were left out; one
  /// line each, without the program's name. Empty: it says nothing.
  std::function<void(const std::string&)> report;
};

struct ProbeResult {
  double value;                  // in the figure's base unit
  double measured_unix_seconds;  // when the measurement ended
};

/// One VFG as last collected.
struct VfgSnapshot {
  bool up = false;  // open, and read by the last refresh
  std::string firmware_date;
  std::string firmware_time;
  std::array<uint64_t, kAcquiredCountCount> acquired{};  // in the metric's unit
  uint64_t acquired_clears = 0;
  std::array<uint64_t, kEngineCountCount> engine_counts{};
  std::array<uint32_t, kStateSetCount> states{};
  std::array<std::vector<bool>, kFlagSetCount> flags;
  // Per flag of the latch sets: how often the collector saw it go from 0 to 1. A latch already
  // set when the VFG is first read is not counted: nobody knows when it was set.
  std::array<std::vector<uint64_t>, kFlagSetCount> latch_sets;
  std::array<std::optional<ProbeResult>, kProbeFigureCount> probe;
  uint64_t skipped_probe_rounds = 0;
};

struct Snapshot {
  bool collected = false;
  BoardLibrary board_library;  // the library the VFGs are read through, or why there is none
  size_t vfgs_found = 0;
  std::vector<VfgSnapshot> vfgs;
  std::vector<std::string> vfg_names;  // as CollectorOptions::vfg_names
  double collection_seconds = 0;       // the last refresh: counts, registers and probe steps
  std::chrono::steady_clock::time_point published{};
  std::chrono::system_clock::time_point published_wall{};  // the same moment, on the wall clock
  uint64_t count_polls = 0;
};

class Collector {
 public:
  explicit Collector(const CollectorOptions& options);
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  /// Loads the board access library, finds the VFGs and opens each; one that fails to open is
  /// retried at every refresh, and run() looks for more every discovery interval while fewer
  /// than kMaxVfgs are found. A library that cannot be loaded is reported once and tried
  /// again at each of those looks.
  void discover();

  /// One collection on the calling thread: counts, registers, and, with `with_probe`, every
  /// selected figure measured to its end. Publishes the result. For --once.
  void collect_once(bool with_probe);

  /// The collector's loop, until stop() is called. Run it on its own thread.
  void run();
  void stop();

  /// A copy of the newest published snapshot.
  Snapshot latest() const;

  /// Called on the collecting thread with each snapshot as it is published, so that the
  /// exposition is written once a refresh rather than once a scrape. Set before collecting.
  void on_publish(std::function<void(const Snapshot&)> hook) { on_publish_ = std::move(hook); }

 private:
  struct ProbeRun {
    bool running = false;
    size_t figure = 0;
    uint32_t started_ms = 0;
    uint64_t rounds_done = 0;
    VfgLock lock;  // held from a figure's start to its end
    std::chrono::steady_clock::time_point next_round{};
  };
  struct Vfg : FoundVfg {
    CountGroup acquired;             // as kAcquiredCounts, cleared together
    std::vector<CountGroup> engine;  // as kEngineCounts, each alone
    ProbeRun probe;
    bool flags_read = false;
    VfgSnapshot snapshot;
    Vfg();
  };

  bool load_library();  // true when a board access library is loaded
  bool look_again();    // true when it found a VFG
  void tell_left_out();
  void report(const std::string& line) const;
  void poll_counts();
  void read_engine_counts(Vfg& vfg);
  double read_counts(KvHandle handle, const CounterMetric* counts, size_t n, uint32_t* raws) const;
  void read_registers(Vfg& vfg);
  void step_probe(Vfg& vfg, std::chrono::steady_clock::time_point now);
  bool probe_wanted(size_t figure) const;
  size_t next_figure(size_t after) const;
  void refresh();
  void publish(double collection_seconds);
  double seconds_since_start(std::chrono::steady_clock::time_point t) const;

  CollectorOptions options_;
  std::vector<Vfg> vfgs_;
  size_t found_ = 0;
  BoardLibrary library_;
  bool library_failure_told_ = false;
  bool left_out_told_ = false;
  uint64_t polls_ = 0;
  std::chrono::steady_clock::time_point start_;

  mutable std::mutex mutex_;
  Snapshot published_;
  std::function<void(const Snapshot&)> on_publish_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_COLLECTOR_H_
