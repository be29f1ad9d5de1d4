// Memory that every process opening one name shares, with a lock that keeps their calls apart:
// the simulated board's shared mode (BOARDSIM_SHARE). The platform parts are
// shared_memory_posix.cc and shared_memory_win32.cc.
#ifndef BOARDSTAT_SIM_SHARED_MEMORY_H_
#define BOARDSTAT_SIM_SHARED_MEMORY_H_

#include <stddef.h>

#include <memory>
#include <string>

namespace boardsim {

class SharedMemory {
 public:
  virtual ~SharedMemory() = default;

  /// The shared bytes: as many as were asked for, zero-filled when the memory was made, at an
  /// address aligned to 16.
  virtual void* bytes() = 0;

  /// Waits for the lock across processes. A lock whose holder died is taken over at once; the
  /// memory is then as the dead process left it.
  virtual void lock() = 0;
  virtual void unlock() = 0;
};

/// Opens the memory called `name`, making it with `size` bytes when no process has yet. Null,
/// with the reason in `error`, when it cannot be made or opened, or has another size.
std::unique_ptr<SharedMemory> open_shared_memory(const std::string& name, size_t size,
                                                 std::string* error);

}  // namespace boardsim

#endif  // BOARDSTAT_SIM_SHARED_MEMORY_H_
