// The frame every panel draws around its content: title line, caret line, closing empty lines.
#ifndef BOARDSTAT_DISPLAY_PANEL_FRAME_H_
#define BOARDSTAT_DISPLAY_PANEL_FRAME_H_

#include <ostream>
#include <string_view>

namespace boardstat {

/// A panel's frame. The caret in both caret lines stands under the key that toggles the panel.
struct PanelFrame {
  std::string_view title;
  std::string_view long_caret_line;   // expanded: always 27 characters
  std::string_view short_caret_line;  // collapsed: as long as the title
  int empty_lines_after_content;      // 2 for CameraLink, PixelRouter, SystemProbe; else 1
};

/// Writes the title and the caret line. A collapsed panel is finished here (its closing empty
/// line is written too) and the result is false; an expanded one returns true and the caller
/// writes its content, then calls end_panel.
bool begin_panel(std::ostream& out, const PanelFrame& frame, int expanded);

/// Closes an expanded panel with its empty lines.
void end_panel(std::ostream& out, const PanelFrame& frame);

}  // namespace boardstat

#endif  // BOARDSTAT_DISPLAY_PANEL_FRAME_H_
