// BufferManager: descriptor state machine, quad counters and error flags.
#include "display/format.h"
#include "display/panel_frame.h"
#include "display/power_of_two.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

constexpr PanelFrame kFrame{"BufferManager", "^--------------------------", "^------------", 1};

constexpr uint32_t kRunLevel = 2702;
constexpr uint32_t kState = 2707;
constexpr uint32_t kMaxQuadsPerFetch = 2704;      // power-of-two exponent, signed
constexpr uint32_t kCurrentQuadsPerFetch = 2703;  // likewise
constexpr uint32_t kQuadsCached = 2708;
constexpr uint32_t kQTabsLoaded = 1929;
constexpr uint32_t kQTabsUsed = 1916;
constexpr uint32_t kQuadsLoaded = 1928;
constexpr uint32_t kQuadsUsed = 1927;

constexpr std::string_view kRunLevelTexts[] = {"IDLE", "RUN", "ABORT"};
constexpr Enumeration kRunLevelText = make_enumeration(kRunLevelTexts, kQuestionMarks);

constexpr std::string_view kStateTexts[] = {
    "IDLE",      "ACTIVE",       "REQ_DESC_64",  "REQ_DESC_32",
    "WAIT_DESC", "PARSE_DESC_0", "PARSE_DESC_1", "FLUSH",
};
constexpr Enumeration kStateText = make_enumeration(kStateTexts, kQuestionMarks);

constexpr Flag kErrors[] = {
    {2717, "timeoutDetected"},  {2716, "fifoOverflow"},    {2715, "quadNumMismatch"},
    {2714, "cplError"},         {2713, "sizeErrorMSB"},    {2712, "sizeErrorLSB"},
    {2711, "nextAddrErrorLSB"}, {2710, "dstAddrErrorLSB"},
};

}  // namespace

void draw_buffer_manager(std::ostream& out, KvHandle vfg, int expanded) {
  if (!begin_panel(out, kFrame, expanded)) return;
  value_line(out, "RunLevel", kRunLevelText(KvRegPeek(vfg, kRunLevel)));
  value_line(out, "State", kStateText(KvRegPeek(vfg, kState)));
  power_of_two_line(out, "Max quads per fetch", 1.0, KvRegPeek(vfg, kMaxQuadsPerFetch));
  power_of_two_line(out, "Current quads per fetch", 1.0, KvRegPeek(vfg, kCurrentQuadsPerFetch));
  value_line(out, "Quads currently Cached", KvRegPeek(vfg, kQuadsCached));
  value_line(out, "QTabs Loaded", KvRegPeek(vfg, kQTabsLoaded));
  value_line(out, "QTabs Used", KvRegPeek(vfg, kQTabsUsed));
  value_line(out, "Quads Loaded", KvRegPeek(vfg, kQuadsLoaded));
  value_line(out, "Quads Used", KvRegPeek(vfg, kQuadsUsed));
  flag_set_line(out, vfg, "Errors", kErrors);
  end_panel(out, kFrame);
}

}  // namespace boardstat
