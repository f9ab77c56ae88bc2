#pragma once
// The edge core: a grey pass, then a Sobel pass that paints each inner pixel white where the
// gradient's magnitude is at most the threshold and black where it is above.
#include <cstdint>

#include "platform/graphics.h"

namespace imaging {

inline constexpr std::uint8_t kNoEdge = 255;
inline constexpr std::uint8_t kEdge = 0;

// Integer weights that sum to 256, so white stays 255.
inline std::uint8_t greyOf(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return static_cast<std::uint8_t>((28 * blue + 151 * green + 77 * red) >> 8);
}

// sqrt(gv^2 + gh^2) <= threshold, decided in integers: both sides are non-negative, and for
// whole numbers m <= T exactly when m^2 <= T^2.
inline bool withinThreshold(int gv, int gh, int threshold) {
    return gv * gv + gh * gh <= threshold * threshold;
}

// Gives `into` the edge map of `from` at `threshold` (0 to 255). The outermost rows and columns keep
// their grey value; a picture narrower or lower than 3 pixels is all border. `into` may be `from`.
void drawEdges(const platform::TBitmap& from, platform::TBitmap& into, int threshold);

}  // namespace imaging
