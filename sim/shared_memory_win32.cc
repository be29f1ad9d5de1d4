// Shared memory on Windows: a named file mapping backed by the paging file, and a named mutex
// beside it, both in the session's namespace (Local\boardsim-NAME). The mapping lasts while a
// process holds it open.
#include <windows.h>

#include "sim/shared_memory.h"

namespace boardsim {
namespace {

class Win32SharedMemory : public SharedMemory {
 public:
  Win32SharedMemory(HANDLE mutex, HANDLE mapping, void* view)
      : mutex_(mutex), mapping_(mapping), view_(view) {}
  ~Win32SharedMemory() override {
    UnmapViewOfFile(view_);
    CloseHandle(mapping_);
    CloseHandle(mutex_);
  }
  void* bytes() override { return view_; }
  // WAIT_ABANDONED: the holder died in the middle of a call; the lock is ours all the same.
  void lock() override { WaitForSingleObject(mutex_, INFINITE); }
  void unlock() override { ReleaseMutex(mutex_); }

 private:
  HANDLE mutex_;
  HANDLE mapping_;
  void* view_;
};

std::string failure(const std::string& what, const std::string& name) {
  return name + ": cannot " + what + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

std::unique_ptr<SharedMemory> open_shared_memory(const std::string& name, size_t size,
                                                 std::string* error) {
  const std::string object = "Local\\boardsim-" + name;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, (object + "-lock").c_str());
  if (mutex == nullptr) {
    *error = failure("make the lock of the shared board", object);
    return nullptr;
  }
  // The mutex keeps a second process from mapping the memory before its maker is done.
  WaitForSingleObject(mutex, INFINITE);
  const unsigned long long bytes = size;
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                      static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes),
                                      object.c_str());
  void* view =
      mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size) : nullptr;
  std::unique_ptr<SharedMemory> memory;
  if (view == nullptr) {
    // A mapping made for another description is smaller, and its view cannot be this large.
    *error = failure("map the shared board", object);
    if (mapping != nullptr) CloseHandle(mapping);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return nullptr;
  }
  ReleaseMutex(mutex);
  return std::make_unique<Win32SharedMemory>(mutex, mapping, view);
}

}  // namespace boardsim
