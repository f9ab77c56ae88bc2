#pragma once
// Row helpers shared by the operations: a row of 24-bit pixels is 3 bytes a pixel, blue, green, red.
#include <cstdint>

namespace imaging {

// Writes each grey value into blue, green and red of the matching pixel.
inline void greyToBgr(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, bgr += 3) bgr[0] = bgr[1] = bgr[2] = grey[x];
}

}  // namespace imaging
