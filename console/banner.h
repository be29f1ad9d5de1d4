#ifndef BOARDSTAT_CONSOLE_BANNER_H_
#define BOARDSTAT_CONSOLE_BANNER_H_

#include <stdint.h>

#include <ostream>

#include "board/board_access.h"

namespace boardstat {

/// The box at the top of every screen: which VFG is shown and the highest VFG number, the
/// firmware build date and time of that VFG, and the key legend. Leaves the stream
/// right-aligned, decimal and blank-filled, which the panels rely on.
void draw_banner(std::ostream& out, KvHandle vfg, int32_t vfg_number, int32_t vfg_count);

}  // namespace boardstat

#endif  // BOARDSTAT_CONSOLE_BANNER_H_
