#include "console/error_clearing.h"

#include <gtest/gtest.h>

#include "tests/support/fake_board.h"

namespace boardstat {
namespace {

using testing::FakeBoard;

// The full list, written out by hand from the register map so that a change of order shows.
const std::vector<std::string> kExpectedWrites = {
    "poke 0 2191 0", "poke 0 2192 0", "poke 0 2194 0", "poke 0 2193 0", "poke 0 2211 0",
    "poke 0 2208 0", "poke 0 2207 0", "poke 0 2336 0", "poke 0 2337 0", "poke 0 2339 0",
    "poke 0 2338 0", "poke 0 2356 0", "poke 0 2353 0", "poke 0 2352 0", "poke 0 2481 0",
    "poke 0 2482 0", "poke 0 2484 0", "poke 0 2483 0", "poke 0 2501 0", "poke 0 2498 0",
    "poke 0 2497 0", "poke 0 2626 0", "poke 0 2627 0", "poke 0 2629 0", "poke 0 2628 0",
    "poke 0 2646 0", "poke 0 2643 0", "poke 0 2642 0", "poke 0 2676 0", "poke 0 2115 1",
    "poke 0 2260 1", "poke 0 2405 1", "poke 0 2550 1", "poke 0 2120 1", "poke 0 2265 1",
    "poke 0 2410 1", "poke 0 2555 1", "poke 0 1403 0", "poke 0 1400 0", "poke 0 1419 0",
    "poke 0 1420 0", "poke 0 1421 0", "poke 0 1422 0", "poke 0 1407 0", "poke 0 1398 0",
    "poke 0 1399 0", "poke 0 1397 0", "poke 0 1401 0", "poke 0 1402 0",
};

TEST(ErrorClearing, Writes49RegistersInOrderAndReadsNothing) {
  FakeBoard& board = FakeBoard::reset(1);
  clear_errors(FakeBoard::handle(0));
  EXPECT_EQ(board.log(), kExpectedWrites);
  EXPECT_EQ(kExpectedWrites.size(), 49u);
}

}  // namespace
}  // namespace boardstat
