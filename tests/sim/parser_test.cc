#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sim/board_description.h"

namespace boardsim {
namespace {

TEST(Parser, AcceptsEveryStatement) {
  const ParseResult r = parse_board_description(
      "# a board\n"
      "\n"
      "vfg\t# first\n"
      "  reg 2854 0x7\n"
      "reg\t1\t4294967295\r\n"
      "counter 1419 30\n"
      "reg 1419 100\n"
      "router 1 7 9 0x1f\n"
      "seq 255 1426 1\n"
      "seq 0 2829 2\n"
      "clears 2676 2714 2715\n"
      "signal 32 11.765ns 5ns\n"
      "signal 38 0.1s 1ps 2ms\n"
      "vfg open-fails\n"
      "reg 2854 1",
      "t.board");
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_EQ(r.board.vfgs.size(), 2u);
  const VfgDescription& v = r.board.vfgs[0];
  EXPECT_FALSE(v.open_fails);
  EXPECT_EQ(v.registers.at(2854), 7u);
  EXPECT_EQ(v.registers.at(1), 4294967295u);
  EXPECT_EQ(v.registers.at(1419), 100u);
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

TEST(Parser, EmptyTextHasNoVfg) {
  const ParseResult r = parse_board_description("# nothing\n\n \t \n", "t.board");
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r.board.vfgs.empty());
}

struct ErrorCase {
  const char* text;
  const char* error;
};

class ParserErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParserErrors, ReportsFileLineAndReason) {
  const ParseResult r = parse_board_description(GetParam().text, "dir/my.board");
  EXPECT_EQ(r.error, GetParam().error);
  EXPECT_TRUE(r.board.vfgs.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ParserErrors,
    ::testing::Values(
        ErrorCase{"vfg\nfrobnicate 1\n", "dir/my.board:2: unknown statement 'frobnicate'"},
        ErrorCase{"# c\nreg 1 2\nvfg\n", "dir/my.board:2: reg before the first vfg"},
        ErrorCase{"signal 1 1ns 0.5ns\n", "dir/my.board:1: signal before the first vfg"},
        ErrorCase{"vfg closed\n", "dir/my.board:1: unknown vfg option 'closed'"},
        ErrorCase{"vfg open-fails now\n",
                  "dir/my.board:1: extra words: expected 'vfg [open-fails]'"},
        ErrorCase{"vfg\nreg 1\n", "dir/my.board:2: missing words: expected 'reg ID VALUE'"},
        ErrorCase{"vfg\nreg 1 2 3\n", "dir/my.board:2: extra words: expected 'reg ID VALUE'"},
        ErrorCase{"vfg\nreg 1 2 # 3\nreg 2 3 4",
                  "dir/my.board:3: extra words: expected 'reg ID VALUE'"},
        ErrorCase{"vfg\nrouter 1 2 3\n",
                  "dir/my.board:2: missing words: expected 'router TABLE COLUMN ROW VALUE'"},
        ErrorCase{"vfg\nseq 1 1426 1 1\n",
                  "dir/my.board:2: extra words: expected 'seq INDEX ID VALUE'"},
        ErrorCase{"vfg\nclears 5\n", "dir/my.board:2: missing words: expected 'clears ID ID2 ...'"},
        ErrorCase{"vfg\nsignal 3 100ns\n",
                  "dir/my.board:2: missing words: expected 'signal NUMBER PERIOD HIGH [PHASE]'"},
        ErrorCase{"vfg\nsignal 3 100ns 50ns 0ns 1ns\n",
                  "dir/my.board:2: extra words: expected 'signal NUMBER PERIOD HIGH [PHASE]'"},
        ErrorCase{"vfg\nreg 2854 1\nvfg\nreg 2854 1\nreg 2854 2\n",
                  "dir/my.board:5: repeated reg 2854 in this vfg"},
        ErrorCase{"vfg\nreg 0x10 1\nreg 16 1\n", "dir/my.board:3: repeated reg 16 in this vfg"},
        ErrorCase{"vfg\ncounter 1419 1\ncounter 1419 2\n",
                  "dir/my.board:3: repeated counter 1419 in this vfg"},
        ErrorCase{"vfg\nrouter 1 2 3 4\nrouter 1 2 3 5\n",
                  "dir/my.board:3: repeated router 1 2 3 in this vfg"},
        ErrorCase{"vfg\nseq 4 2826 1\nseq 4 2826 1\n",
                  "dir/my.board:3: repeated seq 4 2826 in this vfg"},
        ErrorCase{"vfg\nclears 1 2\nclears 1 3\n", "dir/my.board:3: repeated clears 1 in this vfg"},
        ErrorCase{"vfg\nsignal 8 1us 1ns\nsignal 8 2us 1ns\n",
                  "dir/my.board:3: repeated signal 8 in this vfg"},
        ErrorCase{"vfg\nseq 256 1426 1\n", "dir/my.board:2: seq index 256 is above 255"},
        ErrorCase{"vfg\nseq 0 2819 1\n",
                  "dir/my.board:2: seq register 2819 is not 1426 or 2820 to 2829"},
        ErrorCase{"vfg\nseq 0 2830 1\n",
                  "dir/my.board:2: seq register 2830 is not 1426 or 2820 to 2829"},
        ErrorCase{"vfg\nsignal 1 0ns 0ns\n", "dir/my.board:2: signal period must be more than 0"},
        ErrorCase{"vfg\nsignal 1 10ns 0ns\n",
                  "dir/my.board:2: signal high time must be more than 0 and less than the period"},
        ErrorCase{"vfg\nsignal 1 10ns 10ns\n",
                  "dir/my.board:2: signal high time must be more than 0 and less than the period"},
        ErrorCase{"vfg\nreg 2881 1\n",
                  "dir/my.board:2: register 2881 is the router window: use router"},
        ErrorCase{"vfg\ncounter 2825 1\n",
                  "dir/my.board:2: register 2825 is the sequencer window: use seq"},
        ErrorCase{"vfg\nreg 2912 1\n", "dir/my.board:2: register 2912 is a rate probe result"}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, ParserErrors,
    ::testing::Values(
        ErrorCase{"vfg\nreg 4294967296 0\n",
                  "dir/my.board:2: number '4294967296' does not fit in 32 bits"},
        ErrorCase{"vfg\nreg 1 0x100000000\n",
                  "dir/my.board:2: number '0x100000000' does not fit in 32 bits"},
        ErrorCase{"vfg\nreg 1 99999999999999999999999\n",
                  "dir/my.board:2: number '99999999999999999999999' does not fit in 32 bits"},
        ErrorCase{"vfg\nreg 1 99999999999x\n", "dir/my.board:2: bad number '99999999999x'"},
        ErrorCase{"vfg\nreg 1 -1\n", "dir/my.board:2: bad number '-1'"},
        ErrorCase{"vfg\nreg 1 0x\n", "dir/my.board:2: bad number '0x'"},
        ErrorCase{"vfg\nreg 1 0xg\n", "dir/my.board:2: bad number '0xg'"},
        ErrorCase{"vfg\nreg 1 2\x01\n", "dir/my.board:2: bad number '2\\x01'"},
        ErrorCase{"vfg\nreg 1 12345678901234567890123456789012345678901234567890\n",
                  "dir/my.board:2: number '1234567890123456789012345678901234567890...' does "
                  "not fit in 32 bits"}));

INSTANTIATE_TEST_SUITE_P(
    Durations, ParserErrors,
    ::testing::Values(
        ErrorCase{"vfg\nsignal 1 2ns 0.5ps\n",
                  "dir/my.board:2: duration '0.5ps' is finer than 1 ps"},
        ErrorCase{"vfg\nsignal 1 1.0001ns 1ns\n",
                  "dir/my.board:2: duration '1.0001ns' is finer than 1 ps"},
        ErrorCase{"vfg\nsignal 1 0.0000000000001s 1ps\n",
                  "dir/my.board:2: duration '0.0000000000001s' is finer than 1 ps"},
        ErrorCase{
            "vfg\nsignal 1 18446744073709551616ps 1ps\n",
            "dir/my.board:2: duration '18446744073709551616ps' does not fit in 64 bits of ps"},
        ErrorCase{"vfg\nsignal 1 18446745s 1ps\n",
                  "dir/my.board:2: duration '18446745s' does not fit in 64 bits of ps"},
        ErrorCase{"vfg\nsignal 1 10 1ps\n", "dir/my.board:2: bad duration '10'"},
        ErrorCase{"vfg\nsignal 1 10 ns 1ps\n", "dir/my.board:2: bad duration '10'"},
        ErrorCase{"vfg\nsignal 1 .5ns 1ps\n", "dir/my.board:2: bad duration '.5ns'"},
        ErrorCase{"vfg\nsignal 1 5.ns 1ps\n", "dir/my.board:2: bad duration '5.ns'"},
        ErrorCase{"vfg\nsignal 1 1e3ns 1ps\n", "dir/my.board:2: bad duration '1e3ns'"},
        ErrorCase{"vfg\nsignal 1 1.2.3ns 1ps\n", "dir/my.board:2: bad duration '1.2.3ns'"}));

struct DurationCase {
  const char* word;
  uint64_t picoseconds;
};

class Durations : public ::testing::TestWithParam<DurationCase> {};

TEST_P(Durations, KeepsWholePicoseconds) {
  uint64_t ps = 0;
  std::string error;
  ASSERT_TRUE(parse_duration(GetParam().word, &ps, &error)) << error;
  EXPECT_EQ(ps, GetParam().picoseconds);
}

INSTANTIATE_TEST_SUITE_P(
    Units, Durations,
    ::testing::Values(DurationCase{"1ps", 1}, DurationCase{"0ps", 0},
                      DurationCase{"11.765ns", 11765}, DurationCase{"1.000000ns", 1000},
                      DurationCase{"33.3333ms", 33333300000}, DurationCase{"0.1s", 100000000000},
                      DurationCase{"0.000000000001s", 1}, DurationCase{"2.5us", 2500000},
                      DurationCase{"18446744073709551615ps", UINT64_MAX},
                      DurationCase{"18446744.073709551615s", UINT64_MAX}));

TEST(Parser, NumberLimits) {
  uint32_t v = 0;
  std::string error;
  EXPECT_TRUE(parse_number("4294967295", &v, &error));
  EXPECT_EQ(v, 4294967295u);
  EXPECT_TRUE(parse_number("0xffffffff", &v, &error));
  EXPECT_EQ(v, 0xffffffffu);
  EXPECT_TRUE(parse_number("0X00000000000000000000001A", &v, &error));
  EXPECT_EQ(v, 26u);
  EXPECT_TRUE(parse_number("007", &v, &error));
  EXPECT_EQ(v, 7u);
}

// Every word of every statement, broken in turn: the statement's name, a number word, a
// duration word. Each gives one message on the statement's line that names the word.
struct StatementWords {
  const char* statement;
  const char* kinds;  // per word after the name: n number, d duration, o the vfg option
};

constexpr StatementWords kStatements[] = {
    {"vfg open-fails", "o"},
    {"reg 2854 7", "nn"},
    {"counter 1419 30", "nn"},
    {"router 1 2 3 4", "nnnn"},
    {"seq 3 2826 5", "nnn"},
    {"clears 2676 2714 2715", "nnn"},
    {"signal 32 11ns 5ns 1ns", "nddd"},
};

std::vector<std::string> split_words(const std::string& statement) {
  std::vector<std::string> words;
  std::istringstream in(statement);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string join(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& word : words) line += (line.empty() ? "" : " ") + word;
  return line;
}

TEST(Parser, EveryWordOfEveryStatementBrokenInTurn) {
  for (const StatementWords& s : kStatements) {
    const std::vector<std::string> words = split_words(s.statement);
    const std::string prefix = std::string(s.statement).rfind("vfg", 0) == 0 ? "" : "vfg\n";
    const std::string line = prefix.empty() ? "f:1: " : "f:2: ";
    ASSERT_TRUE(parse_board_description(prefix + s.statement, "f").ok()) << s.statement;

    std::vector<std::string> broken = words;
    broken[0] = "bogus";
    EXPECT_EQ(parse_board_description(prefix + join(broken), "f").error,
              line + "unknown statement 'bogus'");

    for (size_t i = 1; i < words.size(); ++i) {
      const char kind = s.kinds[i - 1];
      // A bad word, and for numbers and durations one just past their limit.
      std::vector<std::pair<std::string, std::string>> bad;
      if (kind == 'n') {
        bad = {{"12z", "bad number '12z'"},
               {"4294967296", "number '4294967296' does not fit in 32 bits"},
               {"0x100000000", "number '0x100000000' does not fit in 32 bits"}};
      } else if (kind == 'd') {
        bad = {{"12", "bad duration '12'"},
               {"1.0005ns", "duration '1.0005ns' is finer than 1 ps"},
               {"18446744073709551616ps",
                "duration '18446744073709551616ps' does not fit in 64 bits of ps"}};
      } else {
        bad = {{"open", "unknown vfg option 'open'"}};
      }
      for (const auto& [word, reason] : bad) {
        broken = words;
        broken[i] = word;
        const ParseResult r = parse_board_description(prefix + join(broken) + "\n", "f");
        EXPECT_EQ(r.error, line + reason) << join(broken);
        EXPECT_TRUE(r.board.vfgs.empty());
      }
    }

    // One word too many; and, where every word is needed, one too few.
    broken = words;
    broken.push_back("9");
    const ParseResult extra = parse_board_description(prefix + join(broken), "f");
    if (words[0] == "clears") {
      EXPECT_TRUE(extra.ok()) << extra.error;
    } else {
      EXPECT_EQ(extra.error.rfind(line + "extra words: expected '", 0), 0u) << extra.error;
    }
    if (words[0] != "signal" && words[0] != "vfg") {
      broken = words;
      broken.resize(words[0] == "clears" ? 2 : words.size() - 1);
      const ParseResult missing = parse_board_description(prefix + join(broken), "f");
      EXPECT_EQ(missing.error.rfind(line + "missing words: expected '", 0), 0u) << missing.error;
    }
  }
}

TEST(Parser, StopsAtTheFirstError) {
  const ParseResult r = parse_board_description("vfg\nreg 1 x\nreg 2 y\n", "f");
  EXPECT_EQ(r.error, "f:2: bad number 'x'");
}

// Hostile bytes: every prefix of a valid description and a few scrambled texts must give a
// description or one error, never a crash (run under the sanitizers).
TEST(Parser, SurvivesArbitraryBytes) {
  const std::string valid =
      "vfg\nreg 1 2\nsignal 3 100ns 50ns 7ps\nrouter 1 2 3 4\nseq 9 2826 5\nclears 1 2 3\n";
  for (size_t n = 0; n <= valid.size(); ++n) {
    const ParseResult r = parse_board_description(valid.substr(0, n), "f");
    EXPECT_TRUE(r.ok() || r.error.rfind("f:", 0) == 0);
  }
  uint32_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string text = valid;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1664525u + 1013904223u;
      text[(seed >> 8) % text.size()] = static_cast<char>(seed >> 24);
    }
    const ParseResult r = parse_board_description(text, "f");
    EXPECT_TRUE(r.ok() || (r.error.rfind("f:", 0) == 0 && r.error.find('\n') == std::string::npos));
  }
}

}  // namespace
}  // namespace boardsim
