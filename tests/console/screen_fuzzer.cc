// Fuzz target: the whole screen on a board whose every register read comes from the input,
// with all eight panels expanded and the input's keys driving the console's own loop. The
// board is this file's own: the four board access functions answer from the input.
//
// Input: byte 0 gives the number of VFGs (1 to 40: the console keeps at most 32), byte 1 the
// number of keys (0 to 8) that follow it; later bytes feed register reads (see next_value). The
// SystemProbe panel waits on a fake clock that runs 150 ms per look and wraps during the run.
//
// Checked: no crash or undefined behaviour (ASan, UBSan), every byte printable, every panel
// framed in order as its flag says, the banner naming the VFG on screen. The exact lines are
// the case files' job (tests/console).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "console/console.h"

namespace {

using boardstat::ConsoleState;

[[noreturn]] void fail(const char* what, const std::string& text) {
  fprintf(stderr, "screen fuzzer: %s: [%s]\n", what, text.c_str());
  abort();
}

// A register value from the input: a byte below 0xF0 is that value, the rest name values at
// the edges or take the next four bytes whole; after the end of the input, 0.
const uint8_t* g_data;
size_t g_size;
uint32_t g_vfgs;
uint32_t next_byte() {
  return g_size > 0 ? (--g_size, *g_data++) : 0;
}
uint32_t next_value() {
  static constexpr uint32_t kEdges[] = {UINT32_MAX, 0x80000000u, 0x7FFFFFFFu,
                                        0xFFFFu,    0x10000u,    16777217u};
  uint32_t b = next_byte();
  if (b > 0xF0 && b < 0xF7) return kEdges[b - 0xF1];
  if (b == 0xF7) return 1u << next_byte() % 32;
  if (b == 0xF8) return UINT32_MAX - next_byte();
  if (b != 0xF0) return b;
  for (int i = 0; i < 4; ++i) b = b << 8 | next_byte();  // the F0 is shifted out
  return b;
}

uint32_t g_milliseconds = 0;
uint32_t fake_clock() {
  return g_milliseconds += 150;
}

constexpr const char* kFrames[][3] = {
    {"CameraLink     ", "------^--------", "------^--------------------"},
    {"PixelRouter", "-----^-----", "-----^---------------------"},
    {"AcquistionEngine", "^---------------", "^--------------------------"},
    {"BufferManager", "^------------", "^--------------------------"},
    {"PacketEngine", "^-----------", "^--------------------------"},
    {"TimingSequencer", "^--------------", "^--------------------------"},
    {"IO", "^-", "^--------------------------"},
    {"SystemProbe", "--------^--", "--------^------------------"}};

void check_screen(const std::string& text, const ConsoleState& state) {
  if (std::any_of(text.begin(), text.end(),
                  [](char c) { return c != '\n' && (c < ' ' || c > '~'); }))
    fail("unprintable character", text);
  char banner[40];
  snprintf(banner, sizeof banner, "| VFG (%03d) of (%03d) ", static_cast<int>(state.current_vfg),
           static_cast<int>(state.vfg_count - 1));
  if (text.find(banner) != text.find('\n') + 1) fail("banner VFG line", text);
  size_t at = 0;
  for (int p = 0; p < boardstat::kPanelCount; ++p) {
    const std::string frame =
        std::string("\n\n") + kFrames[p][0] + "\n" + kFrames[p][1 + state.expanded[p]] + "\n";
    at = text.find(frame, at);
    if (at == std::string::npos) fail(kFrames[p][0], text);
  }
}

// Keys from the input; each screen is checked when the console asks for the next key.
struct CheckingTerminal : boardstat::Terminal {
  CheckingTerminal(const uint8_t* k, size_t n, const ConsoleState& s)
      : keys(k), count(n), state(s) {}
  void clear_screen() override { out.str(""); }
  int read_key() override {
    check_screen(out.str(), state);
    ++screens;
    return screens <= count ? keys[screens - 1] : boardstat::kEndOfInput;
  }
  int read_key_until(std::chrono::steady_clock::time_point) override { return read_key(); }
  const uint8_t* keys;
  size_t count, screens = 0;
  const ConsoleState& state;
  std::ostringstream out;
};

}  // namespace

// The board: VFG N has handle N + 1; every read takes the next value of the input.
extern "C" {
int32_t LmSysBrdFind(uint32_t, uint32_t index, LmBrdEntry* entry) {
  entry->words[0] = index + 1;
  return index < g_vfgs ? 0 : 1;
}
int32_t LmBrdOpen(LmBrdEntry* entry, KvHandle* handle, uint32_t) {
  *handle = reinterpret_cast<KvHandle>(static_cast<uintptr_t>(entry->words[0]));
  return 0;
}
uint32_t KvRegPeek(KvHandle, uint32_t) {
  return next_value();
}
int32_t KvRegPoke(KvHandle, uint32_t, uint32_t) {
  return 0;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  g_vfgs = 1 + data[0] % 40;
  const size_t keys = std::min<size_t>(data[1] % 9, size - 2);
  g_data = data + 2 + keys;
  g_size = size - 2 - keys;
  ConsoleState state;
  if (!boardstat::discover_vfgs(state)) fail("the board did not start", "");
  if (state.vfg_count != std::min<int32_t>(g_vfgs, boardstat::kMaxVfgs)) fail("VFG count", "");
  state.expanded.fill(1);
  state.probe_clock = fake_clock;
  g_milliseconds = 0xFFFFF000u;
  CheckingTerminal terminal(data + 2, keys, state);
  if (boardstat::run_console(state, terminal, terminal.out) != 0) fail("exit status", "");
  if (terminal.screens < 1 || terminal.screens > keys + 1) fail("screen count", "");
  return 0;
}
