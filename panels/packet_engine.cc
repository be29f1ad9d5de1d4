// PacketEngine: PCI Express packet state, payload limits, counters and flags.
#include "display/format.h"
#include "display/panel_frame.h"
#include "display/power_of_two.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"PacketEngine", "^--------------------------", "^-----------", 1};

constexpr uint32_t kState = 1919;
constexpr uint32_t kMaxPayloadSystem = 2849;  // 16 bytes times 2 to this signed exponent
constexpr uint32_t kMaxPayloadUser = 2848;    // likewise
constexpr uint32_t kPacketsSent = 1917;
constexpr uint32_t kPacketsDropped = 1918;
constexpr double kPayloadUnitBytes = 16;

constexpr std::string_view kStateTexts[] = {"SYNC", "HDR", "DAT"};
constexpr Enumeration kStateText = make_enumeration(kStateTexts, kQuestionMarks);

constexpr Flag kControlFlags[] = {
    {2851, "disablePktGen"},
    {2850, "disablePktFlushTimer"},
    {1926, "pktFlushEn"},
};

// Shown in this order, not in register order.
constexpr Flag kErrors[] = {
    {1920, "noQuadAvail"}, {1921, "vidDropped"},     {1925, "wrOnFull"},
    {1924, "rdOnEmpty"},   {1923, "newFrameResync"},
};

}  // namespace

void draw_packet_engine(std::ostream& out, KvHandle vfg, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  value_line(out, "State", kStateText(KvRegPeek(vfg, kState)));
  power_of_two_line(out, "Max PCIe payload (System)", kPayloadUnitBytes,
                    KvRegPeek(vfg, kMaxPayloadSystem), " bytes");
  power_of_two_line(out, "Max PCIe payload (User)", kPayloadUnitBytes,
                    KvRegPeek(vfg, kMaxPayloadUser), " bytes");
  value_line(out, "Num PCIe packets sent", KvRegPeek(vfg, kPacketsSent));
  value_line(out, "Num PCIe packets dropped", KvRegPeek(vfg, kPacketsDropped));
  flag_set_line(out, vfg, "Flags", kControlFlags);
  flag_set_line(out, vfg, "Errors", kErrors);
  end_panel(out, kFrame);
}

}  // namespace boardstat
