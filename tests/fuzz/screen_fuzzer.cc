// Fuzz target: the whole screen on a board whose every register read comes from the input,
// with all eight panels expanded and the input's keys driving the console's own loop.
//
// Input: byte 0 gives the number of VFGs the board reports (1 to 40: the console keeps at most
// 32), byte 1 the number of keys (0 to 8) that follow it; every later byte feeds register reads
// (see RegisterFeed). The SystemProbe panel waits on a fake clock that runs 150 ms per look,
// so a measurement that never ends costs a few reads instead of a second.
//
// Checked on every screen: no crash and no undefined behaviour (ASan, UBSan); the banner's VFG
// line names the VFG on screen within the table; each panel is framed as its flag says; every
// line of an expanded panel has the shape of the same line on an all-zero board: a value line
// keeps its label, a flag set stays braced, a hexadecimal value stays 0x and digits, a stat line
// shows "Unknown" or a number and its units, table rows keep their row names and cells.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "tests/support/fake_board.h"

namespace {

using boardstat::ConsoleState;
using boardstat::kPanelCount;
using boardstat::testing::FakeBoard;

[[noreturn]] void fail(const char* what, const std::string& line) {
  fprintf(stderr, "screen fuzzer: %s: [%s]\n", what, line.c_str());
  abort();
}

// Register values from the input, one or more bytes per read: a byte below 0xF0 is that small
// value; the rest name the values at the edges, or take the next four bytes whole. Reads after
// the end of the input give 0.
class RegisterFeed {
 public:
  RegisterFeed(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t next() {
    if (at_ >= size_) return 0;
    const uint8_t b = data_[at_++];
    switch (b) {
      case 0xF0: {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | (at_ < size_ ? data_[at_++] : 0);
        return v;
      }
      case 0xF1:
        return UINT32_MAX;
      case 0xF2:
        return 0x80000000u;
      case 0xF3:
        return 0x7FFFFFFFu;
      case 0xF4:
        return 0xFFFFu;
      case 0xF5:
        return 0x10000u;
      case 0xF6:
        return 16777217u;
      case 0xF7:
        return 1u << (at_ < size_ ? data_[at_++] % 32 : 0);
      case 0xF8:
        return UINT32_MAX - (at_ < size_ ? data_[at_++] : 0);
      default:
        return b;
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

uint32_t g_milliseconds = 0;
uint32_t fake_clock() {
  return g_milliseconds += 150;
}

constexpr std::string_view kTitles[kPanelCount] = {
    "CameraLink     ", "PixelRouter", "AcquistionEngine", "BufferManager", "PacketEngine",
    "TimingSequencer", "IO",          "SystemProbe"};
constexpr int kSequencerPanel = 5;
constexpr int kProbePanel = 7;
constexpr size_t kLabelEnd = 28;  // 26 characters of name, then ": "

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool is_value_line(const std::string& line) {
  return line.size() >= kLabelEnd && line.compare(26, 2, ": ") == 0 && line[0] != ' ';
}

bool is_router_row(const std::string& line) {
  return line.rfind("Start   ", 0) == 0 || line.rfind("Step    ", 0) == 0 ||
         (line.rfind("Cycle ", 0) == 0 && line.size() >= 8 && line[7] == ' ');
}

bool all_of(std::string_view text, bool (*allowed)(char)) {
  for (const char c : text) {
    if (!allowed(c)) return false;
  }
  return true;
}
bool printable(char c) {
  return c >= 0x20 && c <= 0x7e;
}
bool digit(char c) {
  return c >= '0' && c <= '9';
}
bool hex_digit(char c) {
  return digit(c) || (c >= 'a' && c <= 'f');
}
bool cell_char(char c) {
  return digit(c) || c == ' ' || c == '-';
}
bool flag_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || digit(c);
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> result;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start) result.push_back(text.substr(start, i - start));
  }
  return result;
}

// "{" then names each followed by one blank, then "}".
bool is_flag_set(std::string_view value) {
  if (value.size() < 2 || value.front() != '{' || value.back() != '}') return false;
  std::string_view inner = value.substr(1, value.size() - 2);
  while (!inner.empty()) {
    const size_t blank = inner.find(' ');
    if (blank == 0 || blank == std::string_view::npos) return false;
    if (!all_of(inner.substr(0, blank), flag_char)) return false;
    inner.remove_prefix(blank + 1);
  }
  return true;
}

// A stat line's value: "Unknown" padded to 10, or a number padded to 10, a blank and the units.
void check_stat_value(const std::string& line, std::string_view value, std::string_view units) {
  if (value == "Unknown   ") return;
  if (value.size() < 10 + 1 + units.size() ||
      value.substr(value.size() - units.size() - 1) != " " + std::string(units)) {
    fail("stat line lost its units", line);
  }
  const std::string_view number = words(value).front();
  const size_t point = number.find('.');
  const std::string_view whole = number.substr(number[0] == '-' ? 1 : 0, point);
  if (whole.empty() || !all_of(whole, digit) ||
      (point != std::string_view::npos &&
       (number.size() != point + 3 || !all_of(number.substr(point + 1), digit)))) {
    fail("stat line value is not a number", line);
  }
}

// A sequencer row: index, state, condition, width, optional braced flags, next.
void check_sequencer_row(const std::string& line, int* last_index) {
  const auto cells = words(line);
  if (cells.size() < 5 || cells.size() > 6) fail("sequencer row cells", line);
  if (!all_of(cells[0], digit) || !all_of(cells[1], digit) || !all_of(cells.back(), digit)) {
    fail("sequencer row numbers", line);
  }
  const int index = std::stoi(std::string(cells[0]));
  if (index <= *last_index || index > 255) fail("sequencer row index", line);
  *last_index = index;
  if (cells.size() == 6 && !(cells[4].front() == '{' && cells[4].back() == '}')) {
    fail("sequencer flags not braced", line);
  }
}

// What stays the same on any board: the line itself, or its label, or its row name.
std::string skeleton(const std::string& line) {
  if (is_value_line(line)) return "value " + line.substr(0, kLabelEnd);
  if (is_router_row(line)) return "row " + line.substr(0, 8);
  return line;
}

bool is_sequencer_row(int panel, const std::string& line) {
  return panel == kSequencerPanel && !line.empty() && line[0] == ' ' && !words(line).empty() &&
         all_of(words(line)[0], digit);
}

struct Screen {
  std::vector<std::string> banner;
  std::vector<std::string> panels[kPanelCount];  // content lines of expanded panels
};

// Cuts a screen into the banner and each panel's content, checking the frames.
Screen cut(const std::string& text, const std::array<int, kPanelCount>& expanded) {
  const auto lines = split_lines(text);
  Screen screen;
  size_t at = 0;
  while (at < lines.size() && lines[at] != kTitles[0]) screen.banner.push_back(lines[at++]);
  for (int p = 0; p < kPanelCount; ++p) {
    if (at >= lines.size() || lines[at] != kTitles[p]) fail("panel title", std::string(kTitles[p]));
    ++at;
    if (at >= lines.size()) fail("no caret line", std::string(kTitles[p]));
    const std::string& caret = lines[at++];
    const bool is_long = caret.size() == 27 && caret.find('^') != std::string::npos;
    const bool is_short = caret.size() == kTitles[p].size() && caret.find('^') != std::string::npos;
    if (expanded[p] ? !is_long : !is_short) fail("caret line does not match the flag", caret);
    while (at < lines.size() && (p + 1 == kPanelCount || lines[at] != kTitles[p + 1])) {
      screen.panels[p].push_back(lines[at++]);
    }
    if (!expanded[p] && screen.panels[p] != std::vector<std::string>{""}) {
      fail("collapsed panel with content", std::string(kTitles[p]));
    }
  }
  return screen;
}

// The shape of every screen line on a board whose registers all read 0, with all panels
// expanded.
const Screen& reference() {
  static const Screen screen = [] {
    FakeBoard::reset(1);
    ConsoleState state;
    if (!boardstat::discover_vfgs(state)) fail("reference board did not start", "");
    state.expanded.fill(1);
    std::ostringstream out;
    boardstat::draw_screen(out, state);
    return cut(out.str(), state.expanded);
  }();
  return screen;
}

std::string three_digits(int32_t n) {
  char text[16];
  snprintf(text, sizeof text, "%03d", static_cast<int>(n));
  return text;
}

void check_screen(const std::string& text, const ConsoleState& state) {
  if (state.vfg_count < 1 || state.vfg_count > boardstat::kMaxVfgs || state.current_vfg < 0 ||
      state.current_vfg >= state.vfg_count) {
    fail("VFG number out of the table", std::to_string(state.current_vfg));
  }
  const Screen& ref = reference();
  const Screen screen = cut(text, state.expanded);
  if (screen.banner.size() != ref.banner.size()) fail("banner length", text);
  const std::string vfg_line = screen.banner[1];
  const std::string vfgs = "| VFG (" + three_digits(state.current_vfg) + ") of (" +
                           three_digits(state.vfg_count - 1) + ") , Firmware Built on ";
  if (vfg_line.rfind(vfgs, 0) != 0 || vfg_line.size() < vfgs.size() + 10 ||
      vfg_line.compare(vfg_line.size() - 10, 10, "         |") != 0) {
    fail("banner VFG line", vfg_line);
  }
  for (size_t i = 0; i < ref.banner.size(); ++i) {
    if (i != 1 && screen.banner[i] != ref.banner[i]) fail("banner line", screen.banner[i]);
  }

  for (int p = 0; p < kPanelCount; ++p) {
    if (!state.expanded[p]) continue;
    const auto& want = ref.panels[p];
    size_t w = 0;
    int last_index = -1;
    for (const std::string& line : screen.panels[p]) {
      if (!all_of(line, printable)) fail("unprintable character", line);
      if (is_sequencer_row(p, line)) {
        check_sequencer_row(line, &last_index);
        continue;
      }
      if (w >= want.size() || skeleton(line) != skeleton(want[w])) {
        fail("line out of its shape", line + "] expected [" + (w < want.size() ? want[w] : ""));
      }
      const std::string& model = want[w++];
      if (is_router_row(line)) {
        if (!all_of(std::string_view(line).substr(8), cell_char) || line.size() < model.size()) {
          fail("router row cells", line);
        }
        continue;
      }
      if (!is_value_line(line)) continue;
      const std::string_view value = std::string_view(line).substr(kLabelEnd);
      const std::string_view model_value = std::string_view(model).substr(kLabelEnd);
      if (value.empty()) fail("value line without a value", line);
      if (model_value.front() == '{' && !is_flag_set(value)) fail("flag set not braced", line);
      if (model_value.substr(0, 2) == "0x" &&
          (value.substr(0, 2) != "0x" || value.size() < 3 || !all_of(value.substr(2), hex_digit) ||
           (value.size() > 3 && value[2] == '0'))) {
        fail("hexadecimal value", line);
      }
      if (model_value.substr(0, 3) == "** " &&
          (value.substr(0, 3) != "** " || value.substr(value.size() - 3) != " **")) {
        fail("highlighted value", line);
      }
      if (p == kProbePanel) {
        check_stat_value(line, value, model_value.substr(model_value.rfind(' ') + 1));
      }
    }
    if (w != want.size()) fail("panel ended early", std::string(kTitles[p]));
  }
}

// Keys from the input; every screen is checked when the console asks for the next key, so
// the screen is checked against the state it was drawn from.
class CheckingTerminal : public boardstat::Terminal {
 public:
  CheckingTerminal(const uint8_t* keys, size_t count, const ConsoleState& state,
                   std::ostringstream& out)
      : keys_(keys), count_(count), state_(state), out_(out) {}
  void clear_screen() override { out_.str(""); }
  int read_key() override {
    check_screen(out_.str(), state_);
    ++screens;
    return at_ < count_ ? keys_[at_++] : boardstat::kEndOfInput;
  }
  int screens = 0;

