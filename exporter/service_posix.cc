#include "exporter/service.h"

namespace boardstat {

std::optional<int> run_if_started_as_service(const std::vector<std::string>&, const ExporterWork&) {
  return std::nullopt;
}

}  // namespace boardstat
