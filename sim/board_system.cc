#include "sim/board_system.h"

#include <ctype.h>
#include <errno.h>
#include <inttypes.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include <new>

namespace boardsim {
namespace {

// Marks an entry that find filled, so that open can tell it from stray memory.
constexpr uint64_t kEntryMark = 0x626f61726473696dull;  // "boardsim"
// A description larger than this is refused rather than read: a path such as /dev/zero
// must not make the library hang or exhaust memory.
constexpr size_t kMaxDescriptionBytes = 16 * 1024 * 1024;
// Marks shared memory that a board was set up in.
constexpr uint64_t kMade = 0x626f617264736872ull;  // "boardshr"

size_t round_up64(size_t n) {
  return (n + 63) / 64 * 64;
}

// FNV-1a, enough to tell two descriptions apart.
uint64_t fingerprint_of(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
  return hash;
}

// A name that is one file name on every platform.
bool share_name_usable(const std::string& name) {
  if (name.empty() || name.size() > 200) return false;
  for (const char c : name) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
  }
  return true;
}

}  // namespace

bool read_description_file(const std::string& path, std::string* text, std::string* error) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = path + ": cannot open the board description";
    return false;
  }
  text->clear();
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const size_t got = fread(buffer, 1, sizeof buffer, file);
    text->append(buffer, got);
    if (text->size() > kMaxDescriptionBytes) {
      *error = path + ": the board description is larger than 16 MiB";
      ok = false;
      break;
    }
    if (got < sizeof buffer) {
      if (ferror(file)) {
        *error = path + ": cannot read the board description";
        ok = false;
      }
      break;
    }
  }
  fclose(file);
  return ok;
}

BoardSystem::BoardSystem(BoardDescription description, std::unique_ptr<Clock> clock, FILE* trace,
                         std::string trace_name)
    : description_(std::move(description)),
      clock_(std::move(clock)),
      trace_(trace),
      trace_name_(std::move(trace_name)) {
  models_.resize(description_.vfgs.size());
}

std::vector<size_t> BoardSystem::vfg_offsets(const BoardDescription& description) {
  std::vector<size_t> offsets;
  size_t at = round_up64(sizeof(Header));
  for (const VfgDescription& vfg : description.vfgs) {
    offsets.push_back(at);
    at += round_up64(VfgModel::state_bytes(vfg));
  }
  offsets.push_back(at);  // the end
  return offsets;
}

size_t BoardSystem::shared_bytes(const BoardDescription& description) {
  return vfg_offsets(description).back();
}

BoardSystem::BoardSystem(BoardDescription description, std::unique_ptr<Clock> clock, FILE* trace,
                         std::string trace_name, std::unique_ptr<SharedMemory> shared,
                         uint64_t fingerprint, const std::string& share_name)
    : BoardSystem(std::move(description), std::move(clock), trace, std::move(trace_name)) {
  auto* header = static_cast<Header*>(shared->bytes());
  bool same_board;
  {
    Turn turn(shared.get());
    if (header->made == 0) {
      new (header) Header();
      header->fingerprint = fingerprint;
      header->made = kMade;
    }
    same_board = header->made == kMade && header->fingerprint == fingerprint;
  }
  if (!same_board) {
    fprintf(stderr, "boardsim: BOARDSIM_SHARE=%s: in use by a board of another description\n",
            share_name.c_str());
    fflush(stderr);
    description_ = BoardDescription{};
    models_.clear();
    return;
  }
  shared_ = std::move(shared);
  header_ = header;
}

void BoardSystem::trace_line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(trace_, format, args);
  va_end(args);
  fputc('\n', trace_);
  // Flushed line by line, so that a trace is complete up to its last whole line even when the
  // process is killed.
  if (fflush(trace_) != 0 || ferror(trace_)) end_trace(true);
}

void BoardSystem::end_trace(bool failed) {
  const int error = errno;
  // A buffer that could not be written is dropped: fclose would only try it again.
  if (fclose(trace_) != 0 && !failed) failed = true;
  trace_ = nullptr;
  if (failed) {
    fprintf(stderr, "boardsim: %s: cannot write the trace: %s\n", trace_name_.c_str(),
            strerror(error != 0 ? error : EIO));
    fflush(stderr);
  }
}

void BoardSystem::close_trace() {
  if (trace_ == nullptr) return;
  errno = 0;
  end_trace(fflush(trace_) != 0 || ferror(trace_));
}

int32_t BoardSystem::find(uint32_t family, uint32_t index, LmBrdEntry* entry) {
  int32_t result = 1;
  {
    Turn turn(shared_.get());
    if (!header_->found_before) {
      header_->found_before = 1;
      header_->first_find = clock_->now();
    }
    // A VFG described to appear later is not found before its time: the clock is read only then.
    const auto appeared = [&] {
      const VfgDescription& vfg = description_.vfgs[index];
      return !vfg.appears_later || clock_->now() - header_->first_find >= vfg.appears_after;
    };
    if (entry != nullptr && family == kLmBoardFamily && index < description_.vfgs.size() &&
        appeared()) {
      *entry = LmBrdEntry{};
      entry->words[0] = index;
      entry->words[1] = kEntryMark;
      result = 0;
    }
  }
  if (trace_) trace_line("find %" PRIu32 " %" PRIu32 " -> %" PRId32, family, index, result);
  return result;
}