 private:
  const uint8_t* keys_;
  size_t count_;
  size_t at_ = 0;
  const ConsoleState& state_;
  std::ostringstream& out_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  reference();
  const int vfgs = 1 + data[0] % 40;
  const size_t keys = std::min<size_t>(data[1] % 9, size - 2);
  RegisterFeed feed(data + 2 + keys, size - 2 - keys);

  FakeBoard& board = FakeBoard::reset(vfgs);
  board.on_peek = [&feed](int, uint32_t) -> std::optional<uint32_t> { return feed.next(); };
  ConsoleState state;
  if (!boardstat::discover_vfgs(state)) fail("the board did not start", std::to_string(vfgs));
  if (state.vfg_count != std::min(vfgs, boardstat::kMaxVfgs)) fail("VFG count", "");
  state.expanded.fill(1);
  state.probe_clock = fake_clock;
  g_milliseconds = 0xFFFFF000u;  // the clock wraps during the run

  std::ostringstream out;
  CheckingTerminal terminal(data + 2, keys, state, out);
  if (boardstat::run_console(state, terminal, out) != 0) fail("exit status", "");
  if (terminal.screens < 1 || static_cast<size_t>(terminal.screens) > keys + 1) {
    fail("screen count", std::to_string(terminal.screens));
  }
  return 0;
}
