// BufferManager: descriptor state machine, quad counters and error flags.
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"BufferManager", "^--------------------------", "^------------", 1};

}  // namespace

void draw_buffer_manager(std::ostream& out, KvHandle /*vfg*/, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  end_panel(out, kFrame);
}

}  // namespace boardstat
