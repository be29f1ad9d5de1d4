#include "board/board_library.h"

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "board/library_loader.h"

namespace boardstat {

// Until a library is loaded the four calls answer as a board system without a VFG.
BoardCalls board_calls_in_use = {
    [](uint32_t, uint32_t, LmBrdEntry*) -> int32_t { return 1; },
    [](LmBrdEntry*, KvHandle*, uint32_t) -> int32_t { return 1; },
    [](KvHandle, uint32_t) -> uint32_t { return 0; },
    [](KvHandle, uint32_t, uint32_t) -> int32_t { return 1; },
};

namespace {

constexpr char kChoiceVariable[] = "BOARDSTAT_BOARD_LIBRARY";
constexpr char kSimulatedBoardName[] = "sim";
constexpr char kHowToChoose[] =
    "set BOARDSTAT_BOARD_LIBRARY to the file of a board access library, or to 'sim' for the "
    "simulated board";

bool is_set(const char* value) {
  return value != nullptr && *value != '\0';
}

// The word size a library file was built for, from its own header (ELF or PE), or 0 when the
// file says neither. Read only after a load failed, to say why in plain words.
int file_bits(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char header[64] = {};
  if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return 0;
  const bool elf = header[0] == 0x7f && header[1] == 'E' && header[2] == 'L' && header[3] == 'F';
  if (elf) return header[4] == 1 ? 32 : header[4] == 2 ? 64 : 0;
  if (header[0] != 'M' || header[1] != 'Z') return 0;
  const uint32_t pe_at = header[0x3c] | header[0x3d] << 8 | header[0x3e] << 16 |
                         static_cast<uint32_t>(header[0x3f]) << 24;
  unsigned char pe[6] = {};
  if (!file.seekg(pe_at) || !file.read(reinterpret_cast<char*>(pe), sizeof pe)) return 0;
  if (memcmp(pe, "PE\0\0", 4) != 0) return 0;
  const unsigned machine = pe[4] | pe[5] << 8;
  if (machine == 0x14c) return 32;                        // i386
  if (machine == 0x8664 || machine == 0xaa64) return 64;  // x86-64, ARM64
  return 0;
}

// Why a library that is there could not be loaded: its word size when it is not the program's,
// else the loader's reason.
std::string load_failure(const std::string& path, const OpenedLibrary& opened) {
  const int bits = file_bits(path);
  const int ours = static_cast<int>(sizeof(void*) * 8);
  if (bits != 0 && bits != ours) {
    return path + " is a " + std::to_string(bits) + "-bit library; this program is " +
           std::to_string(ours) + "-bit and needs a " + std::to_string(ours) + "-bit one";
  }
  return "cannot load " + path + ": " + opened.error;
}

template <typename Call>
bool resolve(void* handle, const char* name, Call& call, const std::string& file,
             std::string& error) {
  call = reinterpret_cast<Call>(find_call(handle, name));
  if (call == nullptr && error.empty()) {
    error = file + " has no " + name + ": it is not a board access library";
  }
  return call != nullptr;
}

BoardLibrary failed(std::string error) {
  BoardLibrary library;
  library.error = std::move(error);
  return library;
}

// A library says it is the simulated board by exporting this name besides the four calls, so
// that it never passes for a real one, however it was chosen.
constexpr char kSimulatedBoardMark[] = "BoardsimIsSimulated";

// The four calls from one opened library; closes it when one is missing.
BoardLibrary take_calls(const OpenedLibrary& opened, const std::string& file) {
  BoardCalls calls;
  std::string error;
  resolve(opened.handle, "LmSysBrdFind", calls.find, file, error);
  resolve(opened.handle, "LmBrdOpen", calls.open, file, error);
  resolve(opened.handle, "KvRegPeek", calls.peek, file, error);
  resolve(opened.handle, "KvRegPoke", calls.poke, file, error);
  if (!error.empty()) {
    close_library(opened.handle);
    return failed(error);
  }
  board_calls_in_use = calls;
  BoardLibrary library;
  library.loaded = true;
  library.path = loaded_file(opened.handle);
  library.simulated = find_call(opened.handle, kSimulatedBoardMark) != nullptr;
  return library;
}

// BOARDSTAT_BOARD_LIBRARY=FILE: one library with all four calls.
BoardLibrary load_named(const std::string& file) {
  const std::string what = std::string(kChoiceVariable) + "=" + file;
  std::error_code ignored;
  const std::filesystem::file_status status = std::filesystem::status(file, ignored);
  if (!std::filesystem::exists(status)) {
    return failed(what + ": there is no such file; " + kHowToChoose);
  }
  if (std::filesystem::is_directory(status)) {
    return failed(what + " is a folder; " + kHowToChoose);
  }
  const OpenedLibrary opened = open_library(file, true);
  if (opened.handle == nullptr) return failed(load_failure(file, opened));
  return take_calls(opened, file);
}

// The vendor's pair by the platform's search: Lmd finds and opens, KvD reads and writes.
// `nothing_there` tells a system without either file from one whose files are broken.
BoardLibrary load_vendor_pair(bool& nothing_there) {
  const OpenedLibrary lmd = open_library(kVendorNames.lmd, false);
  const OpenedLibrary kvd = open_library(kVendorNames.kvd, false);
  const auto close_both = [&] {
    if (lmd.handle != nullptr) close_library(lmd.handle);
    if (kvd.handle != nullptr) close_library(kvd.handle);
  };
  nothing_there = lmd.not_found && kvd.not_found;
  if (nothing_there) {
    BoardLibrary library =
        failed(std::string("no board access library: ") + kVendorNames.lmd + " and " +
               kVendorNames.kvd + " are not " + kVendorNames.search_places + "; " + kHowToChoose);
    close_both();
    return library;
  }
  for (const auto& [name, opened] : {std::pair{kVendorNames.lmd, &lmd}, {kVendorNames.kvd, &kvd}}) {
    if (opened->handle != nullptr) continue;
    close_both();
    if (opened->not_found) {
      return failed(std::string("board access library incomplete: ") + name + " is not " +
                    kVendorNames.search_places + "; " + kHowToChoose);
    }
    return failed(std::string("cannot load ") + name + ": " + opened->error);
  }
  BoardCalls calls;
  std::string error;
  const std::string lmd_file = loaded_file(lmd.handle);
  const std::string kvd_file = loaded_file(kvd.handle);
  resolve(lmd.handle, "LmSysBrdFind", calls.find, lmd_file, error);
  resolve(lmd.handle, "LmBrdOpen", calls.open, lmd_file, error);
  resolve(kvd.handle, "KvRegPeek", calls.peek, kvd_file, error);
  resolve(kvd.handle, "KvRegPoke", calls.poke, kvd_file, error);
  if (!error.empty()) {
    close_both();
    return failed(error);
  }
  board_calls_in_use = calls;
  BoardLibrary library;
  library.loaded = true;
  library.path = lmd_file + ", " + kvd_file;
  return library;
}

// The build folder of a program run where it was built: its folder, or one of the two above it
// (the tests' programs), holds the build's CMakeCache.txt. Empty for an installed or unpacked
// copy, which never takes the build's simulated board nor falls back to it.
std::filesystem::path build_folder() {
  std::filesystem::path folder = program_folder();
  std::error_code ignored;
  for (int up = 0; up < 3 && !folder.empty(); ++up, folder = folder.parent_path()) {
    if (std::filesystem::exists(folder / "CMakeCache.txt", ignored)) return folder;
  }
  return {};
}

// The simulated board's library is only ever taken from its own place, never found by the
// search, where it could stand in for a vendor's: in the build, where the build puts it; else
// where the programs are installed with it.
std::string simulated_board_file(const std::filesystem::path& build) {
  const SimulatedBoardPlace& place = kSimulatedBoardPlace;
  if (!build.empty()) return (build / place.in_build / place.file).string();
  return (std::filesystem::path(program_folder()) / place.installed / place.file)
      .lexically_normal()
      .string();
}

// The simulated board, asked for by `why` (or, with `fallback`, standing in for a missing
// vendor library).
BoardLibrary load_simulated(const char* why, bool fallback) {
  const std::string file = simulated_board_file(build_folder());
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(file, ignored)) {
    return failed(std::string(why) + " chooses the simulated board, but its library " + file +
                  " is not there; reinstall boardstat, or set BOARDSTAT_BOARD_LIBRARY to the " +
                  "file of a board access library");
  }
  const OpenedLibrary opened = open_library(file, true);
  if (opened.handle == nullptr) return failed(load_failure(file, opened));
  BoardLibrary library = take_calls(opened, file);
  library.fallback = fallback && library.loaded;
  return library;
}

BoardLibrary choose() {
  if (const char* chosen = getenv(kChoiceVariable)) {
    if (*chosen == '\0') return failed(std::string(kChoiceVariable) + " is empty; " + kHowToChoose);
    if (strcmp(chosen, kSimulatedBoardName) == 0) {
      return load_simulated("BOARDSTAT_BOARD_LIBRARY=sim", false);
    }
    return load_named(chosen);
  }
  // A board description names the simulated board as plainly as the variable does.
  if (is_set(getenv("BOARDSIM_CONFIG"))) return load_simulated("BOARDSIM_CONFIG", false);
  bool nothing_there = false;
  BoardLibrary vendor = load_vendor_pair(nothing_there);
  // Only when nothing at all is there: a vendor library that is there but broken is said.
  if (nothing_there && simulated_board_fallback_built() && !build_folder().empty()) {
    BoardLibrary simulated = load_simulated("the fall-back", true);
    if (simulated.loaded) return simulated;
  }
  return vendor;
}

}  // namespace

const BoardLibrary& load_board_library() {
  static BoardLibrary library;
  if (!library.loaded) library = choose();
  return library;
}

bool simulated_board_fallback_built() {
#ifdef BOARDSTAT_SIM_FALLBACK
  return true;
#else
  return false;
#endif
}

}  // namespace boardstat
