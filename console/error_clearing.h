#ifndef BOARDSTAT_CONSOLE_ERROR_CLEARING_H_
#define BOARDSTAT_CONSOLE_ERROR_CLEARING_H_

#include "board/board_access.h"

namespace boardstat {

/// Resets the error latches and the acquired counts of one VFG: 49 register writes in a fixed
/// order. Nothing is read and no result is looked at.
void clear_errors(KvHandle vfg);

}  // namespace boardstat

#endif  // BOARDSTAT_CONSOLE_ERROR_CLEARING_H_
