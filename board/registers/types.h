// The small types the register catalogue is made of. Every program that talks to the board (the
// console, the exporter, the snapshot tool) reads its registers through these entries, so a
// register ID, a field position or a table of texts is written once, in its unit's header.
#ifndef BOARDSTAT_BOARD_REGISTERS_TYPES_H_
#define BOARDSTAT_BOARD_REGISTERS_TYPES_H_

#include <stddef.h>
#include <stdint.h>

#include <string_view>

namespace boardstat {

/// What a program that keeps or exports a register needs to know about how it moves.
enum class RegisterKind {
  kSetting,  // holds what was set: a mode, a selector, a window size
  kStatus,   // changes on its own but does not count: a state, a level
  kCount,    // counts up while the board runs; `count_mask` says which bits count
};

/// One register read by its whole value. Converts to its ID, so it is passed to KvRegPeek as
/// it is.
struct Register {
  uint32_t id;
  std::string_view name;  // the board's or the screen's name for it
  RegisterKind kind = RegisterKind::kSetting;
  uint32_t count_mask = 0xFFFFFFFFu;  // a count's meaningful bits (the screen shows no more)
  uint32_t count_unit = 1;            // what one count stands for (16 for 16-byte units)

  constexpr operator uint32_t() const { return id; }
};

constexpr Register status(uint32_t id, std::string_view name) {
  return Register{id, name, RegisterKind::kStatus};
}

constexpr Register count(uint32_t id, std::string_view name, uint32_t mask = 0xFFFFFFFFu,
                         uint32_t unit = 1) {
  return Register{id, name, RegisterKind::kCount, mask, unit};
}

/// A field of a register: `width_mask` bits from bit `shift` up.
struct Field {
  uint32_t reg;
  uint32_t shift;
  uint32_t width_mask;
  std::string_view name;

  constexpr uint32_t extract(uint32_t value) const { return (value >> shift) & width_mask; }
};

/// A register read as two texts: the first for 0, the second for any other value.
struct TwoWay {
  std::string_view zero;
  std::string_view non_zero;

  constexpr std::string_view operator()(uint32_t value) const { return value ? non_zero : zero; }
};

inline constexpr TwoWay kYesNo{"No", "Yes"};
inline constexpr TwoWay kEnabledDisabled{"Disabled", "Enabled"};

/// The fallback texts: the panels that name board states use "????", the others "Unknown".
inline constexpr std::string_view kUnknown = "Unknown";
inline constexpr std::string_view kQuestionMarks = "????";

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

/// A flag register and the name shown when it reads non-zero.
struct Flag {
  uint32_t reg;
  std::string_view name;
};

/// A list of flags in the order a panel shows them.
struct FlagList {
  const Flag* flags;
  size_t count;

  constexpr const Flag* begin() const { return flags; }
  constexpr const Flag* end() const { return flags + count; }
};

template <size_t N>
constexpr FlagList make_flag_list(const Flag (&flags)[N]) {
  return FlagList{flags, N};
}

}  // namespace boardstat

#endif  // BOARDSTAT_BOARD_REGISTERS_TYPES_H_
