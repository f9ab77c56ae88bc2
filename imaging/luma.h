#pragma once
// Luma extraction: the grey picture of Y = 0.299 R + 0.587 G + 0.114 B, truncated.
#include "platform/graphics.h"
#include "platform/rows_made.h"

namespace imaging {

// The weights are the double-precision numbers nearest to 0.299, 0.587 and 0.114, and the sum is
// formed exactly before it is truncated. Those weights add up to slightly less than one, so a grey
// level v >= 1 gives v - 1.
//
// Fills the luma plane, a grey bitmap that lives for the whole run, from a 24-bit picture; the
// picture is not changed. Grey pictures handed out earlier keep their pixels: the plane takes
// fresh ones while it shares its old ones.
// `made`, when given, hears how far the plane's rows are done (see runRowsSplit).
void lumaDecompose(const platform::TBitmap& picture, platform::RowsMade* made = nullptr);

// The luma plane itself, for a thread that writes it out as lumaDecompose makes it.
const platform::TBitmap& lumaPlane();

// Gives `into` the grey picture of the luma plane, at the size of the picture last decomposed. The
// picture shares the plane's pixels instead of copying them.
void lumaDisplay(platform::TBitmap& into);

}  // namespace imaging
