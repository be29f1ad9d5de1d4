#include "exporter/process_figures.h"

namespace boardstat {

std::optional<ProcessFigures> read_process_figures() {
  return std::nullopt;
}

}  // namespace boardstat
