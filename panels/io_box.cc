// I/O box: the raw inputs of the Torvel IO box and the routing of trigger, encoders, CC outputs and
// LED.
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"IO", "^--------------------------", "^-", 1};

}  // namespace

void draw_io_box(std::ostream& out, KvHandle /*vfg*/, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  end_panel(out, kFrame);
}

}  // namespace boardstat
