// CameraLink: which of the channels X, Y and Z are enabled, the tap and bit-depth mode, and
// whether FVAL and DVAL are used.
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"CameraLink     ", "------^--------------------", "------^--------", 2};

constexpr uint32_t kChannelEnable = 2854;  // bit 0: X, bit 1: Y, bit 2: Z
constexpr uint32_t kMode = 2856;
constexpr uint32_t kUseFval = 2852;
constexpr uint32_t kUseDval = 2853;

constexpr std::string_view kModeTexts[] = {
    "Base/Medium/Full, 8-bit",
    "Base/Medium/Full, 10-bit or 12-bit",
    "Base/Medium/Full, 14-bit or 16-bit",
    "Ten tap, 8-bit",
    "Eight tap, 10-bit",
};
constexpr Enumeration kModeText = make_enumeration(kModeTexts, kUnknown);

}  // namespace

void draw_camera_link(std::ostream& out, KvHandle vfg, int expanded) {
  out << std::right;
  if (!begin_panel(out, kFrame, expanded)) return;
  const uint32_t channels = KvRegPeek(vfg, kChannelEnable);
  value_line(out, "Channel X", kEnabledDisabled(channels & 1u));
  value_line(out, "Channel Y", kEnabledDisabled(channels & 2u));
  value_line(out, "Channel Z", kEnabledDisabled(channels & 4u));
  value_line(out, "Mode", kModeText(KvRegPeek(vfg, kMode)));
  value_line(out, "Use FVAL", kYesNo(KvRegPeek(vfg, kUseFval)));
  value_line(out, "Use DVAL", kYesNo(KvRegPeek(vfg, kUseDval)));
  end_panel(out, kFrame);
}

}  // namespace boardstat
