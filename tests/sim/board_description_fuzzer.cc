// Fuzz target: the simulated board's description parser, and the board a description gives.
//
// Any bytes must give either a board or exactly one printable message "FILE:LINE: REASON" with
// LINE a line of the text, never a crash, undefined behaviour, a hang or a leak. A board that
// parsed is then driven: every described register read, written and cleared, counters read an
// hour on (its timed events applied on the way), and rate probe measurements between its signals at
// board times up to centuries.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <regex>
#include <string>

#include "sim/board_description.h"
#include "sim/board_model.h"

namespace {

using boardsim::Picoseconds;
constexpr Picoseconds kSecond = 1000000000000;

[[noreturn]] void fail(const char* what, const std::string& detail) {
  fprintf(stderr, "board description fuzzer: %s: %s\n", what, detail.c_str());
  abort();
}

struct ManualClock : boardsim::Clock {
  Picoseconds now() const override { return at; }
  Picoseconds at = 0;
};

void drive(const boardsim::VfgDescription& description) {
  using namespace boardsim;
  ManualClock clock;
  VfgModel vfg(description, clock);
  for (const auto& [id, value] : description.registers) vfg.poke(id, ~vfg.peek(id));
  // Counters an hour on, and every clear; what they read is tests/sim/timed_events.board's job.
  clock.at = kSecond * 3600;
  for (const auto& [id, rate] : description.counters) vfg.peek(id);
  for (const auto& [id, cleared] : description.clears) {
    vfg.poke(id, 1);
    for (const uint32_t other : cleared) vfg.peek(other);
  }
  for (uint32_t index = 0; index < kSeqEntries; index += 85) {
    vfg.poke(kSeqIndexRegister, index);
    vfg.peek(kSeqFirstRegister);
  }
  std::vector<uint32_t> signals;
  for (const auto& entry : description.signals) signals.push_back(entry.first);
  std::sort(signals.begin(), signals.end());
  signals.resize(std::min<size_t>(signals.size(), 4));
  Picoseconds at = 7;
  for (const uint32_t a : signals) {
    for (const uint32_t b : signals) {
      for (const uint32_t edge : {0u, 1u, 2u, 3u}) {
        // Counting b, a and the camera clock up to 1, a million and every stop, from three
        // start times; each measurement read while it runs and long after.
        for (const auto& [count, stop_count, start] : {std::tuple{b, 1u, at},
                                                       {a, 1000000u, at + kSecond},
                                                       {kCameraClockSignal, UINT32_MAX, at * 3}}) {
          clock.at = start;
          for (const auto& [reg, value] : {std::pair{kProbeStartSource, a},
                                           {kProbeStartEdge, edge & 1},
                                           {kProbeStopSource, b},
                                           {kProbeStopEdge, edge >> 1 & 1},
                                           {kProbeCountSource, count},
                                           {kProbeCountEdge, edge},
                                           {kProbeStopCount, stop_count},
                                           {kProbeGoRegister, 1u}}) {
            vfg.poke(reg, value);
          }
          for (const Picoseconds later : {Picoseconds{0}, Picoseconds{1}, kSecond / 10,
                                          kSecond * 3600 * 24 * 400, ~Picoseconds{0} >> 1}) {
            clock.at = start + later;
            vfg.peek(kProbeBusyRegister);
            vfg.peek(kProbeCountRegister);
          }
        }
        at = at * 31 + 12345;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const boardsim::ParseResult result = boardsim::parse_board_description(text, "fuzz.board");
  std::smatch m;
  if (!result.ok()) {
    if (!result.board.vfgs.empty()) fail("a failed parse kept its VFGs", result.error);
    if (!std::regex_match(result.error, m, std::regex("fuzz\\.board:([1-9][0-9]{0,9}): [ -~]+")) ||
        std::stoull(m[1]) > size_t(std::count(text.begin(), text.end(), '\n')) + 1) {
      fail("not one message on a line of the text", result.error);
    }
    return 0;
  }
  // A few VFGs are enough: every one is parsed by the same code.
  for (size_t i = 0; i < std::min<size_t>(result.board.vfgs.size(), 3); ++i) {
    drive(result.board.vfgs[i]);
  }
  return 0;
}
