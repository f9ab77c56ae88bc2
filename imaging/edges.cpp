#include "imaging/edges.h"

#include <algorithm>

#include "imaging/pixels.h"
#include "platform/pixel_store.h"

namespace imaging {

void edgeRow(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
             int threshold, std::uint8_t* out) {
    for (int x = 1; x < width - 1; ++x) {
        const int gv = (below[x - 1] + 2 * below[x] + below[x + 1]) - (above[x - 1] + 2 * above[x] + above[x + 1]);
        const int gh = (above[x - 1] + 2 * here[x - 1] + below[x - 1]) - (above[x + 1] + 2 * here[x + 1] + below[x + 1]);
        out[x] = withinThreshold(gv, gh, threshold) ? kNoEdge : kEdge;
    }
}

void drawEdges(const platform::TBitmap& from, platform::TBitmap& into, int threshold) {
    const int width = from.Width(), height = from.Height();
    const std::size_t rowBytes = static_cast<std::size_t>(width);
    // The grey rows belong to this call; their storage is recycled between calls.
    const platform::Bytes greyRows = platform::acquireBytes(rowBytes * static_cast<std::size_t>(height));
    auto grey = [&](int y) { return greyRows.get() + rowBytes * static_cast<std::size_t>(y); };

    for (int y = 0; y < height; ++y) {
        const std::uint8_t* px = from.GetScanline(y);
        std::uint8_t* g = grey(y);
        for (int x = 0; x < width; ++x, px += 3) g[x] = greyOf(px[0], px[1], px[2]);
    }
    if (&into != &from) into.SetSize(width, height);
    // Every row starts as its grey values; the inner pixels are then overwritten by the edge test.
    const platform::Bytes edgeValues = platform::acquireBytes(rowBytes);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = edgeValues.get();
        std::copy(grey(y), grey(y) + width, out);
        if (y > 0 && y < height - 1) edgeRow(grey(y - 1), grey(y), grey(y + 1), width, threshold, out);
        greyToBgr(out, into.GetScanline(y), width);
    }
}

}  // namespace imaging
