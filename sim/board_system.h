// A simulated board system: the VFGs of one description behind the four board access calls,
// with the optional access trace.
#ifndef BOARDSTAT_SIM_BOARD_SYSTEM_H_
#define BOARDSTAT_SIM_BOARD_SYSTEM_H_

#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_access.h"
#include "sim/board_description.h"
#include "sim/board_model.h"
#include "sim/shared_memory.h"

namespace boardsim {

/// The name under which the built-in description reports its errors.
constexpr std::string_view kDefaultBoardName = "default.board";

/// The text of sim/default.board, compiled into the library.
std::string_view default_board_text();

/// Reads a description file: its text, or false with "FILE: REASON" in `error`.
bool read_description_file(const std::string& path, std::string* text, std::string* error);

class BoardSystem {
 public:
  /// `trace` (may be null) receives one line per call and is flushed after each. The first
  /// line that cannot be written is reported once on standard error, naming `trace_name`, and
  /// the trace ends there: it is a diagnostic aid and must not stop the board. The system does
  /// not close the trace before close_trace().
  BoardSystem(BoardDescription description, std::unique_ptr<Clock> clock, FILE* trace,
              std::string trace_name = "trace");

  /// A system whose board lives in `shared` (shared_bytes(description) bytes), which other
  /// processes with the same description use at the same time: one board time, one set of
  /// registers, probes and windows. `fingerprint` tells descriptions apart; memory made for
  /// another gives a system with no VFG and a message naming `share_name`. The trace stays the
  /// process's own.
  BoardSystem(BoardDescription description, std::unique_ptr<Clock> clock, FILE* trace,
              std::string trace_name, std::unique_ptr<SharedMemory> shared, uint64_t fingerprint,
              const std::string& share_name);

  /// The bytes of shared memory that a board of `description` needs.
  static size_t shared_bytes(const BoardDescription& description);

  /// Flushes and closes the trace, reporting a failure as a failed line is reported; later
  /// calls are not traced.
  void close_trace();

  int32_t find(uint32_t family, uint32_t index, LmBrdEntry* entry);
  int32_t open(LmBrdEntry* entry, KvHandle* handle);
  uint32_t peek(KvHandle vfg, uint32_t id);
  int32_t poke(KvHandle vfg, uint32_t id, uint32_t value);

  size_t vfg_count() const { return description_.vfgs.size(); }

 private:
  // What the processes sharing a board share besides the VFGs' own state.
  struct Header {
    uint64_t made = 0;  // kMade once set up
    uint64_t fingerprint = 0;
    uint64_t found_before = 0;  // a find was made; VFGs that appear later count from the first
    uint64_t unused = 0;
    Picoseconds first_find = 0;
  };
  // Keeps one call on a shared board apart from the other processes' calls.
  class Turn {
   public:
    explicit Turn(SharedMemory* shared) : shared_(shared) {
      if (shared_) shared_->lock();
    }
    ~Turn() {
      if (shared_) shared_->unlock();
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

   private:
    SharedMemory* shared_;
  };
  static std::vector<size_t> vfg_offsets(const BoardDescription& description);

  VfgModel* model(KvHandle vfg) const;
  static uint64_t vfg_number(KvHandle vfg);
  void trace_line(const char* format, ...);
  void end_trace(bool failed);

  BoardDescription description_;
  std::unique_ptr<Clock> clock_;
  FILE* trace_;
  std::string trace_name_;
  std::vector<std::unique_ptr<VfgModel>> models_;  // one per VFG, made when it is opened
  Header own_header_;
  Header* header_ = &own_header_;
  std::unique_ptr<SharedMemory> shared_;  // null: the board is the process's own
};

/// Builds the process-wide system from the environment: BOARDSIM_CONFIG names the description
/// (the built-in one when unset or empty), BOARDSIM_TRACE the trace file, BOARDSIM_SHARE the
/// shared board to use (none when unset or empty). Problems are reported
/// on standard error as "boardsim: ..."; a description that cannot be used gives no VFG. The
/// trace file belongs to the system: close_trace() closes it.
std::unique_ptr<BoardSystem> system_from_environment();

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_BOARD_SYSTEM_H_
