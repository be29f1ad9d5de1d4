// The eight panels of the screen, in screen order. Each reads its registers afresh and prints
// straight to `out`; `expanded` is 0 (collapsed: the frame alone) or 1.
#ifndef BOARDSTAT_PANELS_PANELS_H_
#define BOARDSTAT_PANELS_PANELS_H_

#include <ostream>

#include "board/board_access.h"

namespace boardstat {

void draw_camera_link(std::ostream& out, KvHandle vfg, int expanded);
void draw_pixel_router(std::ostream& out, KvHandle vfg, int expanded);
void draw_acquisition_engine(std::ostream& out, KvHandle vfg, int expanded);
void draw_buffer_manager(std::ostream& out, KvHandle vfg, int expanded);
void draw_packet_engine(std::ostream& out, KvHandle vfg, int expanded);
void draw_timing_sequencer(std::ostream& out, KvHandle vfg, int expanded);
void draw_io_box(std::ostream& out, KvHandle vfg, int expanded);
void draw_system_probe(std::ostream& out, KvHandle vfg, int expanded);

}  // namespace boardstat

#endif  // BOARDSTAT_PANELS_PANELS_H_
