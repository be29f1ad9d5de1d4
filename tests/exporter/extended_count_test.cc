#include "exporter/extended_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace boardstat {
namespace {

constexpr uint32_t k16 = 0xFFFF;
constexpr uint32_t k32 = 0xFFFFFFFF;
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
  double from;
  double to;
  double every;
  double jitter = 0;
};

// One sequence of readings of a group of counts and what it must give.
struct Row {
  const char* name;
  uint32_t mask;
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

// The built-in board's acquired counts (V, Z, Y, X in 16-byte units) from the given readings.
std::vector<BoardCount> vfg0(uint64_t v, uint64_t y, uint64_t x) {
  return {{30, v}, {30, v}, {32400, y}, {3888000, x}};
}
std::vector<BoardCount> vfg2(uint64_t v, uint64_t y, uint64_t x) {
  return {{50, v}, {50, v}, {51200, y}, {4915200, x}};
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

TEST(CountGroup, TotalsAndClearsFollowTheBoard) {
  const Polls every_5ms{0, 3, 0.005, 0.001};
  const Polls to_2s{0, 2, 0.005, 0.001};
  const Polls after_3s{3, 4, 0.005, 0.001};
  for (const Row& row : std::vector<Row>{
           {"on time", k16, vfg0(100, 200, 300), {every_5ms}},
           {"on time, X alone", k16, {{3888000, 0}}, {every_5ms}},
           {"late 12 ms, X passes its top once or not",
            k16,
            vfg2(1, 2, 3),
            {{0, 1.003, 0.005}, {1.015, 2, 0.005}, {2.0121, 3, 0.005}}},
           {"late 60 ms, X passes its top 4 times",
            k16,
            vfg2(1, 65000, 60000),
            {{0, 1, 0.005, 0.001}, {1.06, 2, 0.005}}},
           {"stalls of 0.3 s, 1 s and 2.5 s: Y wraps too",
            k16,
            vfg2(9, 60000, 777),
            {{0, 1.2, 0.005, 0.001}, {1.5, 2.5, 0.005}, {3.5, 4.5, 0.005}, {7, 8, 0.005}}},
           {"VFG 0 stalls 1.7 s", k16, vfg0(65000, 65000, 65000), {to_2s, {3.7, 4.7, 0.005}}},
           {"acquisition stops in a stall",
            k16,
            vfg2(5, 6, 7),
            {to_2s, after_3s},
            kNever,
            0,
            2.4,
            0},
           {"X alone triples its rate", k16, {{3888000, 0}}, {{0, 3, 0.005}}, kNever, 0, 1.5, 3},
           {"lines pass their top in a 20 ms gap",
            k16,
            {{32400, 32536}},
            {{0, 1, 0.005}, {1.02, 2, 0.005}}},
           {"stood still near the top, then starts",
            k16,
            vfg0(1000, 65500, 65530),
            {every_5ms},
            kNever,
            1.0001},
           {"idle", k16, vfg0(0, 0, 0), {every_5ms}},
           {"cleared before a stall", k16, vfg0(40000, 50000, 60000), {to_2s, after_3s}, 1.5025},
           {"cleared in a stall", k16, vfg2(40000, 50000, 60000), {to_2s, after_3s}, 2.6},
           {"cleared in a stall, stalls after",
            k16,
            vfg2(40000, 50000, 60000),
            {to_2s, {3, 3.3, 0.005}, {3.9, 4.2, 0.005}, {4.9, 6, 0.005}},
            2.6},
           {"stopped again and again", k16, vfg0(1, 2, 3), stops_and_runs(60, 1)},
           {"stopped again and again, cleared", k16, vfg2(1, 2, 3), stops_and_runs(60, 2), 31},
           {"cleared after a stall", k16, vfg2(40000, 50000, 60000), {to_2s, after_3s}, 3.5025},
           {"cleared just after a stall", k16, vfg0(100, 100, 100), {to_2s, after_3s}, 3.0001},
           {"cleared in the first second", k16, vfg0(40000, 50000, 60000), {every_5ms}, 0.5},
           {"cleared between the first two readings",
            k16,
            vfg0(40000, 50000, 1000),
            {every_5ms},
            0.002},
           {"cleared when X reads above its last", k16, vfg0(100, 100, 44000), {every_5ms}, 1.0025},
           {"cleared, only Z counts", k16, {{0, 0}, {30, 40000}, {0, 0}, {0, 0}}, {every_5ms}, 2.5},
           {"cleared 500 below the top", k16, {{30, 64500}}, {every_5ms}, 2.5},
           {"cleared near the tops, between the first two readings",
            k16,
            vfg0(20000, 65400, 65300),
            {every_5ms},
            0.0031},
           {"32-bit count passes its top", k32, {{243000, k32 - 300000}}, {{0, 5, 1, 0.1}}},
           {"32-bit count, a 20 s stall", k32, {{243000, 0}}, {{0, 3, 1}, {23, 26, 1}}},
           {"32-bit count cleared", k32, {{31, 3000000000u}}, {{0, 5, 1, 0.1}}, 3.2},
           {"32-bit count cleared in its first second", k32, {{31, 5000}}, {{0, 5, 1, 0.1}}, 0.5},
       }) {
    check(row);
  }
}

}  // namespace
}  // namespace boardstat
