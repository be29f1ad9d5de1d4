#include "display/format.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

namespace boardstat {
namespace {

// The padding ignores a fill, width and alignment left in the stream (the SystemProbe lines
// leave it left-aligned); names of 26 characters or more are not cut. (Hexadecimal, general
// notation and flag sets are checked through the panels that use them.)
TEST(Format, LabelPadsToColumn29WhateverTheStreamState) {
  for (const auto& [name, expected] : std::vector<std::pair<std::string, std::string>>{
           {"Mode", "Mode                      : "},
           {"A name of exactly 26 chars", "A name of exactly 26 chars: "},
           {"A name longer than twenty-six", "A name longer than twenty-six: "}}) {
    std::ostringstream out;
    out << std::left << std::setfill('0') << std::setw(40);
    write_label(out, name);
    EXPECT_EQ(out.str(), expected);
  }
}

}  // namespace
}  // namespace boardstat
