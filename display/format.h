// The value forms shared by the banner and the panels, and the output stream rules they keep.
//
// Everything is written to one std::ostream whose formatting state carries over from one value,
// panel and redraw to the next: the banner leaves it right-aligned, decimal, blank-filled; the
// SystemProbe lines leave it left-aligned in fixed notation. Helpers here set only what they
// need and leave the base decimal.
#ifndef BOARDSTAT_DISPLAY_FORMAT_H_
#define BOARDSTAT_DISPLAY_FORMAT_H_

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <string_view>

#include "board/board_access.h"

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

/// A register read as two texts: the first for 0, the second for any other value.
struct TwoWay {
  std::string_view zero;
  std::string_view non_zero;

  constexpr std::string_view operator()(uint32_t value) const { return value ? non_zero : zero; }
};

inline constexpr TwoWay kYesNo{"No", "Yes"};
inline constexpr TwoWay kEnabledDisabled{"Disabled", "Enabled"};

/// A fixed table of texts for the values 0 to N-1 of a register, and the text for every other
/// value.
struct Enumeration {
  const std::string_view* texts;
  size_t count;
  std::string_view fallback;

  constexpr std::string_view operator()(uint32_t value) const {
    return value < count ? texts[value] : fallback;
  }
};

template <size_t N>
constexpr Enumeration make_enumeration(const std::string_view (&texts)[N],
                                       std::string_view fallback) {
  return Enumeration{texts, N, fallback};
}

/// The fallback texts: the panels that name board states use "????", the others "Unknown".
inline constexpr std::string_view kUnknown = "Unknown";
inline constexpr std::string_view kQuestionMarks = "????";

/// `value` in lower-case hexadecimal with no leading zeros (0 is "0"), after which the stream is
/// decimal again: a hexadecimal number never leaks into the next one.
void write_hex(std::ostream& out, uint32_t value);

/// `value` in general notation with 6 significant digits (128 as 128, 1/60 as 0.0166667, 2^1024
/// as inf), whatever notation an earlier fixed-point line left in the stream. A field width set
/// just before applies to it.
void write_general(std::ostream& out, double value);

/// A flag register and the name shown when it reads non-zero.
struct Flag {
  uint32_t reg;
  std::string_view name;
};

/// A flag set line: the label of `name` and "{", then for every flag whose register reads
/// non-zero (read in the given order) its name and one blank, then "}" and the end of the line.
void flag_set_line(std::ostream& out, KvHandle vfg, std::string_view name, const Flag* flags,
                   size_t count);

template <size_t N>
void flag_set_line(std::ostream& out, KvHandle vfg, std::string_view name, const Flag (&flags)[N]) {
  flag_set_line(out, vfg, name, flags, N);
}

}  // namespace boardstat

#endif  // BOARDSTAT_DISPLAY_FORMAT_H_
