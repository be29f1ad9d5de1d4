// PixelRouter: how camera taps are routed onto the output banks.
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"PixelRouter", "-----^---------------------", "-----^-----", 2};

}  // namespace

void draw_pixel_router(std::ostream& out, KvHandle /*vfg*/, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  end_panel(out, kFrame);
}

}  // namespace boardstat
