// Basic passwords checked against their bcrypt hashes away from the server's thread. bcrypt
// costs tens of milliseconds of processor time by design: one worker thread does the checks,
// one at a time, from a line of bounded length, so that a flood of wrong passwords costs at most
// one core and never delays a scrape whose password was already accepted. Outcomes, accepted
// and refused, are remembered by a digest of user, hash and password (never the password
// itself), in memories of bounded size.
#ifndef BOARDSTAT_EXPORTER_HTTP_PASSWORD_CHECK_H
#define BOARDSTAT_EXPORTER_HTTP_PASSWORD_CHECK_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace boardstat {

/// Digests remembered until they are `lifetime` old or pushed out, oldest first, by newer ones
/// past `capacity`.
class OutcomeMemory {
 public:
  using Clock = std::chrono::steady_clock;
  OutcomeMemory(size_t capacity, Clock::duration lifetime)
      : capacity_(capacity), lifetime_(lifetime) {}
  bool holds(const std::string& digest, Clock::time_point now) const;
  void add(const std::string& digest, Clock::time_point now);
  size_t size() const { return added_.size(); }

 private:
  size_t capacity_;
  Clock::duration lifetime_;
  std::unordered_map<std::string, Clock::time_point> added_;
  std::deque<std::string> order_;  // oldest first
};

/// The bcrypt cost of a hash ("$2b$10$..." is 10), 0 when it has none.
int bcrypt_cost(const std::string& hash);

/// A hash of the given cost that no password matches: an unknown user's password is checked
/// against it, so that it takes as long as a known user's.
std::string unknown_user_hash(int cost);

class PasswordCheck {
 public:
  struct Attempt {
    std::string user, password;
    std::string hash;  // the user's, or unknown_user_hash() for an unknown user
    bool known_user = true;
  };
  enum class Verdict { kAccepted, kRefused, kQueued, kBusy };
  using Done = std::function<void(bool accepted)>;  // on the worker thread
  using Wanted = std::function<bool()>;             // false: the asker has gone

  static constexpr size_t kMaxWaiting = 16;
  static constexpr size_t kAcceptedRemembered = 256;
  static constexpr size_t kRefusedRemembered = 4096;
  static constexpr std::chrono::minutes kRefusalLifetime{5};

  explicit PasswordCheck(size_t max_waiting = kMaxWaiting);
  ~PasswordCheck();  // drops the checks still waiting, finishes the one under way
  PasswordCheck(const PasswordCheck&) = delete;
  PasswordCheck& operator=(const PasswordCheck&) = delete;

  /// At once: the remembered outcome (kAccepted, kRefused), or kBusy when kMaxWaiting checks
  /// already wait. Otherwise kQueued, and the worker calls done with the outcome, once; with
  /// false and no bcrypt when wanted() says by then that nobody waits for it. done should
  /// move what it holds out of itself (to the asker's thread): the worker destroys it.
  Verdict check(const Attempt& attempt, Done done, Wanted wanted);

 private:
  struct Job {
    Attempt attempt;
    std::string digest;
    Done done;
    Wanted wanted;
  };
  void work();

  const size_t max_waiting_;
  std::mutex mutex_;
  std::condition_variable woken_;
  std::deque<Job> waiting_;
  bool stopping_ = false;
  OutcomeMemory accepted_{kAcceptedRemembered, OutcomeMemory::Clock::duration::max()};
  OutcomeMemory refused_{kRefusedRemembered, kRefusalLifetime};
  std::thread worker_;  // last: it starts once everything above is made
};

}  // namespace boardstat

#endif  // BOARDSTAT_EXPORTER_HTTP_PASSWORD_CHECK_H
