#include "exporter/extended_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "table.h"

namespace boardstat {
namespace {

constexpr double kNever = -1;
constexpr double kForever = std::numeric_limits<double>::infinity();

// A board count: `start` plus `rate` a second while its group runs; after a clear, `rate` a
// second from 0.
struct BoardCount {
  double rate;
  uint64_t start;
};

// Polls every `every` seconds from `from` up to `to`, each late by a varying part of `jitter`.
struct Polls {
  double from, to, every, jitter = 0;
};

// One sequence of readings of a group of counts and what it must give.
struct Row {
  std::string name;
  uint32_t mask = 0xFFFF;
  std::vector<BoardCount> counts;
  std::vector<Polls> polls;
  double clear_at = kNever;
  double runs_from = 0;          // the group stands still before
  double speed_from = kForever;  // from here on the group counts `speed` times its rate
  double speed = 1;
};

// For how long, at its rates, the group counted up to `t`.
double counting_seconds(const Row& row, double t) {
  const double running = std::max(0.0, t - row.runs_from);
  return running + (row.speed - 1) * std::max(0.0, t - std::max(row.speed_from, row.runs_from));
}

// What the board counted up to `t`, all bits.
uint64_t board_count(const Row& row, const BoardCount& c, double t) {
  if (row.clear_at != kNever && t >= row.clear_at) {
    return static_cast<uint64_t>(
        std::floor(c.rate * (counting_seconds(row, t) - counting_seconds(row, row.clear_at))));
  }
  return c.start + static_cast<uint64_t>(std::floor(c.rate * counting_seconds(row, t)));
}

std::vector<double> poll_times(const Row& row) {
  std::vector<double> times;
  for (const Polls& p : row.polls) {
    for (int k = 0;; ++k) {
      const double t = p.from + k * p.every + p.jitter * ((k * 7919) % 11) / 10.0;
      if (t > p.to) break;
      times.push_back(t);
    }
  }
  return times;
}

// A row's totals must equal what the board counted since the first reading, or since the clear;
// the clear must be seen once, at the first poll after it; no total moves backwards but at that
// poll.
void check(const Row& row) {
  SCOPED_TRACE(row.name);
  std::vector<uint32_t> masks(row.counts.size(), row.mask);
  CountGroup group(masks);
  std::vector<uint32_t> raws(row.counts.size());
  std::vector<uint64_t> before(row.counts.size());
  const std::vector<double> times = poll_times(row);
  ASSERT_FALSE(row.counts.empty());
  ASSERT_GE(times.size(), 2u);
  double previous = -1;
  for (double t : times) {
    for (size_t i = 0; i < raws.size(); ++i) {
      raws[i] = static_cast<uint32_t>(board_count(row, row.counts[i], t) & row.mask);
      before[i] = group[i].total();
    }
    const bool cleared = group.update(raws.data(), t, row.polls.front().every);
    const bool clear_due = row.clear_at != kNever && previous < row.clear_at && t >= row.clear_at;
    ASSERT_EQ(cleared, clear_due && previous >= 0) << "at " << t;
    for (size_t i = 0; !cleared && i < raws.size(); ++i) ASSERT_GE(group[i].total(), before[i]);
    previous = t;
  }
  const bool counted_clear = row.clear_at > times.front();
  EXPECT_EQ(group.clears(), counted_clear ? 1u : 0u);
  for (size_t i = 0; i < row.counts.size(); ++i) {
    SCOPED_TRACE(i);
    const BoardCount& c = row.counts[i];
    const uint64_t last = board_count(row, c, times.back());
    const uint64_t first = board_count(row, c, times.front());
    EXPECT_EQ(group[i].total(), counted_clear ? last : (first & row.mask) + last - first);
  }
}

// Runs of 5 ms polls and gaps, each 50 to 1000 ms long, for `seconds`: a process stopped and
// continued at random.
std::vector<Polls> stops_and_runs(double seconds, unsigned seed) {
  std::vector<Polls> polls;
  const auto next_ms = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return 0.001 * (50 + (seed >> 16) % 951);
  };
  for (double t = 0; t < seconds;) {
    const double run = next_ms();
    polls.push_back({t, t + run, 0.005, 0.001});
    t += run + next_ms();
  }
  return polls;
}

// A row of count_sequences.txt: NAME | COUNTS | POLLS | MORE, as its head tells.
Row parse(std::vector<std::string> fields) {
  Row row;
  row.name = fields[0];
  std::istringstream counts(fields[1]), more(fields[3]);
  char slash;
  for (BoardCount c; counts >> c.rate >> slash >> c.start;) row.counts.push_back(c);
  std::replace(fields[2].begin(), fields[2].end(), ',', ' ');
  std::istringstream polls(fields[2]);
  std::string word;
  double seconds;
  unsigned seed;
  if (fields[2].rfind("stops", 0) == 0 && polls >> word >> seconds >> seed) {
    row.polls = stops_and_runs(seconds, seed);
  }
  for (Polls p; polls >> p.from >> p.to >> p.every >> p.jitter;) row.polls.push_back(p);
  while (more >> word) {
    if (word == "clear") more >> row.clear_at;
    if (word == "still") more >> row.runs_from;
    if (word == "speed") more >> row.speed_from >> row.speed;
    if (word == "bits" && more >> word) row.mask = word == "32" ? 0xFFFFFFFF : 0xFFFF;
  }
  return row;
}

TEST(CountGroup, TotalsAndClearsFollowTheBoard) {
  const auto rows = read_table(BOARDSTAT_EXPORTER_TESTS "/count_sequences.txt", 4);
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows) check(parse(row));
}

}  // namespace
}  // namespace boardstat
