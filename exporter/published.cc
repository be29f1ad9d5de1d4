#include "exporter/published.h"

#include "exporter/collector.h"
#include "exporter/exposition.h"
#include "exporter/gzip.h"
#include "exporter/self_metrics.h"

namespace boardstat {

std::string exposition_now(const Collector& collector) {
  return format_exposition(collector.latest(), std::chrono::steady_clock::now());
}

Published::Published(const Collector& collector, std::chrono::milliseconds refresh_interval,
                     const RequestStats* requests)
    : collector_(collector), refresh_interval_(refresh_interval), requests_(requests) {}

void Published::write(const Snapshot& snapshot) {
  auto rendered = std::make_shared<RenderedExposition>();
  rendered->data_time = snapshot.published;
  rendered->plain = format_exposition(snapshot, std::chrono::steady_clock::now());
  if (requests_ != nullptr) {
    ExpositionWriter own;
    write_exporter_metrics(own, *requests_);
    rendered->plain += own.take();
  }
  rendered->gzip = gzip(rendered->plain);
  std::lock_guard<std::mutex> lock(mutex_);
  // A text written on a scrape's thread must not replace a newer one of the collector's.
  if (newest_ && newest_->data_time > rendered->data_time) return;
  newest_ = std::move(rendered);
}

RenderedPtr Published::newest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return newest_;
}

RenderedPtr Published::fresh_enough() {
  RenderedPtr newest = this->newest();
  if (newest && std::chrono::steady_clock::now() - newest->data_time < 2 * refresh_interval_) {
    return newest;
  }
  write(collector_.latest());
  return this->newest();
}

}  // namespace boardstat
