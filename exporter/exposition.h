// The Prometheus text exposition (version 0.0.4) of a collected snapshot.
#ifndef BOARDSTAT_EXPORTER_EXPOSITION_H_
#define BOARDSTAT_EXPORTER_EXPOSITION_H_

#include <stdint.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "exporter/collector.h"

namespace boardstat {

/// The content type of the exposition.
inline constexpr std::string_view kExpositionContentType =
    "text/plain; version=0.0.4; charset=utf-8";
/// The metric types the exposition's families have.
inline constexpr std::string_view kCounter = "counter";
inline constexpr std::string_view kGauge = "gauge";

/// A label value with backslash, double quote and line feed escaped.
std::string escape_label_value(std::string_view value);
/// A HELP text with backslash and line feed escaped.
std::string escape_help(std::string_view help);
/// A sample value: whole numbers exactly, others in the shortest form that reads back the same.
std::string format_value(double value);
std::string format_value(uint64_t value);

using Label = std::pair<std::string_view, std::string_view>;

/// Builds an exposition family by family: HELP and TYPE once, then the family's samples.
class ExpositionWriter {
 public:
  void family(std::string_view name, std::string_view type, std::string_view help);
  void sample(std::string_view name, std::initializer_list<Label> labels, std::string_view value);
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

/// The whole exposition of `snapshot`, its data age taken at `now`.
std::string format_exposition(const Snapshot& snapshot, std::chrono::steady_clock::time_point now);

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_EXPOSITION_H_
