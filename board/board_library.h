// Which board access library the programs read their boards through, and how it is found.
// The four calls of board/board_access.h go to the library that load_board_library() chose;
// until one is loaded they find no VFG.
#ifndef BOARDSTAT_BOARD_BOARD_LIBRARY_H_
#define BOARDSTAT_BOARD_BOARD_LIBRARY_H_

#include <string>

#include "board/board_access.h"

namespace boardstat {

/// The four calls of one board access library.
struct BoardCalls {
  decltype(&LmSysBrdFind) find = nullptr;
  decltype(&LmBrdOpen) open = nullptr;
  decltype(&KvRegPeek) peek = nullptr;
  decltype(&KvRegPoke) poke = nullptr;
};

/// The library in use, or why there is none.
struct BoardLibrary {
  bool loaded = false;
  /// The file or files the calls come from.
  std::string path;
  /// The library is the simulated board's (it says so itself).
  bool simulated = false;
  /// Nothing was asked for and no vendor library was there: the simulated board stands in.
  bool fallback = false;
  /// When not loaded: one line saying what was looked for, where, and how to choose instead.
  std::string error;
};

/// The calls in use, which the four calls of board/board_access.h go through. Set only by
/// load_board_library().
extern BoardCalls board_calls_in_use;

/// Chooses the board access library, once it succeeds:
///   BOARDSTAT_BOARD_LIBRARY=sim    the simulated board's library, from its own place: beside
///                                  the programs as installed, or in the build for a program
///                                  run from its build folder;
///   BOARDSTAT_BOARD_LIBRARY=FILE   the library FILE, which provides all four calls;
///   BOARDSIM_CONFIG set            the simulated board, on that description;
///   otherwise                      the vendor's Lmd and KvD by the platform's search, and when
///                                  neither is there, in builds that allow it and only for a
///                                  program run from its build folder, the simulated board as
///                                  a fall-back.
/// After a failure each call tries again, so that a driver installed since is found.
const BoardLibrary& load_board_library();

/// Whether this build falls back to the simulated board when no vendor library is there.
bool simulated_board_fallback_built();

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_BOARD_LIBRARY_H_
