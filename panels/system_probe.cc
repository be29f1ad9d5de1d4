// SystemProbe: live rates, widths and intervals measured with the board's rate probe.
#include "display/panel_frame.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"SystemProbe", "--------^------------------", "--------^--", 2};

}  // namespace

void draw_system_probe(std::ostream& out, KvHandle /*vfg*/, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  end_panel(out, kFrame);
}

}  // namespace boardstat
