// TimingSequencer: the sequencer's program of CT output states.
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"TimingSequencer", "^--------------------------", "^--------------", 1};

}  // namespace

void draw_timing_sequencer(std::ostream& out, KvHandle /*vfg*/, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  end_panel(out, kFrame);
}

}  // namespace boardstat