int32_t BoardSystem::open(LmBrdEntry* entry, KvHandle* handle) {
  int32_t result = 2;  // not an entry that find filled
  const uint64_t index = entry != nullptr ? entry->words[0] : 0;
  if (entry != nullptr && handle != nullptr && entry->words[1] == kEntryMark &&
      index < description_.vfgs.size()) {
    if (description_.vfgs[index].open_fails) {
      result = 1;
    } else {
      // Opening again gives the same VFG; its board time keeps running from the first open,
      // which on a shared board may have been another process's.
      if (!models_[index]) {
        const VfgDescription& vfg = description_.vfgs[index];
        if (shared_) {
          Turn turn(shared_.get());
          char* state = static_cast<char*>(shared_->bytes()) + vfg_offsets(description_)[index];
          models_[index] = std::make_unique<VfgModel>(vfg, *clock_, state);
        } else {
          models_[index] = std::make_unique<VfgModel>(vfg, *clock_);
        }
      }
      *handle = reinterpret_cast<KvHandle>(static_cast<uintptr_t>(index + 1));
      result = 0;
    }
  }
  if (trace_) trace_line("open %" PRIu64 " -> %" PRId32, index, result);
  return result;
}

uint64_t BoardSystem::vfg_number(KvHandle vfg) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(vfg)) - 1;
}

VfgModel* BoardSystem::model(KvHandle vfg) const {
  const uint64_t index = vfg_number(vfg);
  return index < models_.size() ? models_[index].get() : nullptr;
}

uint32_t BoardSystem::peek(KvHandle vfg, uint32_t id) {
  VfgModel* m = model(vfg);
  uint32_t value = 0;
  if (m != nullptr) {
    Turn turn(shared_.get());
    value = m->peek(id);
  }
  if (trace_) trace_line("peek %" PRIu64 " %" PRIu32 " -> %" PRIu32, vfg_number(vfg), id, value);
  return value;
}

int32_t BoardSystem::poke(KvHandle vfg, uint32_t id, uint32_t value) {
  VfgModel* m = model(vfg);
  if (m != nullptr) {
    Turn turn(shared_.get());
    m->poke(id, value);
  }
  if (trace_) trace_line("poke %" PRIu64 " %" PRIu32 " %" PRIu32, vfg_number(vfg), id, value);
  return m != nullptr ? 0 : 1;
}

std::unique_ptr<BoardSystem> system_from_environment() {
  const char* config = getenv("BOARDSIM_CONFIG");
  const char* trace_path = getenv("BOARDSIM_TRACE");
  const char* share = getenv("BOARDSIM_SHARE");

  BoardDescription board;
  std::string error;
  std::string text;
  if (config != nullptr && config[0] != '\0') {
    if (read_description_file(config, &text, &error)) {
      ParseResult parsed = parse_board_description(text, config);
      error = parsed.error;
      board = std::move(parsed.board);
    }
  } else {
    text = default_board_text();
    ParseResult parsed = parse_board_description(text, kDefaultBoardName);
    error = parsed.error;
    board = std::move(parsed.board);
  }
  std::unique_ptr<SharedMemory> shared;
  if (error.empty() && share != nullptr && share[0] != '\0') {
    if (!share_name_usable(share)) {
      error = std::string("BOARDSIM_SHARE=") + share +
              ": a shared board's name is letters, digits, '-', '_' and '.' (at most 200)";
    } else {
      shared = open_shared_memory(share, BoardSystem::shared_bytes(board), &error);
    }
  }
  if (!error.empty()) {
    fprintf(stderr, "boardsim: %s\n", error.c_str());
    fflush(stderr);
    board = BoardDescription{};
  }

  FILE* trace = nullptr;
  if (trace_path != nullptr && trace_path[0] != '\0') {
    trace = fopen(trace_path, "w");
    if (trace == nullptr) {
      fprintf(stderr, "boardsim: %s: cannot open the trace file\n", trace_path);
      fflush(stderr);
    }
  }
  std::string trace_name = trace != nullptr ? trace_path : "";
  if (shared) {
    return std::make_unique<BoardSystem>(std::move(board), std::make_unique<SteadyClock>(), trace,
                                         std::move(trace_name), std::move(shared),
                                         fingerprint_of(text), share);
  }
  return std::make_unique<BoardSystem>(std::move(board), std::make_unique<SteadyClock>(), trace,
                                       std::move(trace_name));
}

}  // namespace boardsim
