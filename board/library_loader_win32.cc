// The loader on Windows: LoadLibraryEx. A bare name is searched for in the program's folder, the
// system folders and the folders on PATH, where the vendor's installer puts its DLLs, but never
// in the current folder, from which anyone could plant a DLL.
#include <windows.h>

#include "board/library_loader.h"

namespace boardstat {
namespace {

std::string reason(DWORD error) {
  switch (error) {
    case ERROR_MOD_NOT_FOUND:
      return "it, or a DLL it needs, was not found";
    case ERROR_BAD_EXE_FORMAT:
      return "it is not a DLL for this program's architecture";
    case ERROR_DLL_INIT_FAILED:
      return "its initialisation failed (DllMain returned FALSE)";
    case ERROR_PROC_NOT_FOUND:
      return "a function it needs from another DLL is missing";
    default:
      return "Windows error " + std::to_string(error);
  }
}

}  // namespace

const VendorNames kVendorNames = {
    "Lmd.dll", "KvD.dll", "in the program's folder, the system folders or the folders on PATH"};

// Installed beside the .exe files, as the zip holds it.
const SimulatedBoardPlace kSimulatedBoardPlace = {"boardsim.dll", "sim", "."};

OpenedLibrary open_library(const std::string& file, bool is_path) {
  static const bool current_folder_dropped = SetDllDirectoryA("") != 0;
  (void)current_folder_dropped;
  // No message box for a DLL that cannot be loaded: the caller says it in one line.
  const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // LOAD_WITH_ALTERED_SEARCH_PATH takes a path with backslashes only.
  std::string name = file;
  if (is_path) {
    for (char& c : name) c = c == '/' ? '\\' : c;
  }
  OpenedLibrary opened;
  opened.handle =
      LoadLibraryExA(name.c_str(), nullptr, is_path ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  const DWORD error = GetLastError();
  SetErrorMode(old_mode);
  if (opened.handle == nullptr) {
    opened.error = reason(error);
    opened.not_found = !is_path && error == ERROR_MOD_NOT_FOUND &&
                       SearchPathA(nullptr, name.c_str(), nullptr, 0, nullptr, nullptr) == 0;
  }
  return opened;
}

AnyCall find_call(void* handle, const char* name) {
  return reinterpret_cast<AnyCall>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

std::string loaded_file(void* handle) {
  char path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(handle), path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

void close_library(void* handle) {
  FreeLibrary(static_cast<HMODULE>(handle));
}

std::string program_folder() {
  const std::string file = loaded_file(GetModuleHandleA(nullptr));
  const size_t slash = file.find_last_of("\\/");
  return slash == std::string::npos ? "" : file.substr(0, slash);
}

}  // namespace boardstat
