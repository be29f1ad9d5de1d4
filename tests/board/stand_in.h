// The stand-in vendor libraries pass each call on to the simulated board's library, which they
// load by its file name (BOARDSIM_FILE) through the same search that found them: both share its
// one board system.
#ifndef BOARDSTAT_TESTS_BOARD_LIBRARY_STAND_IN_H_
#define BOARDSTAT_TESTS_BOARD_LIBRARY_STAND_IN_H_

#include <stdlib.h>

#include "board/library_loader.h"

template <typename Call>
Call simulated_board_call(const char* name) {
  static void* const board = boardstat::open_library(BOARDSIM_FILE, false).handle;
  const boardstat::AnyCall call = board != nullptr ? boardstat::find_call(board, name) : nullptr;
  if (call == nullptr) abort();
  return reinterpret_cast<Call>(call);
}

#endif  // BOARDSTAT_TESTS_BOARD_LIBRARY_STAND_IN_H_
