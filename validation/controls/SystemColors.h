// The desktop's system colours as the dialogs' controls use them (the
// classic scheme), and the colour type they are given in.
#pragma once

#include <cstdint>

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    constexpr bool operator==(const Rgb&) const = default;
};

namespace syscolor {

inline constexpr Rgb kButtonFace{240, 240, 240};       // COLOR_BTNFACE
inline constexpr Rgb kButtonText{0, 0, 0};             // COLOR_BTNTEXT
inline constexpr Rgb kLight{227, 227, 227};            // COLOR_3DLIGHT
inline constexpr Rgb kHighlight3d{255, 255, 255};      // COLOR_BTNHIGHLIGHT
inline constexpr Rgb kShadow{160, 160, 160};           // COLOR_BTNSHADOW
inline constexpr Rgb kDarkShadow{105, 105, 105};       // COLOR_3DDKSHADOW
inline constexpr Rgb kInfoBackground{255, 255, 225};   // COLOR_INFOBK
inline constexpr Rgb kGrayText{109, 109, 109};         // COLOR_GRAYTEXT
inline constexpr Rgb kSelection{51, 153, 255};         // COLOR_HIGHLIGHT
inline constexpr Rgb kSelectionText{255, 255, 255};    // COLOR_HIGHLIGHTTEXT
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kEmbossGrey{128, 128, 128};

}  // namespace syscolor
