#ifndef BOARDSTAT_TESTS_SUPPORT_RENDER_H_
#define BOARDSTAT_TESTS_SUPPORT_RENDER_H_

#include <ostream>
#include <string>
#include <vector>

#include "board/board_access.h"

namespace boardstat::testing {

using PanelDraw = void (*)(std::ostream&, KvHandle, int);

/// What `draw` prints for VFG `vfg` of the fake board, on a stream in its initial state.
std::string render(PanelDraw draw, int expanded, int vfg = 0);

/// `text` cut at its line ends (the last line end closes the last line).
std::vector<std::string> split_lines(const std::string& text);

}  // namespace boardstat::testing

#endif  // BOARDSTAT_TESTS_SUPPORT_RENDER_H_
