// PacketEngine: PCI Express packet state, payload limits, counters and flags.
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"PacketEngine", "^--------------------------", "^-----------", 1};

}  // namespace

void draw_packet_engine(std::ostream& out, KvHandle /*vfg*/, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  end_panel(out, kFrame);
}

}  // namespace boardstat
