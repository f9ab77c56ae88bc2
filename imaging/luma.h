#pragma once
// Luma extraction: the grey picture of Y = 0.299 R + 0.587 G + 0.114 B, truncated.
#include "platform/graphics.h"

namespace imaging {

// The weights are the double-precision numbers nearest to 0.299, 0.587 and 0.114, and the sum is
// formed exactly before it is truncated. Those weights add up to slightly less than one, so a grey
// level v >= 1 gives v - 1.
//
// Fills the luma plane, a grey bitmap that lives for the whole run, from a 24-bit picture; the
// picture is not changed. Grey pictures handed out earlier keep their pixels: the plane takes
// fresh ones while it shares its old ones.
void lumaDecompose(const platform::TBitmap& picture);

// Gives `into` the grey picture of the luma plane, at the size of the picture last decomposed. The
// picture shares the plane's pixels instead of copying them.
void lumaDisplay(platform::TBitmap& into);

}  // namespace imaging
