#include "board/register_window.h"

#include "board/registers/pixel_router.h"
#include "board/registers/timing_sequencer.h"

namespace boardstat {

uint32_t read_register_window(KvHandle vfg, std::initializer_list<WindowSelect> selects,
                              uint32_t data_reg) {
  for (const WindowSelect& select : selects) KvRegPoke(vfg, select.reg, select.value);
  return KvRegPeek(vfg, data_reg);
}

uint32_t read_router_entry(KvHandle vfg, uint32_t table, uint32_t column, uint32_t row) {
  using namespace pixel_router;
  return read_register_window(
      vfg, {{kTableSelect, table}, {kColumnIndex, column}, {kRowIndex, row}}, kTableEntry);
}

uint32_t select_sequencer_entry(KvHandle vfg, uint32_t index) {
  using namespace timing_sequencer;
  return read_register_window(vfg, {{kEntryIndexSelect, index}}, kEntryInUse);
}

}  // namespace boardstat
