#pragma once
// The three operations written the plain way, as a first version would be: luma in extended
// precision per pixel into a column-major int plane, the median by sorting nine values per pixel,
// the edge test with a square root per pixel and grey rows allocated per call. They give the same
// bytes as the program's kernels and show what those gain.
#include "platform/graphics.h"

namespace bench::plain {

void luma(const platform::TBitmap& picture, platform::TBitmap& grey);
void median5(const platform::TBitmap& picture, platform::TBitmap& smooth);
void edges(const platform::TBitmap& picture, platform::TBitmap& map, int threshold);

}  // namespace bench::plain
