#pragma once
// The edge core: a grey pass, then a Sobel pass that paints each inner pixel white where the
// gradient's magnitude is at most the threshold and black where it is above.
#include "platform/graphics.h"
#include "platform/rows_made.h"

namespace imaging {

// The grey value is (28 B + 151 G + 77 R) >> 8: integer weights that sum to 256, so white stays 255.
// A pixel is white (255) where sqrt(gv^2 + gh^2) <= threshold, black (0) where it is above; that is
// decided in integers as gv^2 + gh^2 <= threshold^2, since both sides are non-negative and for whole
// numbers m <= T exactly when m^2 <= T^2.
//
// Gives `into` the edge map of `from` at `threshold` (0 to 255). The outermost rows and columns keep
// their grey value; a picture narrower or lower than 3 pixels is all border. `into` may be `from`.
// `made`, when given, hears how far the rows of `into` are done (see runRowsSplit).
void drawEdges(const platform::TBitmap& from, platform::TBitmap& into, int threshold,
               platform::RowsMade* made = nullptr);

}  // namespace imaging
