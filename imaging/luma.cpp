#include "imaging/luma.h"

#include "imaging/pixels.h"

namespace imaging {

// With the weights written as k/1000 (299, 587, 114), the exact sum is q/1000 - d, where d comes
// from how far each double lies from its decimal: 0.299 and 0.587 lie a little below, 0.114 a
// little above. Scaled by 1000 * 2^56 those distances are the integers 864, 2432 and -296, so d is
// positive exactly when 864 R + 2432 G > 296 B. d is far below 1/1000, so it only decides the
// result where q/1000 is a whole number: there the truncated sum is one less when d > 0.
std::uint8_t lumaOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    const unsigned q = 299u * red + 587u * green + 114u * blue;
    const unsigned whole = q / 1000;
    const bool justBelow = q % 1000 == 0 && 108u * red + 304u * green > 37u * blue;
    return static_cast<std::uint8_t>(whole - (justBelow ? 1 : 0));
}

void lumaRow(const std::uint8_t* bgr, std::uint8_t* luma, int width) {
    for (int x = 0; x < width; ++x, bgr += 3) luma[x] = lumaOf(bgr[2], bgr[1], bgr[0]);
}

Plane& lumaPlane() {
    static Plane plane;
    return plane;
}

void lumaDecompose(const platform::TBitmap& picture) {
    Plane& plane = lumaPlane();
    plane.fit(picture.Width(), picture.Height());
    for (int y = 0; y < picture.Height(); ++y) lumaRow(picture.GetScanline(y), plane.row(y), picture.Width());
}

void lumaDisplay(platform::TBitmap& into) {
    const Plane& plane = lumaPlane();
    into.SetSize(plane.width(), plane.height());
    for (int y = 0; y < plane.height(); ++y) greyToBgr(plane.row(y), into.GetScanline(y), plane.width());
}

}  // namespace imaging
