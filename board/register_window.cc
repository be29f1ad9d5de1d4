#include "board/register_window.h"

namespace boardstat {

uint32_t read_register_window(KvHandle vfg, std::initializer_list<WindowSelect> selects,
                              uint32_t data_reg) {
  for (const WindowSelect& select : selects) KvRegPoke(vfg, select.reg, select.value);
  return KvRegPeek(vfg, data_reg);
}

}  // namespace boardstat
