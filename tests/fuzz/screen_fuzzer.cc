// Fuzz target: the whole screen on a board whose every register read comes from the input,
// with all eight panels expanded and the input's keys driving the console's own loop.
//
// Input: byte 0 gives the number of VFGs (1 to 40: the console keeps at most 32), byte 1 the
// number of keys (0 to 8) that follow it; later bytes feed register reads (see next_value). The
// SystemProbe panel waits on a fake clock that runs 150 ms per look and wraps during the run.
//
// Every screen must have the shape of the same screen on an all-zero board, line by line: a
// panel framed as its flag says, a value line keeps its label, a flag set stays braced, a
// hexadecimal value stays 0x and digits, a probe figure is "Unknown" or a number and its units,
// table rows keep their names and cells; the banner names the VFG on screen.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "tests/support/fake_board.h"

namespace {

using boardstat::ConsoleState;
using boardstat::testing::FakeBoard;

[[noreturn]] void fail(const char* what, const std::string& line) {
  fprintf(stderr, "screen fuzzer: %s: [%s]\n", what, line.c_str());
  abort();
}

// A register value from the input: a byte below 0xF0 is that value, the rest name values at
// the edges or take the next four bytes whole; after the end of the input, 0.
const uint8_t* g_data;
size_t g_size;
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

std::string escape(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([\\^$.|?*+()\[\]{}])"), R"(\$&)");
}

// The pattern that a line of the all-zero screen keeps on any board.
std::string shape(const std::string& line, bool probe) {
  std::smatch m;
  if (std::regex_match(line, m, std::regex(R"(([^ ].{25}: )(.*))"))) {
    const std::string label = escape(m[1]), value = m[2];
    if (value[0] == '{') return label + R"(\{([A-Za-z0-9]+ )*\})";
    if (value.rfind("0x", 0) == 0) return label + "0x(0|[1-9a-f][0-9a-f]*)";
    if (value.rfind("** ", 0) == 0) return label + R"(\*\* .+ \*\*)";
    if (probe && std::regex_match(value, m, std::regex(R"(-?[0-9.]+ +(.+))"))) {
      return label + "(Unknown   |(?=.{" + std::to_string(11 + m[1].length()) +
             ",}$)-?[0-9]+(\\.[0-9]{2})? +" + escape(m[1]) + ")";
    }
    return label + ".+";
  }
  if (std::regex_match(line, m, std::regex("(Start   |Step    |Cycle [0-9] )(.*)"))) {
    return escape(m[1]) + "[0-9 -]{" + std::to_string(m[2].length()) + ",}";
  }
  return escape(line);
}

const std::regex kBannerVfgs(
    R"(\| VFG \((\d{3})\) of \((\d{3})\) , Firmware Built on .*         \|)");
const std::regex kSequencerRow(R"( +(\d+) +\d+ +[^ ]+ +[^ ]+( +\{[A-Z,]+\})? +\d+)");
constexpr int kSequencerPanel = 5;

// The all-zero screen's line shapes: the banner, then per panel (collapsed, expanded) its own.
struct Shapes {
  std::vector<std::regex> banner, panels[2][boardstat::kPanelCount];
};
const Shapes& reference() {
  static const Shapes shapes = [] {
    static const char* const kTitles[] = {
        "CameraLink     ", "PixelRouter", "AcquistionEngine", "BufferManager", "PacketEngine",
        "TimingSequencer", "IO",          "SystemProbe"};
    Shapes s;
    for (const int expanded : {0, 1}) {
      FakeBoard::reset(1);
      ConsoleState state;
      if (!boardstat::discover_vfgs(state)) fail("reference board did not start", "");
      state.expanded.fill(expanded);
      std::ostringstream out;
      boardstat::draw_screen(out, state);
      std::istringstream in(out.str());
      int panel = -1;
      for (std::string line; std::getline(in, line);) {
        if (panel + 1 < boardstat::kPanelCount && line == kTitles[panel + 1]) ++panel;
        if (panel >= 0 || !expanded) {
          (panel < 0 ? s.banner : s.panels[expanded][panel]).emplace_back(shape(line, panel == 7));
        }
      }
    }
    return s;
  }();
  return shapes;
}

void check_screen(const std::string& text, const ConsoleState& state) {
  if (state.vfg_count < 1 || state.vfg_count > boardstat::kMaxVfgs || state.current_vfg < 0 ||
      state.current_vfg >= state.vfg_count) {
    fail("VFG number out of the table", std::to_string(state.current_vfg));
  }
  struct Want {
    const std::regex* shape;
    int panel;
  };
  std::vector<Want> want;
  for (const auto& re : reference().banner) want.push_back({&re, -1});
  for (int p = 0; p < boardstat::kPanelCount; ++p) {
    for (const auto& re : reference().panels[state.expanded[p]][p]) want.push_back({&re, p});
  }
  std::istringstream in(text);
  size_t w = 0;
  int last_index = -1;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (std::any_of(line.begin(), line.end(), [](char c) { return c < ' ' || c > '~'; }))
      fail("unprintable character", line);
    if (w == 1) {
      if (!std::regex_match(line, m, kBannerVfgs) || std::stoi(m[1]) != state.current_vfg ||
          std::stoi(m[2]) != state.vfg_count - 1) {
        fail("banner VFG line", line);
      }
    } else if (w < want.size() && want[w].panel == kSequencerPanel &&
               state.expanded[kSequencerPanel] && std::regex_match(line, m, kSequencerRow)) {
      if (std::stoi(m[1]) <= last_index || std::stoi(m[1]) > 255) fail("sequencer index", line);
      last_index = std::stoi(m[1]);
      continue;
    } else if (w >= want.size() || !std::regex_match(line, *want[w].shape)) {
      fail("line out of its shape", line);
    }
    ++w;
  }
  if (w != want.size()) fail("screen ended early", text);
}

// Keys from the input; each screen is checked when the console asks for the next key, against
// the state it was drawn from.
struct CheckingTerminal : boardstat::Terminal {
  CheckingTerminal(const uint8_t* k, size_t n, const ConsoleState& s)
      : keys(k), count(n), state(s) {}
  void clear_screen() override { out.str(""); }
  int read_key() override {
    check_screen(out.str(), state);
    ++screens;
    return screens <= count ? keys[screens - 1] : boardstat::kEndOfInput;
  }
  const uint8_t* keys;
  size_t count, screens = 0;
  const ConsoleState& state;
  std::ostringstream out;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  reference();
  const int vfgs = 1 + data[0] % 40;
  const size_t keys = std::min<size_t>(data[1] % 9, size - 2);
  g_data = data + 2 + keys;
  g_size = size - 2 - keys;
  FakeBoard::reset(vfgs).on_peek = [](int, uint32_t) -> std::optional<uint32_t> {
    return next_value();
  };
  ConsoleState state;
  if (!boardstat::discover_vfgs(state)) fail("the board did not start", std::to_string(vfgs));
  if (state.vfg_count != std::min(vfgs, boardstat::kMaxVfgs)) fail("VFG count", "");
  state.expanded.fill(1);
  state.probe_clock = fake_clock;
  g_milliseconds = 0xFFFFF000u;
  CheckingTerminal terminal(data + 2, keys, state);
  if (boardstat::run_console(state, terminal, terminal.out) != 0) fail("exit status", "");
  if (terminal.screens < 1 || terminal.screens > keys + 1) fail("screen count", "");
  return 0;
}
