#include "exporter/flags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "table.h"

namespace boardstat {
namespace {

// Each command line of command_lines.txt sets its first flag, as the flag's own default
// shows it, or gives the complaint that names what is wrong.
TEST(Flags, CommandLines) {
  const auto rows = read_table(BOARDSTAT_EXPORTER_TESTS "/command_lines.txt", 2);
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    std::istringstream words(row[0]);
    const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    const ParsedFlags parsed = parse_flags(std::vector<std::string_view>(args.begin(), args.end()));
    if (row[1].rfind("= ", 0) != 0) {
      EXPECT_EQ(parsed.error.substr(0, row[1].size()), row[1]);
      continue;
    }
    ASSERT_EQ(parsed.error, "");
    const std::string name = args[0].substr(0, args[0].find('='));
    const auto& flags = exporter_flags();
    const auto flag = std::find_if(flags.begin(), flags.end(),
                                   [&](const ExporterFlag& f) { return f.name == name; });
    ASSERT_TRUE(flag != flags.end() && flag->shown_default);
    EXPECT_EQ(flag->shown_default(parsed.flags), row[1].substr(2));
  }
}

// Names as they are given, counted in characters; names with bytes that a text file does not
// show are refused.
TEST(Flags, VfgNames) {
  std::string umlauts;  // the longest name: 64 characters, 128 bytes
  for (int i = 0; i < 64; ++i) umlauts += "\xc3\xb6";
  const std::string longest = "0=" + umlauts;
  const ParsedFlags parsed =
      parse_flags({"--collect.vfg-name=2=line 3 \"top\"", "--collect.vfg-name", longest});
  EXPECT_EQ(parsed.flags.collector.vfg_names,
            (std::vector<std::string>{umlauts, "", "line 3 \"top\""}));
  for (const std::string name : {"1=top\tcamera", "1=\xff", "1=ab\xc3"}) {
    EXPECT_EQ(parse_flags({"--collect.vfg-name=" + name}).error.substr(0, 53),
              "--collect.vfg-name: the name of VFG 1 holds a control")
        << name;
  }
}

}  // namespace
}  // namespace boardstat
