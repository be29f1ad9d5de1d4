#include "exporter/http/password_check.h"

#include <crypt.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>

namespace boardstat {
namespace {

std::string digest_of(const PasswordCheck::Attempt& attempt) {
  const std::string key = attempt.user + '\0' + attempt.hash + '\0' + attempt.password;
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

// Compares every byte whatever the first difference, so that the time tells nothing.
bool hashes_to(const std::string& password, const std::string& hash) {
  auto data = std::make_unique<crypt_data>();
  const char* result = crypt_r(password.c_str(), hash.c_str(), data.get());
  if (result == nullptr || result[0] == '*' || std::strlen(result) != hash.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < hash.size(); ++i)
    differ |= static_cast<unsigned char>(result[i] ^ hash[i]);
  return differ == 0;
}

}  // namespace

bool OutcomeMemory::holds(const std::string& digest, Clock::time_point now) const {
  const auto found = added_.find(digest);
  return found != added_.end() && now - found->second < lifetime_;
}

void OutcomeMemory::add(const std::string& digest, Clock::time_point now) {
  if (!added_.insert_or_assign(digest, now).second) return;  // already in line
  order_.push_back(digest);
  while (order_.size() > capacity_) {
    added_.erase(order_.front());
    order_.pop_front();
  }
}

int bcrypt_cost(const std::string& hash) {
  // "$2b$NN$": the version letter, then two digits.
  if (hash.size() < 7 || hash.compare(0, 2, "$2") != 0 || hash[3] != '$' || hash[6] != '$')
    return 0;
  if (!std::isdigit(static_cast<unsigned char>(hash[4])) ||
      !std::isdigit(static_cast<unsigned char>(hash[5])))
    return 0;
  return (hash[4] - '0') * 10 + (hash[5] - '0');
}

std::string unknown_user_hash(int cost) {
  // A salt of 22 characters and 31 of hash that no bcrypt computation gives back for this salt
  // (they are not its output): crypt_r does the full work of the cost, then the comparison fails.
  const std::string digits = {static_cast<char>('0' + cost / 10),
                              static_cast<char>('0' + cost % 10)};
  return "$2b$" + digits + "$" + "hS54ELe8Z1AGPGqg42wmBu" + "0000000000000000000000000000000";
}

PasswordCheck::PasswordCheck(size_t max_waiting)
    : max_waiting_(max_waiting), worker_([this] { work(); }) {}

PasswordCheck::~PasswordCheck() {
  std::deque<Job> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    dropped.swap(waiting_);
  }
  woken_.notify_all();
  worker_.join();
}

PasswordCheck::Verdict PasswordCheck::check(const Attempt& attempt, Done done, Wanted wanted) {
  std::string digest = digest_of(attempt);
  const auto now = OutcomeMemory::Clock::now();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (accepted_.holds(digest, now))
      return attempt.known_user ? Verdict::kAccepted : Verdict::kRefused;
    if (refused_.holds(digest, now)) return Verdict::kRefused;
    if (waiting_.size() >= max_waiting_) return Verdict::kBusy;
    waiting_.push_back({attempt, std::move(digest), std::move(done), std::move(wanted)});
  }
  woken_.notify_one();
  return Verdict::kQueued;
}

void PasswordCheck::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    woken_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_) return;
    Job job = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    bool accepted = false;
    if (job.wanted()) {
      accepted = hashes_to(job.attempt.password, job.attempt.hash) && job.attempt.known_user;
      std::lock_guard<std::mutex> memory_lock(mutex_);
      (accepted ? accepted_ : refused_).add(job.digest, OutcomeMemory::Clock::now());
    }
    // Called even when nobody waits: done hands the asker back to its own thread, where it
    // may end.
    job.done(accepted);
    job = {};
    lock.lock();
  }
}

}  // namespace boardstat
