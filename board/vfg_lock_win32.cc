// VFG locks on Windows: one named mutex per VFG in the Global\ namespace, where the exporter's
// service in session 0 and a console in a user's session meet. Made so that every user may take
// it. A mutex whose holder died is handed to the next waiter as abandoned: it is taken all the
// same.
#include <windows.h>
// After windows.h:
#include <sddl.h>
#include <stdlib.h>

#include "board/vfg_lock.h"

namespace boardstat::vfg_lock_platform {
namespace {

// BOARDSTAT_LOCK_DIR gives tests mutexes of their own, named after it.
std::string mutex_name(uint32_t index, const char* what) {
  const char* dir = getenv("BOARDSTAT_LOCK_DIR");
  std::string name = "boardstat-vfg-" + std::to_string(index) + "." + what;
  if (dir == nullptr || dir[0] == '\0') return "Global\\" + name;
  name += '-';
  for (const char* c = dir; *c != '\0'; ++c) name += *c == '\\' ? '/' : *c;
  return "Local\\" + name;
}

}  // namespace

intptr_t open_lock(uint32_t index, const char* what, std::string* problem) {
  const std::string name = mutex_name(index, what);
  SECURITY_ATTRIBUTES everyone{sizeof everyone, nullptr, FALSE};
  // Everyone may wait for and release it (SYNCHRONIZE | MUTEX_MODIFY_STATE).
  ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;0x00100001;;;WD)", SDDL_REVISION_1,
                                                       &everyone.lpSecurityDescriptor, nullptr);
  // Asking only for what a waiter needs opens one that another user made too.
  HANDLE mutex = CreateMutexExA(&everyone, name.c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
  LocalFree(everyone.lpSecurityDescriptor);
  if (mutex == nullptr) {
    *problem = name + ": error " + std::to_string(GetLastError());
    return -1;
  }
  return reinterpret_cast<intptr_t>(mutex);
}

bool take(intptr_t lock, uint32_t wait_ms) {
  const DWORD result = WaitForSingleObject(reinterpret_cast<HANDLE>(lock), wait_ms);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void give_back(intptr_t lock) {
  ReleaseMutex(reinterpret_cast<HANDLE>(lock));
}

}  // namespace boardstat::vfg_lock_platform
