// Fuzz target: the simulated board's description parser, and the board a description gives.
//
// Any bytes must give either a board or exactly one message "FILE:LINE: REASON" (one printable
// line, LINE a line of the text), never a crash, undefined behaviour, a hang or a leak. A board
// that parsed is then opened and driven: every described register read, written and cleared,
// and a rate probe measurement between its signals, at board times from 0 to far beyond a year.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board_description.h"
#include "sim/board_model.h"

namespace {

using boardsim::Picoseconds;

constexpr std::string_view kFileName = "fuzz.board";

[[noreturn]] void fail(const char* what, const std::string& detail) {
  fprintf(stderr, "board description fuzzer: %s: %s\n", what, detail.c_str());
  abort();
}

void check_error(std::string_view text, const boardsim::ParseResult& result) {
  const std::string& error = result.error;
  if (!result.board.vfgs.empty()) fail("a failed parse kept its VFGs", error);
  const std::string prefix = std::string(kFileName) + ":";
  if (error.compare(0, prefix.size(), prefix) != 0) fail("message without the file name", error);
  size_t at = prefix.size();
  size_t line = 0;
  while (at < error.size() && error[at] >= '0' && error[at] <= '9') {
    line = line * 10 + static_cast<size_t>(error[at] - '0');
    if (line > text.size() + 1) fail("line number beyond the text", error);
    ++at;
  }
  const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  if (at == prefix.size() || line == 0 || line > lines) fail("bad line number", error);
  if (error.compare(at, 2, ": ") != 0 || error.size() <= at + 2) fail("no reason", error);
  for (const char c : error) {
    if (c < 0x20 || c > 0x7e) fail("unprintable character in the message", error);
  }
}

class ManualClock : public boardsim::Clock {
 public:
  Picoseconds now() const override { return now_; }
  void set(Picoseconds t) { now_ = t; }

 private:
  Picoseconds now_ = 0;
};

constexpr Picoseconds kOneSecond = 1000000000000;

// One measurement between two described signals, read while it runs and long after.
void measure(boardsim::VfgModel& vfg, ManualClock& clock, uint32_t start, uint32_t stop,
             uint32_t count, uint32_t count_edge, uint32_t stop_count, Picoseconds at) {
  clock.set(at);
  vfg.poke(boardsim::kProbeStartSource, start);
  vfg.poke(boardsim::kProbeStartEdge, count_edge & 1);
  vfg.poke(boardsim::kProbeStopSource, stop);
  vfg.poke(boardsim::kProbeStopEdge, (count_edge >> 1) & 1);
  vfg.poke(boardsim::kProbeCountSource, count);
  vfg.poke(boardsim::kProbeCountEdge, count_edge);
  vfg.poke(boardsim::kProbeStopCount, stop_count);
  vfg.poke(boardsim::kProbeGoRegister, 1);
  for (const Picoseconds later : {Picoseconds{0}, Picoseconds{1}, kOneSecond / 10,
                                  kOneSecond * 3600 * 24 * 400, ~Picoseconds{0} >> 1}) {
    clock.set(at + later);
    vfg.peek(boardsim::kProbeBusyRegister);
    vfg.peek(boardsim::kProbeCountRegister);
  }
}

void drive(const boardsim::VfgDescription& description) {
  ManualClock clock;
  boardsim::VfgModel vfg(description, clock);
  for (const auto& [id, value] : description.registers) {
    vfg.peek(id);
    vfg.poke(id, ~value);
  }
  clock.set(kOneSecond * 3600);
  for (const auto& [id, rate] : description.counters) {
    // A counter that also has a reg value counts on from what was written to it above.
    if (description.registers.count(id) != 0) continue;
    if (vfg.peek(id) != static_cast<uint32_t>(uint64_t{rate} * 3600)) {
      fail("counter", std::to_string(id));
    }
  }
  for (const auto& [id, cleared] : description.clears) {
    vfg.poke(id, 1);
    for (const uint32_t other : cleared) {
      if (other != id && vfg.peek(other) != 0 && description.counters.count(other) == 0 &&
          other != boardsim::kRouterDataRegister && boardsim::seq_slot(other) < 0 &&
          other != boardsim::kProbeBusyRegister && other != boardsim::kProbeCountRegister) {
        fail("clears left a register set", std::to_string(other));
      }
    }
  }
  for (uint32_t index = 0; index < boardsim::kSeqEntries; index += 85) {
    vfg.poke(boardsim::kSeqIndexRegister, index);
    vfg.peek(boardsim::kSeqFirstRegister);
  }
  std::vector<uint32_t> signals;
  for (const auto& entry : description.signals) signals.push_back(entry.first);
  std::sort(signals.begin(), signals.end());
  if (signals.size() > 4) signals.resize(4);
  Picoseconds at = 7;
  for (const uint32_t a : signals) {
    for (const uint32_t b : signals) {
      for (const uint32_t edge : {0u, 1u, 2u, 3u}) {
        measure(vfg, clock, a, b, b, edge, 1, at);
        measure(vfg, clock, a, b, a, edge, 1000000, at + kOneSecond);
        measure(vfg, clock, a, b, boardsim::kCameraClockSignal, edge, UINT32_MAX, at * 3);
        at = at * 31 + 12345;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const boardsim::ParseResult result = boardsim::parse_board_description(text, kFileName);
  if (!result.ok()) {
    check_error(text, result);
    return 0;
  }
  // A few VFGs are enough: every one is parsed by the same code.
  const size_t vfgs = std::min<size_t>(result.board.vfgs.size(), 3);
  for (size_t i = 0; i < vfgs; ++i) drive(result.board.vfgs[i]);
  return 0;
}
