#include "display/panel_frame.h"

#include "display/format.h"

namespace boardstat {

bool begin_panel(std::ostream& out, const PanelFrame& frame, int expanded) {
  out << frame.title;
  end_line(out);
  if (expanded == 0) {
    out << frame.short_caret_line;
    end_line(out);
    end_line(out);
    return false;
  }
  out << frame.long_caret_line;
  end_line(out);
  return true;
}

void end_panel(std::ostream& out, const PanelFrame& frame) {
  for (int i = 0; i < frame.empty_lines_after_content; ++i) end_line(out);
}

}  // namespace boardstat
