#include <gtest/gtest.h>

#include <stdio.h>

#include <memory>
#include <string>

#include "sim/board_system.h"
#include "tests/sim/sim_test_support.h"

namespace boardsim {
namespace {

using testing::kSecond;

TEST(BoardSystem, AnswersAndTracesEachKindOfCall) {
  FILE* trace = tmpfile();
  ASSERT_NE(trace, nullptr);
  auto owned = std::make_unique<testing::ManualClock>();
  testing::ManualClock& clock = *owned;
  BoardSystem s(testing::parse_valid("vfg\ncounter 7 30\nvfg open-fails\n"), std::move(owned),
                trace);
  LmBrdEntry entries[2], stray{};
  KvHandle h0 = nullptr, h1 = nullptr, again = nullptr;
  EXPECT_EQ(s.find(208, 0, &entries[0]), 0);
  EXPECT_EQ(s.find(208, 1, &entries[1]), 0);
  EXPECT_EQ(s.find(208, 2, &stray), 1);
  EXPECT_EQ(s.find(207, 0, &stray), 1);
  EXPECT_EQ(s.open(&entries[0], &h0), 0);
  EXPECT_EQ(s.open(&entries[1], &h1), 1);  // found, but refuses to open
  EXPECT_EQ(s.open(&stray, &h1), 2);       // not filled by find
  EXPECT_EQ(h1, nullptr);
  clock.t = kSecond;
  EXPECT_EQ(s.open(&entries[0], &again), 0);  // the same VFG, its board time running on
  EXPECT_EQ(again, h0);
  EXPECT_EQ(s.peek(h0, 7), 30u);
  EXPECT_EQ(s.poke(h0, 8, 4294967295u), 0);
  EXPECT_EQ(s.peek(h0, 8), 4294967295u);
  EXPECT_EQ(s.poke(h1, 8, 1), 1);  // a handle of no open VFG
  EXPECT_EQ(s.peek(h1, 8), 0u);
  rewind(trace);
  std::string text(4096, '\0');
  text.resize(fread(text.data(), 1, text.size(), trace));
  fclose(trace);
  EXPECT_EQ(text,
            "find 208 0 -> 0\nfind 208 1 -> 0\nfind 208 2 -> 1\nfind 207 0 -> 1\nopen 0 -> 0\n"
            "open 1 -> 1\nopen 0 -> 2\nopen 0 -> 0\npeek 0 7 -> 30\npoke 0 8 4294967295\n"
            "peek 0 8 -> 4294967295\npoke 18446744073709551615 8 1\n"
            "peek 18446744073709551615 8 -> 0\n");
}

}  // namespace
}  // namespace boardsim
