#include "display/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>

#include "tests/support/fake_board.h"

namespace boardstat {
namespace {

using testing::FakeBoard;

TEST(Label, PadsNamesToColumn29WhateverTheStreamState) {
  for (const auto& [name, expected] : std::vector<std::pair<std::string, std::string>>{
           {"", "                          : "},
           {"Mode", "Mode                      : "},
           {"Max PCIe payload (System)", "Max PCIe payload (System) : "},
           {"A name of exactly 26 chars", "A name of exactly 26 chars: "},
           {"A name longer than twenty-six", "A name longer than twenty-six: "}}) {
    std::ostringstream out;
    out << std::left << std::setfill('0') << std::setw(40);
    write_label(out, name);
    EXPECT_EQ(out.str(), expected);
  }
}

TEST(Hex, NoLeadingZerosThenDecimalAgain) {
  for (const auto& [value, expected] : std::vector<std::pair<uint32_t, std::string>>{
           {0, "0 10"}, {255, "ff 10"}, {0xabc, "abc 10"}, {0xFFFFFFFF, "ffffffff 10"}}) {
    std::ostringstream out;
    write_hex(out, value);
    out << ' ' << 10;
    EXPECT_EQ(out.str(), expected);
  }
}

TEST(General, SixSignificantDigitsEvenAfterFixedNotation) {
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [value, expected] :
       std::vector<std::pair<double, std::string>>{{128, "128"},
                                                   {1.0 / 60, "0.0166667"},
                                                   {0.5, "0.5"},
                                                   {1e20, "1e+20"},
                                                   {std::ldexp(1.0, 1023), "8.98847e+307"},
                                                   {inf, "inf"},
                                                   {0, "0"}}) {
    std::ostringstream out;
    out << std::fixed << std::setprecision(2) << 1.0 << ' ';
    write_general(out, value);
    EXPECT_EQ(out.str(), "1.00 " + expected);
  }
}

TEST(FlagSet, EmptySingleAndFullInTheGivenOrder) {
  constexpr Flag kFlags[] = {{30, "third"}, {10, "first"}, {20, "second"}};
  struct Case {
    std::vector<uint32_t> set;
    const char* line;
  };
  for (const Case& c :
       std::vector<Case>{{{}, "Errors                    : {}\n"},
                         {{10}, "Errors                    : {first }\n"},
                         {{10, 20, 30}, "Errors                    : {third first second }\n"}}) {
    FakeBoard& board = FakeBoard::reset(1);
    for (uint32_t reg : c.set) board.set(reg, reg == 10 ? 0xFFFFFFFF : 2);
    std::ostringstream out;
    flag_set_line(out, FakeBoard::handle(0), "Errors", kFlags);
    EXPECT_EQ(out.str(), c.line);
    EXPECT_EQ(board.log(), (std::vector<std::string>{"peek 0 30", "peek 0 10", "peek 0 20"}));
  }
}

}  // namespace
}  // namespace boardstat
