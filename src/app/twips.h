#pragma once
// The window's layout is designed in twips; it shows 15 twips a pixel.

namespace qm {

inline constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

}  // namespace qm
