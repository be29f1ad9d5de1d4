// The exposition as written once per refresh: the text, and the same text gzipped. A scrape
// sends one of them as it is.
#ifndef BOARDSTAT_EXPORTER_RENDERED_H_
#define BOARDSTAT_EXPORTER_RENDERED_H_

#include <chrono>
#include <memory>
#include <string>

namespace boardstat {

struct RenderedExposition {
  std::string plain;
  std::string gzip;  // empty where the build has no zlib: every client gets the plain text
  std::chrono::steady_clock::time_point data_time;  // when the collector published its data
};

using RenderedPtr = std::shared_ptr<const RenderedExposition>;

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_RENDERED_H_
