#include "imaging/luma.h"

#include "imaging/parallel.h"
#include "imaging/row_kernels.h"

namespace imaging {

namespace {
// The luma of the last picture decomposed, a grey bitmap; read back by lumaDisplay in the same press.
platform::TBitmap& plane() {
    static platform::TBitmap luma;
    return luma;
}
}  // namespace

const platform::TBitmap& lumaPlane() { return plane(); }

void lumaDecompose(const platform::TBitmap& picture, platform::RowsMade* made) {
    const int width = picture.Width();
    const rows::WritableRows luma =
        rows::freshRows(plane(), width, picture.Height(), platform::TPixelFormat::pf8bit);
    if (!luma.first) return;
    const std::size_t bytes = picture.Stride() * static_cast<std::size_t>(picture.Height());
    forRowsSplit(
        picture.Height(), bytes, kLumaSplit,
        [&](int begin, int end) {
            for (int y = begin; y < end; ++y) rows::luma(picture.GetScanline(y), rows::rowOf(luma, y), width);
        },
        made);
}

void lumaDisplay(platform::TBitmap& into) { into.Assign(plane()); }

}  // namespace imaging
