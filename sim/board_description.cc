#include "sim/board_description.h"

#include <stdio.h>

#include <algorithm>

namespace boardsim {
namespace {

constexpr size_t kMaxQuoted = 40;

// A word as it appears in a message: quoted, printable, and short.
std::string quote(std::string_view word) {
  std::string out = "'";
  for (size_t i = 0; i < word.size() && i < kMaxQuoted; ++i) {
    const unsigned char c = static_cast<unsigned char>(word[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  if (word.size() > kMaxQuoted) out += "...";
  return out + "'";
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

int hex_digit(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct Unit {
  std::string_view suffix;
  uint64_t picoseconds;
  int decimals;  // digits of a fraction that still give whole picoseconds
};

// Two-letter units first, so that "ns" is not read as "n" and "s".
constexpr Unit kUnits[] = {{"ps", 1, 0},
                           {"ns", 1000, 3},
                           {"us", 1000000, 6},
                           {"ms", 1000000000, 9},
                           {"s", 1000000000000, 12}};

class Failure {
 public:
  explicit Failure(std::string reason, size_t line = 0) : reason(std::move(reason)), line(line) {}
  std::string reason;
  size_t line;  // 0: the line being parsed
};

using Words = std::vector<std::string_view>;

class Parser {
 public:
  void statement(const Words& words);
  // Checks what only the whole VFG can tell and puts its events in time order.
  void finish_vfg();
  BoardDescription board;
  size_t line = 0;  // the line being parsed

 private:
  // An `at TIME counter` event, checked against the VFG's counters once the VFG is complete.
  struct RateChange {
    size_t line;
    uint32_t id;
  };
  VfgDescription& vfg(std::string_view statement);
  static void arity(const Words& words, size_t least, size_t most, const char* usage);
  static uint32_t number(std::string_view word);
  static uint64_t duration(std::string_view word);
  static void plain_register(uint32_t id);

  void reg(const Words& words);
  void counter(const Words& words);
  void router(const Words& words);
  void seq(const Words& words);
  void clears(const Words& words);
  void signal(const Words& words);
  void vfg_line(const Words& words);
  void at(const Words& words);

  std::vector<RateChange> rate_changes_;
};

void Parser::arity(const Words& words, size_t least, size_t most, const char* usage) {
  if (words.size() < least) throw Failure(std::string("missing words: expected '") + usage + "'");
  if (words.size() > most) throw Failure(std::string("extra words: expected '") + usage + "'");
}

uint32_t Parser::number(std::string_view word) {
  uint32_t value = 0;
  std::string error;
  if (!parse_number(word, &value, &error)) throw Failure(error);
  return value;
}

uint64_t Parser::duration(std::string_view word) {
  uint64_t value = 0;
  std::string error;
  if (!parse_duration(word, &value, &error)) throw Failure(error);
  return value;
}

// reg and counter name plain registers only: the windows and the probe's results are computed.
void Parser::plain_register(uint32_t id) {
  const std::string name = "register " + std::to_string(id);
  if (id == kRouterDataRegister) throw Failure(name + " is the router window: use router");
  if (seq_slot(id) >= 0) throw Failure(name + " is the sequencer window: use seq");
  if (id == kProbeBusyRegister || id == kProbeCountRegister) {
    throw Failure(name + " is a rate probe result");
  }
}

VfgDescription& Parser::vfg(std::string_view statement) {
  if (board.vfgs.empty()) throw Failure(std::string(statement) + " before the first vfg");
  return board.vfgs.back();
}

void Parser::reg(const Words& words) {
  VfgDescription& v = vfg(words[0]);
  arity(words, 3, 3, "reg ID VALUE");
  const uint32_t id = number(words[1]);
  const uint32_t value = number(words[2]);
  plain_register(id);
  if (!v.registers.emplace(id, value).second) {
    throw Failure("repeated reg " + std::to_string(id) + " in this vfg");
  }
}

void Parser::counter(const Words& words) {
  VfgDescription& v = vfg(words[0]);
  arity(words, 3, 3, "counter ID PER_SECOND");
  const uint32_t id = number(words[1]);
  const uint32_t rate = number(words[2]);
  plain_register(id);
  if (!v.counters.emplace(id, rate).second) {
    throw Failure("repeated counter " + std::to_string(id) + " in this vfg");
  }
}

void Parser::router(const Words& words) {
  VfgDescription& v = vfg(words[0]);
  arity(words, 5, 5, "router TABLE COLUMN ROW VALUE");
  const RouterKey key{number(words[1]), number(words[2]), number(words[3])};
  const uint32_t value = number(words[4]);
  if (!v.router.emplace(key, value).second) {
    throw Failure("repeated router " + std::to_string(key.table) + " " +
                  std::to_string(key.column) + " " + std::to_string(key.row) + " in this vfg");
  }
}

void Parser::seq(const Words& words) {
  VfgDescription& v = vfg(words[0]);
  arity(words, 4, 4, "seq INDEX ID VALUE");
  const uint32_t index = number(words[1]);
  const uint32_t id = number(words[2]);
  const uint32_t value = number(words[3]);
  if (index >= kSeqEntries) {
    throw Failure("seq index " + std::to_string(index) + " is above 255");
  }
  const int slot = seq_slot(id);
  if (slot < 0) {
    throw Failure("seq register " + std::to_string(id) + " is not 1426 or 2820 to 2829");
  }
  if (!v.seq.emplace(index * kSeqSlots + static_cast<uint32_t>(slot), value).second) {
    throw Failure("repeated seq " + std::to_string(index) + " " + std::to_string(id) +
                  " in this vfg");
  }
}

void Parser::clears(const Words& words) {
  VfgDescription& v = vfg(words[0]);
  if (words.size() < 3) throw Failure("missing words: expected 'clears ID ID2 ...'");
  const uint32_t id = number(words[1]);
  std::vector<uint32_t> cleared;
  for (size_t i = 2; i < words.size(); ++i) cleared.push_back(number(words[i]));
  if (!v.clears.emplace(id, std::move(cleared)).second) {
    throw Failure("repeated clears " + std::to_string(id) + " in this vfg");
  }
}

void Parser::signal(const Words& words) {
  VfgDescription& v = vfg(words[0]);
  arity(words, 4, 5, "signal NUMBER PERIOD HIGH [PHASE]");
  const uint32_t number_ = number(words[1]);
  Signal s;
  s.period = duration(words[2]);
  s.high = duration(words[3]);
  if (words.size() == 5) s.phase = duration(words[4]);
  if (s.period == 0) throw Failure("signal period must be more than 0");
  if (s.high == 0 || s.high >= s.period) {
    throw Failure("signal high time must be more than 0 and less than the period");
  }
  if (!v.signals.emplace(number_, s).second) {
    throw Failure("repeated signal " + std::to_string(number_) + " in this vfg");
  }
}

void Parser::vfg_line(const Words& words) {
  finish_vfg();
  size_t next = 1;
  const bool open_fails = words.size() > next && words[next] == "open-fails";
  if (open_fails) ++next;
  bool appears_later = false;
  uint64_t appears_after = 0;
  if (words.size() > next && words[next] == "appears-after") {
    arity(words, next + 2, next + 2,
          open_fails ? "vfg open-fails appears-after DURATION" : "vfg appears-after DURATION");
    appears_later = true;
    appears_after = duration(words[next + 1]);
  } else if (words.size() > next) {
    if (next == 1) throw Failure("unknown vfg option " + quote(words[1]));
    arity(words, 1, 2, "vfg [open-fails]");
  }
  board.vfgs.emplace_back();
  board.vfgs.back().open_fails = open_fails;
  board.vfgs.back().appears_later = appears_later;
  board.vfgs.back().appears_after = appears_after;
}

void Parser::at(const Words& words) {
  VfgDescription& v = vfg(words[0]);
  TimedEvent event;
  const char* usage = "at TIME reg|counter|write ID VALUE";
  if (words.size() >= 3) {
    if (words[2] == "reg") {
      event.kind = TimedEvent::kRegister;
      usage = "at TIME reg ID VALUE";
    } else if (words[2] == "counter") {
      event.kind = TimedEvent::kCounterRate;
      usage = "at TIME counter ID PER_SECOND";
    } else if (words[2] == "write") {
      event.kind = TimedEvent::kWrite;
      usage = "at TIME write ID VALUE";
    } else {
      throw Failure("unknown at event " + quote(words[2]) + ": expected reg, counter or write");
    }
  }
  arity(words, 5, 5, usage);
  event.at = duration(words[1]);
  event.id = number(words[3]);
  event.value = number(words[4]);
  if (event.kind == TimedEvent::kRegister) plain_register(event.id);
  if (event.kind == TimedEvent::kCounterRate) rate_changes_.push_back(RateChange{line, event.id});
  v.events.push_back(event);
}

void Parser::finish_vfg() {
  if (board.vfgs.empty()) return;
  VfgDescription& v = board.vfgs.back();
  for (const RateChange& change : rate_changes_) {
    if (v.counters.count(change.id) == 0) {
      throw Failure(
          "at counter: register " + std::to_string(change.id) + " is not a counter of this vfg",
          change.line);
    }
  }
  rate_changes_.clear();
  std::stable_sort(v.events.begin(), v.events.end(),
                   [](const TimedEvent& a, const TimedEvent& b) { return a.at < b.at; });
}

void Parser::statement(const Words& words) {
  const std::string_view name = words[0];
  if (name == "vfg") {
    vfg_line(words);
  } else if (name == "at") {
    at(words);
  } else if (name == "reg") {
    reg(words);
  } else if (name == "counter") {
    counter(words);
  } else if (name == "router") {
    router(words);
  } else if (name == "seq") {
    seq(words);
  } else if (name == "clears") {
    clears(words);
  } else if (name == "signal") {
    signal(words);
  } else {
    throw Failure("unknown statement " + quote(name));
  }
}

}  // namespace

int seq_slot(uint32_t id) {
  if (id == kSeqInUseRegister) return 0;
  if (id >= kSeqFirstRegister && id <= kSeqLastRegister) {
    return static_cast<int>(id - kSeqFirstRegister) + 1;
  }
  return -1;
}

bool parse_number(std::string_view word, uint32_t* value, std::string* error) {
  const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  const std::string_view digits = hex ? word.substr(2) : word;
  const uint64_t base = hex ? 16 : 10;
  uint64_t v = 0;
  if (digits.empty()) {
    *error = "bad number " + quote(word);
    return false;
  }
  for (const char c : digits) {
    const int d = hex ? hex_digit(c) : (is_digit(c) ? c - '0' : -1);
    if (d < 0) {
      *error = "bad number " + quote(word);
      return false;
    }
    v = v * base + static_cast<uint64_t>(d);
    if (v > UINT32_MAX) {
      // Keep reading only to tell a bad word from a long one.
      for (const char rest : digits) {
        if ((hex ? hex_digit(rest) : (is_digit(rest) ? 0 : -1)) < 0) {
          *error = "bad number " + quote(word);
          return false;
        }
      }
      *error = "number " + quote(word) + " does not fit in 32 bits";
      return false;
    }
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

bool parse_duration(std::string_view word, uint64_t* picoseconds, std::string* error) {
  const Unit* unit = nullptr;
  for (const Unit& u : kUnits) {
    if (word.size() > u.suffix.size() && word.substr(word.size() - u.suffix.size()) == u.suffix) {
      unit = &u;
      break;
    }
  }
  const std::string bad = "bad duration " + quote(word);
  if (unit == nullptr) {
    *error = bad;
    return false;
  }
  const std::string_view number = word.substr(0, word.size() - unit->suffix.size());
  const size_t point = number.find('.');
  std::string_view whole = number.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : number.substr(point + 1);
  if (whole.empty() || (point != std::string_view::npos && fraction.empty())) {
    *error = bad;
    return false;
  }
  for (const char c : whole) {
    if (!is_digit(c)) {
      *error = bad;
      return false;
    }
  }
  for (const char c : fraction) {
    if (!is_digit(c)) {
      *error = bad;
      return false;
    }
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  if (fraction.size() > static_cast<size_t>(unit->decimals)) {
    *error = "duration " + quote(word) + " is finer than 1 ps";
    return false;
  }
  const std::string too_long = "duration " + quote(word) + " does not fit in 64 bits of ps";
  uint64_t units = 0;
  for (const char c : whole) {
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (units > (UINT64_MAX - d) / 10) {
      *error = too_long;
      return false;
    }
    units = units * 10 + d;
  }
  uint64_t part = 0;  // the fraction in picoseconds
  for (int i = 0; i < unit->decimals; ++i) {
    part = part * 10 + (static_cast<size_t>(i) < fraction.size()
                            ? static_cast<uint64_t>(fraction[static_cast<size_t>(i)] - '0')
                            : 0);
  }
  if (units > (UINT64_MAX - part) / unit->picoseconds) {
    *error = too_long;
    return false;
  }
  *picoseconds = units * unit->picoseconds + part;
  return true;
}

ParseResult parse_board_description(std::string_view text, std::string_view file_name) {
  ParseResult result;
  Parser parser;
  size_t line_number = 0;
  size_t pos = 0;
  Words words;
  while (pos < text.size()) {
    ++line_number;
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t comment = line.find('#');
    if (comment != std::string_view::npos) line = line.substr(0, comment);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    words.clear();
    size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      const size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      if (i > start) words.push_back(line.substr(start, i - start));
    }
    if (words.empty()) continue;
    parser.line = line_number;
    try {
      parser.statement(words);
    } catch (const Failure& failure) {
      result.error = std::string(file_name) + ":" +
                     std::to_string(failure.line != 0 ? failure.line : line_number) + ": " +
                     failure.reason;
      return result;
    }
  }
  try {
    parser.finish_vfg();
  } catch (const Failure& failure) {
    result.error =
        std::string(file_name) + ":" + std::to_string(failure.line) + ": " + failure.reason;
    return result;
  }
  result.board = std::move(parser.board);
  return result;
}

}  // namespace boardsim
