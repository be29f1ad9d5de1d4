// CameraLink: which of the channels X, Y and Z are enabled, the tap and bit-depth mode, and
// whether FVAL and DVAL are used.
#include "board/registers/camera_link.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

namespace reg = camera_link;

constexpr PanelFrame kFrame{"CameraLink     ", "------^--------------------", "------^--------", 2};

}  // namespace

void draw_camera_link(std::ostream& out, KvHandle vfg, int expanded) {
  out << std::right;
  if (!begin_panel(out, kFrame, expanded)) return;
  const uint32_t channels = KvRegPeek(vfg, reg::kChannelEnable);
  for (const Field& channel : {reg::kChannelX, reg::kChannelY, reg::kChannelZ}) {
    value_line(out, channel.name, kEnabledDisabled(channel.extract(channels)));
  }
  value_line(out, "Mode", reg::kModeText(KvRegPeek(vfg, reg::kMode)));
  value_line(out, "Use FVAL", kYesNo(KvRegPeek(vfg, reg::kUseFval)));
  value_line(out, "Use DVAL", kYesNo(KvRegPeek(vfg, reg::kUseDval)));
  end_panel(out, kFrame);
}

}  // namespace boardstat
