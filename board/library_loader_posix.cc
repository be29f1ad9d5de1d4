// The loader on Linux and other POSIX systems: dlopen, with the normal search for a bare name
// (LD_LIBRARY_PATH, the cache of ld.so.conf, the system folders).
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include "board/library_loader.h"

namespace boardstat {

const VendorNames kVendorNames = {
    "libLmd.so", "libKvD.so",
    "on the library search path (LD_LIBRARY_PATH, /etc/ld.so.conf, the system folders)"};

// Installed as a private library of the programs: <prefix>/lib/boardstat, beside <prefix>/bin.
const SimulatedBoardPlace kSimulatedBoardPlace = {"libboardsim.so", "sim", "../lib/boardstat"};

OpenedLibrary open_library(const std::string& file, bool is_path) {
  // A bare name without a slash is searched for; a path is taken as it is.
  const std::string name = is_path && file.find('/') == std::string::npos ? "./" + file : file;
  OpenedLibrary opened;
  opened.handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (opened.handle == nullptr) {
    const char* why = dlerror();
    opened.error = why != nullptr ? why : "unknown reason";
    // The search found no file of that name (for a path, the caller has looked itself).
    opened.not_found = !is_path && opened.error.find("No such file") != std::string::npos &&
                       opened.error.rfind(name + ":", 0) == 0;
  }
  return opened;
}

AnyCall find_call(void* handle, const char* name) {
  return reinterpret_cast<AnyCall>(dlsym(handle, name));
}

std::string loaded_file(void* handle) {
  const link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
    return "";
  }
  return map->l_name;
}

void close_library(void* handle) {
  dlclose(handle);
}

std::string program_folder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof path) return "";
  const std::string file(path, static_cast<size_t>(n));
  return file.substr(0, file.rfind('/'));
}

}  // namespace boardstat
