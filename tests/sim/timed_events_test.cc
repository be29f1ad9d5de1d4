// Board descriptions and the calls a program makes on them at the times of a clock set by hand.
// Each "#> TIME CALL INDEX ..." line of a description file is one call:
//   open I R     LmSysBrdFind of index I answers 0, then LmBrdOpen of its entry answers R
//   find I R     LmSysBrdFind of index I answers R
//   peek I ID V  register ID of VFG I (opened before) reads V
//   poke I ID V  a write of V to register ID of VFG I
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/board_description.h"
#include "sim/board_system.h"

namespace boardsim {
namespace {

struct Call {
  std::string line, what;
  uint64_t at = 0;
  uint32_t index = 0, id = 0, value = 0;
};

struct HandClock : Clock {
  Picoseconds now() const override { return t; }
  Picoseconds t = 0;
};

// The calls, one board system and one clock for all of them.
void run(const BoardDescription& board, const std::vector<Call>& calls) {
  auto owned = std::make_unique<HandClock>();
  HandClock& clock = *owned;
  BoardSystem system(board, std::move(owned), nullptr);
  std::vector<KvHandle> handles(8, nullptr);
  for (const Call& c : calls) {
    SCOPED_TRACE(c.line);
    clock.t = c.at;
    LmBrdEntry entry{};
    if (c.what == "find") {
      EXPECT_EQ(system.find(kLmBoardFamily, c.index, &entry), static_cast<int32_t>(c.id));
    } else if (c.what == "open") {
      ASSERT_EQ(system.find(kLmBoardFamily, c.index, &entry), 0);
      EXPECT_EQ(system.open(&entry, &handles.at(c.index)), static_cast<int32_t>(c.id));
    } else if (c.what == "peek") {
      EXPECT_EQ(system.peek(handles.at(c.index), c.id), c.value);
    } else {
      ASSERT_EQ(c.what, "poke");
      EXPECT_EQ(system.poke(handles.at(c.index), c.id, c.value), 0);
    }
  }
}

// The calls in time order; then each read on a board of its own, with the calls before it in
// the file but the reads: an event takes effect at its own time, however late the model hears
// of it.
TEST(BoardDescriptions, AnswerTheirCallsInOrderAndReadLate) {
  for (const char* name : {"timed_events.board", "appearing_vfgs.board"}) {
    std::ifstream file(std::string(BOARDSIM_TEST_DATA) + "/" + name);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const ParseResult parsed = parse_board_description(text, name);
    ASSERT_TRUE(parsed.ok() && !text.empty()) << name << ": " << parsed.error;
    std::vector<Call> calls;
    std::istringstream lines(text);
    for (std::string line, at, error; std::getline(lines, line);) {
      if (line.rfind("#> ", 0) != 0) continue;
      Call& c = calls.emplace_back();
      std::istringstream words(line.substr(3));
      words >> at >> c.what >> c.index >> c.id;
      if (c.what == "peek" || c.what == "poke") words >> c.value;
      c.line = name + (": " + line);
      ASSERT_TRUE(parse_duration(at, &c.at, &error) && words && (words >> std::ws).eof())
          << c.line << " " << error;
    }
    std::stable_sort(calls.begin(), calls.end(),
                     [](const Call& a, const Call& b) { return a.at < b.at; });
    run(parsed.board, calls);
    std::vector<Call> late;  // the calls so far but the reads
    for (const Call& c : calls) {
      late.push_back(c);
      if (c.what == "peek") run(parsed.board, late), late.pop_back();
    }
  }
}

}  // namespace
}  // namespace boardsim
