// AcquisitionEngine: run level, acquired counts and the four acquisition windows.
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"AcquistionEngine", "^--------------------------", "^---------------",
                            1};

}  // namespace

void draw_acquisition_engine(std::ostream& out, KvHandle /*vfg*/, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  end_panel(out, kFrame);
}

}  // namespace boardstat
