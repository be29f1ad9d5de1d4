// PacketEngine: PCI Express packet state, payload limits, counters and flags.
#include "board/registers/packet_engine.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "display/power_of_two.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

namespace reg = packet_engine;

constexpr PanelFrame kFrame{"PacketEngine", "^--------------------------", "^-----------", 1};

void payload_line(std::ostream& out, KvHandle vfg, const Register& r) {
  power_of_two_line(out, r.name, reg::kPayloadUnitBytes, KvRegPeek(vfg, r), " bytes");
}

}  // namespace

void draw_packet_engine(std::ostream& out, KvHandle vfg, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  value_line(out, "State", reg::kStateText(KvRegPeek(vfg, reg::kState)));
  payload_line(out, vfg, reg::kMaxPayloadSystem);
  payload_line(out, vfg, reg::kMaxPayloadUser);
  value_line(out, reg::kPacketsSent.name, KvRegPeek(vfg, reg::kPacketsSent));
  value_line(out, reg::kPacketsDropped.name, KvRegPeek(vfg, reg::kPacketsDropped));
  flag_set_line(out, vfg, "Flags", reg::kControlFlags);
  flag_set_line(out, vfg, "Errors", reg::kErrorFlags);
  end_panel(out, kFrame);
}

}  // namespace boardstat
