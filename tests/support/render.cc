#include "tests/support/render.h"

#include <sstream>

#include "tests/support/fake_board.h"

namespace boardstat::testing {

std::string render(PanelDraw draw, int expanded, int vfg) {
  std::ostringstream out;
  draw(out, FakeBoard::handle(vfg), expanded);
  return out.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace boardstat::testing
