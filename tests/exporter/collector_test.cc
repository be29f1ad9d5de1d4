#include "exporter/collector.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "exporter/exposition.h"
#include "tests/support/fake_board.h"

namespace boardstat {
namespace {

using testing::FakeBoard;

bool probe_register(const std::string& poke) {
  // "poke VFG ID VALUE": the probe owns 2898 to 2913.
  const size_t id_at = poke.find(' ', 5) + 1;
  const unsigned long id = std::stoul(poke.substr(id_at));
  return id >= 2898 && id <= 2913;
}

// A VFG that cannot be opened is reported down and left out of everything else; the others
// are collected, and nothing is written to the board without the probe.
TEST(Collector, VfgThatCannotBeOpened) {
  FakeBoard& board = FakeBoard::reset(3, 1);
  board.set(2, 1420, 0x12345);  // frames: only the low 16 bits count
  board.set(2, 1422, 0x10002);  // X: 16-byte units
  board.set(2, 2702, 2);        // buffer manager ABORT
  board.set(2, 2714, 7);        // cplError latched
  CollectorOptions options;
  options.probe = ProbeSet::kNone;
  Collector collector(options);
  collector.discover();
  collector.collect_once(false);
  EXPECT_TRUE(board.calls("poke").empty());
  const Snapshot snapshot = collector.latest();
  ASSERT_EQ(snapshot.vfgs.size(), 3u);
  EXPECT_EQ(snapshot.vfgs_found, 3u);
  EXPECT_TRUE(snapshot.vfgs[0].up);
  EXPECT_FALSE(snapshot.vfgs[1].up);
  EXPECT_TRUE(snapshot.vfgs[2].up);
  const std::string text = format_exposition(snapshot, std::chrono::steady_clock::now());
  for (const char* line :
       {"boardstat_up 1\n", "boardstat_vfgs 3\n", "boardstat_vfg_up{vfg=\"1\"} 0\n",
        "boardstat_acquired_frames_total{vfg=\"2\"} 9029\n",
        "boardstat_acquired_bytes_total{vfg=\"2\"} 32\n",
        "boardstat_buffer_run_level{vfg=\"2\",state=\"ABORT\"} 1\n",
        "boardstat_buffer_error{vfg=\"2\",flag=\"cplError\"} 1\n",
        "boardstat_buffer_error{vfg=\"0\",flag=\"cplError\"} 0\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(text.find("boardstat_acquired_frames_total{vfg=\"1\"}"), std::string::npos);
}

TEST(Collector, NoVfgMeansDown) {
  FakeBoard::reset(0);
  Collector collector(CollectorOptions{});
  collector.discover();
  collector.collect_once(true);
  const std::string text = format_exposition(collector.latest(), std::chrono::steady_clock::now());
  EXPECT_NE(text.find("boardstat_up 0\n"), std::string::npos);
  EXPECT_NE(text.find("boardstat_vfgs 0\n"), std::string::npos);
}

// The probe: basic figures only, each written through the probe's registers alone, converted
// to base units; a figure whose measurement runs out of time is left out.
TEST(Collector, ProbeFiguresAndTimeOuts) {
  FakeBoard& board = FakeBoard::reset(2);
  // VFG 0 finishes at once with a count of 3 (30 Hz as a rate); VFG 1 never finishes.
  board.on_peek = [](int vfg, uint32_t reg) -> std::optional<uint32_t> {
    if (reg == 2911) return vfg == 0 ? 0u : 1u;
    if (reg == 2912) return 3u;
    return std::nullopt;
  };
  CollectorOptions options;
  options.probe = ProbeSet::kBasic;
  Collector collector(options);
  collector.discover();
  const auto began = std::chrono::steady_clock::now();
  collector.collect_once(true);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  EXPECT_GT(seconds, 3.0);  // three figures, each waiting out its 1 s limit on VFG 1
  EXPECT_LT(seconds, 4.5);
  for (const std::string& poke : board.calls("poke")) EXPECT_TRUE(probe_register(poke)) << poke;
  EXPECT_EQ(board.calls("poke 0 2908 1").size(), 3u);  // the three basic figures
  const std::string text = format_exposition(collector.latest(), std::chrono::steady_clock::now());
  EXPECT_NE(text.find("boardstat_probe_frame_rate_hertz{vfg=\"0\"} 30\n"), std::string::npos);
  EXPECT_NE(text.find("boardstat_probe_camera_clock_hertz{vfg=\"0\"} 30\n"), std::string::npos);
  EXPECT_EQ(text.find("boardstat_probe_frame_rate_hertz{vfg=\"1\"}"), std::string::npos);
  EXPECT_EQ(text.find("trigger_rate"), std::string::npos);
}

}  // namespace
}  // namespace boardstat
