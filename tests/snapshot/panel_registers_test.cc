// The registers the snapshot writes for each screen section against the ones the section's code
// really reads: each panel drawn expanded on a board that records every read, with every
// register 0, 1, then all ones (some reads depend on others). Reads through an indexed window
// and of flags the snapshot writes from their own tables; every other read must be in the
// section's register list, and the list must hold nothing else.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>

#include "board/board_library.h"
#include "board/registers/acquisition_engine.h"
#include "board/registers/buffer_manager.h"
#include "board/registers/camera_link.h"
#include "board/registers/firmware.h"
#include "board/registers/io_box.h"
#include "board/registers/packet_engine.h"
#include "board/registers/pixel_router.h"
#include "board/registers/timing_sequencer.h"
#include "console/banner.h"
#include "panels/panels.h"

namespace boardstat {
namespace {

// The recording board: every register reads g_value.
uint32_t g_value = 0;
std::set<uint32_t> g_read;
int32_t no_board(uint32_t, uint32_t, LmBrdEntry*) {
  return -1;
}
int32_t no_open(LmBrdEntry*, KvHandle*, uint32_t) {
  return -1;
}
int32_t ignore_poke(KvHandle, uint32_t, uint32_t) {
  return 0;
}
uint32_t record_peek(KvHandle, uint32_t reg) {
  g_read.insert(reg);
  return g_value;
}

using Ids = std::set<uint32_t>;
uint32_t id_of(const Register& r) {
  return r.id;
}
uint32_t id_of(const Flag& f) {
  return f.reg;
}
template <class List>
Ids ids(const List& list, Ids more = {}) {
  for (const auto& entry : list) more.insert(id_of(entry));
  return more;
}

struct Section {
  const char* name;
  std::function<void(std::ostream&)> draw;
  Ids listed;  // the snapshot's list for the section
  Ids apart;   // written from other tables: flags, windows
};

TEST(PanelRegisters, TheSnapshotListsWhatEachSectionReads) {
  namespace ae = acquisition_engine;
  namespace pe = packet_engine;
  const std::vector<Section> sections = {
      {"banner",
       [](std::ostream& o) { draw_banner(o, nullptr, 0, 1); },
       ids(firmware::kRegisters),
       {}},
      {"CameraLink",
       [](std::ostream& o) { draw_camera_link(o, nullptr, 1); },
       ids(camera_link::kRegisters),
       {}},
      {"PixelRouter",
       [](std::ostream& o) { draw_pixel_router(o, nullptr, 1); },
       ids(pixel_router::kRegisters),
       {pixel_router::kTableEntry}},
      {"AcquisitionEngine", [](std::ostream& o) { draw_acquisition_engine(o, nullptr, 1); },
       ids(ae::kRegisters), ids(ae::kErrorFlags)},
      {"BufferManager", [](std::ostream& o) { draw_buffer_manager(o, nullptr, 1); },
       ids(buffer_manager::kRegisters), ids(buffer_manager::kErrorFlags)},
      {"PacketEngine", [](std::ostream& o) { draw_packet_engine(o, nullptr, 1); },
       ids(pe::kRegisters), ids(pe::kControlFlags, ids(pe::kErrorFlags))},
      {"TimingSequencer", [](std::ostream& o) { draw_timing_sequencer(o, nullptr, 1); },
       ids(timing_sequencer::kRegisters), ids(timing_sequencer::kEntryRegisters)},
      {"I/O box", [](std::ostream& o) { draw_io_box(o, nullptr, 1); }, ids(io_box::kRegisters), {}},
  };
  board_calls_in_use = {no_board, no_open, record_peek, ignore_poke};
  for (const Section& section : sections) {
    g_read.clear();
    for (const uint32_t value : {0u, 1u, 0xFFFFFFFFu}) {
      g_value = value;
      std::ostringstream screen;
      section.draw(screen);
    }
    Ids apart_read, listed_read;
    for (const uint32_t reg : g_read)
      (section.apart.count(reg) ? apart_read : listed_read).insert(reg);
    EXPECT_EQ(listed_read, section.listed) << section.name;
    EXPECT_EQ(apart_read, section.apart) << section.name << ": a flag or window register unread";
  }
}

}  // namespace
}  // namespace boardstat
