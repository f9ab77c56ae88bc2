#pragma once
// The iterated 3 x 3 median filter on the blue channel.
#include <cstdint>

#include "imaging/plane.h"
#include "platform/graphics.h"

namespace imaging {

inline constexpr int kMedianPasses = 5;

// The median (fifth largest) of nine values.
std::uint8_t medianOf9(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint8_t e,
                       std::uint8_t f, std::uint8_t g, std::uint8_t h, std::uint8_t i);

// One pass: every output pixel is the median of the 3 x 3 window around it in the rows of
// `source`, a plane with a one-cell border of zeros around the picture (cells outside the
// picture count as 0). Output rows are width cells; row y of the picture is source row y + 1.
void medianPass(const Plane& source, Plane& output, int width, int height);

// All kMedianPasses passes at once, from `source` (laid out as for medianPass) into the inner cells
// of `output`, which gets the same layout with a zero border. Each pass sees the picture of the
// pass before it with cells outside the picture at 0, exactly as passes run one after another.
void medianPasses(const Plane& source, Plane& output, int width, int height);

// The blue channel, with its zero border, that medianFilter starts from.
Plane& medianPlane();

// Gives `into` the result of kMedianPasses passes over the blue channel of `from`, written into
// blue, green and red. `into` may be `from`.
void medianFilter(const platform::TBitmap& from, platform::TBitmap& into);

}  // namespace imaging
