// CameraLink: the camera interface set-up.
#ifndef BOARDSTAT_BOARD_REGISTERS_CAMERA_LINK_H_
#define BOARDSTAT_BOARD_REGISTERS_CAMERA_LINK_H_

#include "board/registers/types.h"

namespace boardstat::camera_link {

inline constexpr Register kChannelEnable{2854, "channel enable"};
inline constexpr Field kChannelX{kChannelEnable, 0, 1, "Channel X"};
inline constexpr Field kChannelY{kChannelEnable, 1, 1, "Channel Y"};
inline constexpr Field kChannelZ{kChannelEnable, 2, 1, "Channel Z"};

inline constexpr Register kMode{2856, "Mode"};
inline constexpr Register kUseFval{2852, "Use FVAL"};
inline constexpr Register kUseDval{2853, "Use DVAL"};

inline constexpr std::string_view kModeTexts[] = {
    "Base/Medium/Full, 8-bit",
    "Base/Medium/Full, 10-bit or 12-bit",
    "Base/Medium/Full, 14-bit or 16-bit",
    "Ten tap, 8-bit",
    "Eight tap, 10-bit",
};
inline constexpr Enumeration kModeText = make_enumeration(kModeTexts, kUnknown);

/// Every register the panel reads, in the order it reads them.
inline constexpr Register kRegisters[] = {kChannelEnable, kMode, kUseFval, kUseDval};

}  // namespace boardstat::camera_link

#endif  // BOARDSTAT_BOARD_REGISTERS_CAMERA_LINK_H_
