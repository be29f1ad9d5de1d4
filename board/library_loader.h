// The platform's dynamic loader, as board/board_library.cc uses it: one pair of sources,
// library_loader_posix.cc (dlopen) and library_loader_win32.cc (LoadLibraryEx).
#ifndef BOARDSTAT_BOARD_LIBRARY_LOADER_H_
#define BOARDSTAT_BOARD_LIBRARY_LOADER_H_

#include <string>

namespace boardstat {

/// A function of a loaded library, before it is given its type.
using AnyCall = void (*)();

/// A library the loader opened (`handle` set), or the loader's own reason why not.
struct OpenedLibrary {
  void* handle = nullptr;
  std::string error;
  /// The loader did not find the file at all (as opposed to finding it and failing).
  bool not_found = false;
};

/// The vendor's two libraries as this platform names them, and where the search looks, in
/// the words of the message that says they are missing.
struct VendorNames {
  const char* lmd;
  const char* kvd;
  const char* search_places;
};
extern const VendorNames kVendorNames;

/// The simulated board's library: its file name, and the folders it is taken from, relative to
/// the build folder and to the installed program's folder.
struct SimulatedBoardPlace {
  const char* file;
  const char* in_build;
  const char* installed;
};
extern const SimulatedBoardPlace kSimulatedBoardPlace;

/// Opens the library `file`. A path is loaded from there (its own dependencies are found beside
/// it); a bare name by the platform's search, which on Windows never looks in the current
/// folder. Every symbol is bound at once, so a library that cannot work fails here.
OpenedLibrary open_library(const std::string& file, bool is_path);

/// The function `name` of an opened library, or null.
AnyCall find_call(void* handle, const char* name);

/// The file the loader took for an opened library.
std::string loaded_file(void* handle);

void close_library(void* handle);

/// The folder of the running program's own file; empty when the system does not say.
std::string program_folder();

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_LIBRARY_LOADER_H_
