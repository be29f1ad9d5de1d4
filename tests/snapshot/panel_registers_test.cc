// The registers the snapshot writes for each screen section against the ones the section's code
// really reads: each panel drawn expanded on a board that records every read. Reads through an
// indexed window and flag lists are written by the snapshot from their own tables; every other
// read must be in the section's register list, and the list must hold nothing else.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>
#include <vector>

#include "board/board_access.h"
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

namespace {

// The recording board: every register reads `g_value`.
uint32_t g_value = 0;
std::vector<uint32_t> g_reads;

}  // namespace

extern "C" {
int32_t LmSysBrdFind(uint32_t, uint32_t, LmBrdEntry*) {
  return -1;
}
int32_t LmBrdOpen(LmBrdEntry*, KvHandle*, uint32_t) {
  return -1;
}
uint32_t KvRegPeek(KvHandle, uint32_t reg) {
  g_reads.push_back(reg);
  return g_value;
}
int32_t KvRegPoke(KvHandle, uint32_t, uint32_t) {
  return 0;
}
}

namespace boardstat {
namespace {

struct Section {
  const char* name;
  std::function<void(std::ostream&)> draw;
  std::vector<uint32_t> listed;  // the snapshot's list for the section
  std::vector<uint32_t> apart;   // written from other tables: flags, windows
};

template <class T>
std::vector<uint32_t> ids(const T& registers) {
  return std::vector<uint32_t>(std::begin(registers), std::end(registers));
}

template <size_t N>
std::vector<uint32_t> ids(const Flag (&flags)[N]) {
  std::vector<uint32_t> out;
  for (const Flag& flag : flags) out.push_back(flag.reg);
  return out;
}

std::vector<uint32_t> joined(std::vector<uint32_t> a, const std::vector<uint32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(PanelRegisters, TheSnapshotListsWhatEachSectionReads) {
  const KvHandle vfg = nullptr;
  const std::vector<Section> sections = {
      {"banner",
       [&](std::ostream& o) { draw_banner(o, vfg, 0, 1); },
       ids(firmware::kRegisters),
       {}},
      {"CameraLink",
       [&](std::ostream& o) { draw_camera_link(o, vfg, 1); },
       ids(camera_link::kRegisters),
       {}},
      {"PixelRouter",
       [&](std::ostream& o) { draw_pixel_router(o, vfg, 1); },
       ids(pixel_router::kRegisters),
       {pixel_router::kTableEntry}},
      {"AcquisitionEngine", [&](std::ostream& o) { draw_acquisition_engine(o, vfg, 1); },
       ids(acquisition_engine::kRegisters), ids(acquisition_engine::kErrorFlags)},
      {"BufferManager", [&](std::ostream& o) { draw_buffer_manager(o, vfg, 1); },
       ids(buffer_manager::kRegisters), ids(buffer_manager::kErrorFlags)},
      {"PacketEngine", [&](std::ostream& o) { draw_packet_engine(o, vfg, 1); },
       ids(packet_engine::kRegisters),
       joined(ids(packet_engine::kControlFlags), ids(packet_engine::kErrorFlags))},
      {"TimingSequencer", [&](std::ostream& o) { draw_timing_sequencer(o, vfg, 1); },
       ids(timing_sequencer::kRegisters), ids(timing_sequencer::kEntryRegisters)},
      {"I/O box", [&](std::ostream& o) { draw_io_box(o, vfg, 1); }, ids(io_box::kRegisters), {}},
  };
  for (const Section& section : sections) {
    // Reads that depend on what others read: every register 0, 1 and all ones in turn.
    std::set<uint32_t> read;
    std::set<uint32_t> apart_read;
    const std::set<uint32_t> apart(section.apart.begin(), section.apart.end());
    for (const uint32_t value : {0u, 1u, 0xFFFFFFFFu}) {
      g_value = value;
      g_reads.clear();
      std::ostringstream screen;
      section.draw(screen);
      for (const uint32_t reg : g_reads) {
        if (apart.count(reg) != 0) {
          apart_read.insert(reg);
        } else {
          read.insert(reg);
        }
      }
    }
    EXPECT_EQ(read, std::set<uint32_t>(section.listed.begin(), section.listed.end()))
        << section.name;
    EXPECT_EQ(apart_read, apart) << section.name << ": a flag or window register never read";
  }
}

}  // namespace
}  // namespace boardstat
