// The value forms shared by the banner and the panels, and the output stream rules they keep.
//
// Everything is written to one std::ostream whose formatting state carries over from one value,
// panel and redraw to the next: the banner leaves it right-aligned, decimal, blank-filled; the
// SystemProbe lines leave it left-aligned in fixed notation. Helpers here set only what they
// need and leave the base decimal. The texts of register values come from the register
// catalogue (board/registers/).
#ifndef BOARDSTAT_DISPLAY_FORMAT_H_
#define BOARDSTAT_DISPLAY_FORMAT_H_

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <string_view>

#include "board/board_access.h"
#include "board/registers/types.h"

namespace boardstat {

/// Width of a label's name: values start in column 29, after the name and ": ".
inline constexpr size_t kLabelNameWidth = 26;

/// Ends the line and flushes it, so that every finished line is on the console at once while
/// slow reads further down the screen are still running.
void end_line(std::ostream& out);

/// Writes `name` padded with blanks to 26 characters, then ": ". A longer name is written whole.
/// The padding ignores the stream's alignment and fill.
void write_label(std::ostream& out, std::string_view name);

/// A whole value line: the label of `name`, then `text`, then the end of the line.
void value_line(std::ostream& out, std::string_view name, std::string_view text);

/// A whole value line with an unsigned decimal value.
void value_line(std::ostream& out, std::string_view name, uint32_t value);

/// `value` in lower-case hexadecimal with no leading zeros (0 is "0"), after which the stream is
/// decimal again: a hexadecimal number never leaks into the next one.
void write_hex(std::ostream& out, uint32_t value);

/// `value` in general notation with 6 significant digits (128 as 128, 1/60 as 0.0166667, 2^1024
/// as inf), whatever notation an earlier fixed-point line left in the stream. A field width set
/// just before applies to it.
void write_general(std::ostream& out, double value);

/// A flag set line: the label of `name` and "{", then for every flag whose register reads
/// non-zero (read in the given order) its name and one blank, then "}" and the end of the line.
void flag_set_line(std::ostream& out, KvHandle vfg, std::string_view name, FlagList flags);

template <size_t N>
void flag_set_line(std::ostream& out, KvHandle vfg, std::string_view name, const Flag (&flags)[N]) {
  flag_set_line(out, vfg, name, make_flag_list(flags));
}

}  // namespace boardstat

#endif  // BOARDSTAT_DISPLAY_FORMAT_H_
