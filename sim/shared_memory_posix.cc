// Shared memory on POSIX: a shm_open object, /dev/shm/boardsim-NAME on Linux, that holds a
// robust process-shared mutex before the board's bytes. The object stays until it is removed
// or the machine restarts, so that the board keeps running between programs.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/shared_memory.h"

namespace boardsim {
namespace {

struct Control {
  pthread_mutex_t mutex;
  uint32_t ready;  // the mutex is set up: a maker that died before that leaves 0
};
constexpr size_t kControlBytes = (sizeof(Control) + 63) / 64 * 64;

class PosixSharedMemory : public SharedMemory {
 public:
  PosixSharedMemory(void* mapped, size_t size) : mapped_(mapped), size_(size) {}
  ~PosixSharedMemory() override { munmap(mapped_, size_); }
  void* bytes() override { return static_cast<char*>(mapped_) + kControlBytes; }
  void lock() override {
    // EOWNERDEAD: the holder died in the middle of a call; its call is lost, the board goes on.
    if (pthread_mutex_lock(&control()->mutex) == EOWNERDEAD) {
      pthread_mutex_consistent(&control()->mutex);
    }
  }
  void unlock() override { pthread_mutex_unlock(&control()->mutex); }

 private:
  Control* control() { return static_cast<Control*>(mapped_); }
  void* mapped_;
  size_t size_;
};

bool set_up_mutex(Control* control) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  const bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
                  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
                  pthread_mutex_init(&control->mutex, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  if (ok) control->ready = 1;
  return ok;
}

std::string failure(const std::string& what, const std::string& name) {
  return "/dev/shm" + name + ": cannot " + what + ": " + strerror(errno);
}

}  // namespace

std::unique_ptr<SharedMemory> open_shared_memory(const std::string& name, size_t size,
                                                 std::string* error) {
  const std::string object = "/boardsim-" + name;
  const size_t total = kControlBytes + size;
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT, 0666);
  if (fd < 0) {
    *error = failure("open the shared board", object);
    return nullptr;
  }
  // Whoever comes first makes the memory; the file lock keeps the others out until it is ready,
  // and is let go by the kernel if the maker dies. Any user may share the board (umask aside).
  std::unique_ptr<SharedMemory> memory;
  struct stat st {};
  void* mapped = MAP_FAILED;
  fchmod(fd, 0666);
  if (flock(fd, LOCK_EX) != 0 || fstat(fd, &st) != 0) {
    *error = failure("lock the shared board", object);
  } else if (st.st_size != 0 && static_cast<size_t>(st.st_size) != total) {
    *error = "/dev/shm" + object +
             ": in use by a board of another description (remove it to start afresh)";
  } else if (st.st_size == 0 && ftruncate(fd, static_cast<off_t>(total)) != 0) {
    *error = failure("size the shared board", object);
  } else if ((mapped = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) ==
             MAP_FAILED) {
    *error = failure("map the shared board", object);
  } else if (static_cast<Control*>(mapped)->ready == 0 &&
             !set_up_mutex(static_cast<Control*>(mapped))) {
    *error = object + ": cannot set up the lock of the shared board";
    munmap(mapped, total);
  } else {
    memory = std::make_unique<PosixSharedMemory>(mapped, total);
  }
  // The mapping keeps the open file alive, and with it the file lock: it must be let go.
  flock(fd, LOCK_UN);
  close(fd);
  return memory;
}

}  // namespace boardsim
