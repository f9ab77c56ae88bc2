#pragma once
// The iterated 3 x 3 median filter on the blue channel.
#include <cstdint>

#include "imaging/plane.h"
#include "platform/graphics.h"
#include "platform/rows_made.h"

namespace imaging {

inline constexpr int kMedianPasses = 5;

// All kMedianPasses passes at once, from `source`, a plane that holds the picture at offset (1, 1)
// (row y of the picture is its row y + 1; its border cells are not read), into the inner cells of
// `output`, laid out the same way (its border cells are not written). Each pass sees the picture of
// the pass before it with cells outside the picture at 0, exactly as passes run one after another.
// The benchmarks compare it with other median filters plane to plane.
void medianPasses(const Plane& source, Plane& output, int width, int height);

// Gives `into` the result of kMedianPasses passes over the blue channel of `from`, written into
// blue, green and red. `into` may be `from`. `made`, when given, hears how far the rows of `into`
// are done (see runRowsSplit).
void medianFilter(const platform::TBitmap& from, platform::TBitmap& into, platform::RowsMade* made = nullptr);

}  // namespace imaging
