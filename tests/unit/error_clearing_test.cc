#include "console/error_clearing.h"

#include <gtest/gtest.h>

#include "tests/support/fake_board.h"

namespace boardstat::testing {
namespace {

// Written out from the register map ("register value" per write) so that a change of order,
// of a group offset or of a value shows; a read would show as a "peek" entry.
TEST(ErrorClearing, Writes49RegistersInOrderAndReadsNothing) {
  FakeBoard& board = FakeBoard::reset(1);
  clear_errors(FakeBoard::handle(0));
  std::string writes;
  for (const std::string& call : board.log()) {
    writes += (call.rfind("poke 0 ", 0) == 0 ? call.substr(7) : call) + ",";
  }
  EXPECT_EQ(writes,
            "2191 0,2192 0,2194 0,2193 0,2211 0,2208 0,2207 0,2336 0,2337 0,2339 0,2338 0,2356 0,"
            "2353 0,2352 0,2481 0,2482 0,2484 0,2483 0,2501 0,2498 0,2497 0,2626 0,2627 0,2629 0,"
            "2628 0,2646 0,2643 0,2642 0,2676 0,2115 1,2260 1,2405 1,2550 1,2120 1,2265 1,2410 1,"
            "2555 1,1403 0,1400 0,1419 0,1420 0,1421 0,1422 0,1407 0,1398 0,1399 0,1397 0,1401 0,"
            "1402 0,");
}

}  // namespace
}  // namespace boardstat::testing
