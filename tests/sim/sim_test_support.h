// Shared pieces of the simulated board's tests: a clock that tests set by hand, and a parsed
// description that must be valid.
#ifndef BOARDSTAT_TESTS_SIM_SIM_TEST_SUPPORT_H_
#define BOARDSTAT_TESTS_SIM_SIM_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <string_view>

#include "sim/board_description.h"
#include "sim/board_model.h"

namespace boardsim::testing {

class ManualClock : public Clock {
 public:
  Picoseconds now() const override { return now_; }
  void set(Picoseconds t) { now_ = t; }
  void advance(Picoseconds dt) { now_ += dt; }

 private:
  Picoseconds now_ = 0;
};

constexpr Picoseconds kSecond = 1000000000000;
constexpr Picoseconds kMillisecond = 1000000000;

inline BoardDescription parse_valid(std::string_view text) {
  ParseResult r = parse_board_description(text, "test.board");
  EXPECT_TRUE(r.ok()) << r.error;
  return std::move(r.board);
}

}  // namespace boardsim::testing

#endif  // BOARDSTAT_TESTS_SIM_SIM_TEST_SUPPORT_H_
