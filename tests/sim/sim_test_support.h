// Shared pieces of the simulated board's tests: a clock set by hand and a VFG model on it.
#ifndef BOARDSTAT_TESTS_SIM_SIM_TEST_SUPPORT_H_
#define BOARDSTAT_TESTS_SIM_SIM_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "sim/board_description.h"
#include "sim/board_model.h"

namespace boardsim::testing {

constexpr Picoseconds kSecond = 1000000000000;

struct ManualClock : Clock {
  Picoseconds now() const override { return t; }
  Picoseconds t = 0;
};

inline BoardDescription parse_valid(std::string_view text) {
  ParseResult r = parse_board_description(text, "test.board");
  EXPECT_TRUE(r.ok()) << r.error;
  return std::move(r.board);
}

// The first VFG of `text`, opened at board time `opened` of its own clock.
struct TestVfg {
  explicit TestVfg(std::string_view text, Picoseconds opened = 0) : board(parse_valid(text)) {
    clock.t = opened;
    model.emplace(board.vfgs.at(0), clock);
  }
  ManualClock clock;
  BoardDescription board;
  std::optional<VfgModel> model;
};

}  // namespace boardsim::testing

#endif  // BOARDSTAT_TESTS_SIM_SIM_TEST_SUPPORT_H_
