// The exposition as the exporter hands it out. --once and the textfile write the collector's
// newest snapshot as it is at that moment; the HTTP mode writes it once a refresh, on the
// collector's thread, with its gzipped copy, and a scrape sends one of those as it is.
#ifndef BOARDSTAT_EXPORTER_PUBLISHED_H_
#define BOARDSTAT_EXPORTER_PUBLISHED_H_

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "exporter/request_stats.h"

namespace boardstat {

class Collector;
struct Snapshot;

/// The collector's newest snapshot as an exposition, its data age taken now.
std::string exposition_now(const Collector& collector);

struct RenderedExposition {
  std::string plain;
  std::string gzip;  // empty where the build has no zlib: every client gets the plain text
  std::chrono::steady_clock::time_point data_time;  // when the collector published its data
};

using RenderedPtr = std::shared_ptr<const RenderedExposition>;

class Published {
 public:
  /// `requests`: the server's counts, added after the boards' metrics; null leaves out the
  /// exporter's own metrics.
  Published(const Collector& collector, std::chrono::milliseconds refresh_interval,
            const RequestStats* requests);

  /// Writes the exposition of `snapshot`, unless a newer one is written already.
  void write(const Snapshot& snapshot);

  /// The newest exposition, unless its data are older than two refreshes (a board call that
  /// hangs): then one is written anew, so that boardstat_collector_data_age_seconds shows how
  /// old the data have grown by now, not by the last text written.
  RenderedPtr fresh_enough();

 private:
  RenderedPtr newest() const;

  const Collector& collector_;
  const std::chrono::milliseconds refresh_interval_;
  const RequestStats* const requests_;
  mutable std::mutex mutex_;
  RenderedPtr newest_;
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_PUBLISHED_H_
