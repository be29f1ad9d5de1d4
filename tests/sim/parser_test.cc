#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sim/board_description.h"

namespace boardsim {
namespace {

TEST(Parser, AcceptsEveryStatement) {
  EXPECT_TRUE(parse_board_description("# nothing\n\n \t \n", "f").board.vfgs.empty());
  const ParseResult r = parse_board_description(
      "# a board\n\nvfg\t# first\n  reg 2854 0x7\nreg\t1\t4294967295\r\ncounter 1419 30\n"
      "reg 1419 100\nrouter 1 7 9 0x1f\nseq 255 1426 1\nseq 0 2829 2\nclears 2676 2714 2715\n"
      "signal 32 11.765ns 5ns\nsignal 38 0.1s 1ps 2ms\nvfg open-fails\nreg 2854 1",
      "f");
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_EQ(r.board.vfgs.size(), 2u);
  const VfgDescription& v = r.board.vfgs[0];
  EXPECT_FALSE(v.open_fails);
  EXPECT_EQ(v.registers,
            (std::unordered_map<uint32_t, uint32_t>{{2854, 7}, {1, 4294967295u}, {1419, 100}}));
  EXPECT_EQ(v.counters.at(1419), 30u);
  EXPECT_EQ((v.router.at(RouterKey{1, 7, 9})), 0x1fu);
  EXPECT_EQ(v.seq.at(255 * kSeqSlots + 0), 1u);
  EXPECT_EQ(v.seq.at(0 * kSeqSlots + 10), 2u);
  EXPECT_EQ(v.clears.at(2676), (std::vector<uint32_t>{2714, 2715}));
  EXPECT_EQ(v.signals.at(32).period, 11765u);
  EXPECT_EQ(v.signals.at(32).high, 5000u);
  EXPECT_EQ(v.signals.at(32).phase, 0u);
  EXPECT_EQ(v.signals.at(38).period, 100000000000u);
  EXPECT_EQ(v.signals.at(38).high, 1u);
  EXPECT_EQ(v.signals.at(38).phase, 2000000000u);
  EXPECT_TRUE(r.board.vfgs[1].open_fails);
  EXPECT_EQ(r.board.vfgs[1].registers.at(2854), 1u);
}

TEST(Parser, NumbersAndDurationsAtTheirLimits) {
  for (const auto& [word, value] :
       std::vector<std::pair<const char*, uint32_t>>{{"4294967295", 4294967295u},
                                                     {"0xffffffff", 0xffffffffu},
                                                     {"0X00000000000000000000001A", 26},
                                                     {"007", 7}}) {
    uint32_t v = 0;
    std::string error;
    EXPECT_TRUE(parse_number(word, &v, &error)) << word;
    EXPECT_EQ(v, value) << word;
  }
  for (const auto& [word, ps] :
       std::vector<std::pair<const char*, uint64_t>>{{"1ps", 1},
                                                     {"0ps", 0},
                                                     {"11.765ns", 11765},
                                                     {"1.000000ns", 1000},
                                                     {"33.3333ms", 33333300000},
                                                     {"0.1s", 100000000000},
                                                     {"0.000000000001s", 1},
                                                     {"2.5us", 2500000},
                                                     {"18446744073709551615ps", UINT64_MAX},
                                                     {"18446744.073709551615s", UINT64_MAX}}) {
    uint64_t v = 0;
    std::string error;
    EXPECT_TRUE(parse_duration(word, &v, &error)) << word << error;
    EXPECT_EQ(v, ps) << word;
  }
}

// Errors the word-by-word test below does not make: each gives one message and no VFG.
TEST(Parser, ReportsFileLineAndReason) {
  for (const auto& [text, error] : std::vector<std::pair<const char*, const char*>>{
           {"# c\nreg 1 2\nvfg\n", "f:2: reg before the first vfg"},
           {"signal 1 1ns 0.5ns\n", "f:1: signal before the first vfg"},
           {"vfg\nreg 1 x\nreg 2 y\n", "f:2: bad number 'x'"},
           {"vfg\nreg 1 2 # 3\nreg 2 3 4", "f:3: extra words: expected 'reg ID VALUE'"},
           {"vfg\nreg 2854 1\nvfg\nreg 2854 1\nreg 2854 2\n", "f:5: repeated reg 2854 in this vfg"},
           {"vfg\nreg 0x10 1\nreg 16 1\n", "f:3: repeated reg 16 in this vfg"},
           {"vfg\nseq 256 1426 1\n", "f:2: seq index 256 is above 255"},
           {"vfg\nseq 0 2819 1\n", "f:2: seq register 2819 is not 1426 or 2820 to 2829"},
           {"vfg\nseq 0 2830 1\n", "f:2: seq register 2830 is not 1426 or 2820 to 2829"},
           {"vfg\nsignal 1 0ns 0ns\n", "f:2: signal period must be more than 0"},
           {"vfg\nsignal 1 10ns 0ns\n",
            "f:2: signal high time must be more than 0 and less than the period"},
           {"vfg\nsignal 1 10ns 10ns\n",
            "f:2: signal high time must be more than 0 and less than the period"},
           {"vfg\nreg 2881 1\n", "f:2: register 2881 is the router window: use router"},
           {"vfg\ncounter 2825 1\n", "f:2: register 2825 is the sequencer window: use seq"},
           {"vfg\nreg 2912 1\n", "f:2: register 2912 is a rate probe result"},
           {"vfg\nreg 1 99999999999999999999999\n",
            "f:2: number '99999999999999999999999' does not fit in 32 bits"},
           {"vfg\nreg 1 12345678901234567890123456789012345678901234567890\n",
            "f:2: number '1234567890123456789012345678901234567890...' does not fit in 32 bits"},
           {"vfg\nreg 1 99999999999x\n", "f:2: bad number '99999999999x'"},
           {"vfg\nreg 1 -1\n", "f:2: bad number '-1'"},
           {"vfg\nreg 1 0x\n", "f:2: bad number '0x'"},
           {"vfg\nreg 1 2\x01\n", "f:2: bad number '2\\x01'"},
           {"vfg\nsignal 1 2ns 0.5ps\n", "f:2: duration '0.5ps' is finer than 1 ps"},
           {"vfg\nsignal 1 0.0000000000001s 1ps\n",
            "f:2: duration '0.0000000000001s' is finer than 1 ps"},
           {"vfg\nsignal 1 18446745s 1ps\n",
            "f:2: duration '18446745s' does not fit in 64 bits of ps"},
           {"vfg\nsignal 1 10 ns 1ps\n", "f:2: bad duration '10'"},
           {"vfg\nsignal 1 .5ns 1ps\n", "f:2: bad duration '.5ns'"},
           {"vfg\nsignal 1 5.ns 1ps\n", "f:2: bad duration '5.ns'"},
           {"vfg\nsignal 1 1e3ns 1ps\n", "f:2: bad duration '1e3ns'"},
           {"vfg\nsignal 1 1.2.3ns 1ps\n", "f:2: bad duration '1.2.3ns'"}}) {
    const ParseResult r = parse_board_description(text, "f");
    EXPECT_EQ(r.error, error);
    EXPECT_TRUE(r.board.vfgs.empty()) << text;
  }
}

std::string join(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& word : words) line += (line.empty() ? "" : " ") + word;
  return line;
}

// Every word of every statement broken in turn, a word too many or too few, the statement
// twice: one message on the statement's line that names the fault.
TEST(Parser, EveryWordOfEveryStatementBrokenInTurn) {
  const std::vector<std::pair<std::string, std::string>> bad_words[] = {
      {{"12z", "bad number '12z'"},
       {"4294967296", "number '4294967296' does not fit in 32 bits"},
       {"0x100000000", "number '0x100000000' does not fit in 32 bits"}},
      {{"12", "bad duration '12'"},
       {"1.0005ns", "duration '1.0005ns' is finer than 1 ps"},
       {"18446744073709551616ps",
        "duration '18446744073709551616ps' does not fit in 64 bits of ps"}},
      {{"open", "unknown vfg option 'open'"}}};
  // Per word after the name: 0 a number, 1 a duration, 2 the vfg option.
  for (const auto& [statement, kinds] :
       std::vector<std::pair<std::string, std::string>>{{"vfg open-fails", "2"},
                                                        {"reg 2854 7", "00"},
                                                        {"counter 1419 30", "00"},
                                                        {"router 1 2 3 4", "0000"},
                                                        {"seq 3 2826 5", "000"},
                                                        {"clears 2676 2714 2715", "000"},
                                                        {"signal 32 11ns 5ns 1ns", "0111"}}) {
    std::vector<std::string> words;
    std::istringstream in(statement);
    for (std::string word; in >> word;) words.push_back(word);
    const bool is_vfg = words[0] == "vfg";
    const auto parse = [&](const std::vector<std::string>& broken) {
      return parse_board_description((is_vfg ? "" : "vfg\n") + join(broken) + "\n", "f");
    };
    const std::string line = is_vfg ? "f:1: " : "f:2: ";
    ASSERT_TRUE(parse(words).ok()) << statement;

    std::vector<std::string> broken = words;
    broken[0] = "bogus";
    EXPECT_EQ(parse(broken).error, line + "unknown statement 'bogus'");
    for (size_t i = 1; i < words.size(); ++i) {
      for (const auto& [word, reason] : bad_words[kinds[i - 1] - '0']) {
        broken = words;
        broken[i] = word;
        const ParseResult r = parse(broken);
        EXPECT_EQ(r.error, line + reason) << join(broken);
        EXPECT_TRUE(r.board.vfgs.empty());
      }
    }
    broken = words;
    broken.push_back("9");
    EXPECT_EQ(parse(broken).error.rfind(line + "extra words: expected '", 0),
              words[0] == "clears" ? std::string::npos : 0u)
        << join(broken);
    if (words[0] != "signal" && !is_vfg) {
      broken.resize(words[0] == "clears" ? 2 : words.size() - 1);
      EXPECT_EQ(parse(broken).error.rfind(line + "missing words: expected '", 0), 0u);
    }
    if (!is_vfg) {
      const ParseResult twice = parse({statement + "\n" + statement});
      EXPECT_EQ(twice.error.rfind("f:3: repeated " + words[0] + " ", 0), 0u) << twice.error;
    }
  }
}

// Every prefix of a valid description and scrambled copies of it give a description or one
// message, never a crash (run under the sanitizers).
TEST(Parser, SurvivesArbitraryBytes) {
  const std::string valid =
      "vfg\nreg 1 2\nsignal 3 100ns 50ns 7ps\nrouter 1 2 3 4\nseq 9 2826 5\nclears 1 2 3\n";
  uint32_t seed = 12345;
  for (size_t round = 0; round < 2000 + valid.size(); ++round) {
    std::string text = valid.substr(0, round);
    for (int k = 0; round >= valid.size() && k < 4; ++k) {
      seed = seed * 1664525u + 1013904223u;
      text[(seed >> 8) % text.size()] = static_cast<char>(seed >> 24);
    }
    const ParseResult r = parse_board_description(text, "f");
    EXPECT_TRUE(r.ok() || (r.error.rfind("f:", 0) == 0 && r.error.find('\n') == std::string::npos));
  }
}

}  // namespace
}  // namespace boardsim
