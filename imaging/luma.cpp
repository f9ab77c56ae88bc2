#include "imaging/luma.h"

#include "imaging/parallel.h"
#include "imaging/row_kernels.h"

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

namespace {
// The luma of the last picture decomposed, a grey bitmap; read back by lumaDisplay in the same press.
platform::TBitmap& lumaPlane() {
    static platform::TBitmap plane;
    return plane;
}
}  // namespace

void lumaDecompose(const platform::TBitmap& picture) {
    const int width = picture.Width();
    const rows::WritableRows luma =
        rows::freshRows(lumaPlane(), width, picture.Height(), platform::TPixelFormat::pf8bit);
    if (!luma.first) return;
    const std::size_t bytes = picture.Stride() * static_cast<std::size_t>(picture.Height());
    forRowsSplit(picture.Height(), bytes, kLumaSplit, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) rows::luma(picture.GetScanline(y), rows::rowOf(luma, y), width);
    });
}

void lumaDisplay(platform::TBitmap& into) { into.Assign(lumaPlane()); }

}  // namespace imaging
