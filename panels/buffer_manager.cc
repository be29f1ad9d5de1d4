// BufferManager: descriptor state machine, quad counters and error flags.
#include "board/registers/buffer_manager.h"
#include "display/format.h"
#include "display/panel_frame.h"
#include "display/power_of_two.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

namespace reg = buffer_manager;

constexpr PanelFrame kFrame{"BufferManager", "^--------------------------", "^------------", 1};

void number_line(std::ostream& out, KvHandle vfg, const Register& r) {
  value_line(out, r.name, KvRegPeek(vfg, r));
}

}  // namespace

void draw_buffer_manager(std::ostream& out, KvHandle vfg, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  value_line(out, "RunLevel", reg::kRunLevelText(KvRegPeek(vfg, reg::kRunLevel)));
  value_line(out, "State", reg::kStateText(KvRegPeek(vfg, reg::kState)));
  power_of_two_line(out, "Max quads per fetch", 1.0, KvRegPeek(vfg, reg::kMaxQuadsPerFetch));
  power_of_two_line(out, "Current quads per fetch", 1.0,
                    KvRegPeek(vfg, reg::kCurrentQuadsPerFetch));
  number_line(out, vfg, reg::kQuadsCached);
  number_line(out, vfg, reg::kQTabsLoaded);
  number_line(out, vfg, reg::kQTabsUsed);
  number_line(out, vfg, reg::kQuadsLoaded);
  number_line(out, vfg, reg::kQuadsUsed);
  flag_set_line(out, vfg, "Errors", reg::kErrorFlags);
  end_panel(out, kFrame);
}

}  // namespace boardstat
