#include "board/register_window.h"

#include <gtest/gtest.h>

#include "tests/support/fake_board.h"

namespace boardstat::testing {
namespace {

TEST(RegisterWindow, WritesSelectsInOrderThenReadsDataAndLeavesThemSet) {
  FakeBoard& board = FakeBoard::reset(2);
  // The data register answers with whatever the selects hold when it is read.
  board.on_peek = [&board](int vfg, uint32_t reg) -> std::optional<uint32_t> {
    if (reg != 30) return std::nullopt;
    return board.value(vfg, 10) * 100 + board.value(vfg, 20);
  };
  EXPECT_EQ(read_register_window(FakeBoard::handle(1), {{20, 7}, {10, 4}}, 30), 407u);
  EXPECT_EQ(board.log(), (std::vector<std::string>{"poke 1 20 7", "poke 1 10 4", "peek 1 30"}));
}

}  // namespace
}  // namespace boardstat::testing
