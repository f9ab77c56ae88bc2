#include "imaging/edges.h"

#include <algorithm>

#include "imaging/parallel.h"
#include "imaging/row_kernels.h"
#include "platform/pixel_store.h"

namespace imaging {

void drawEdges(const platform::TBitmap& from, platform::TBitmap& into, int threshold,
               platform::RowsMade* made) {
    const int width = from.Width(), height = from.Height();
    // Shares the picture's pixels, so that they stay readable when `into` is `from` and gets new ones.
    const platform::TBitmap source(from);
    const rows::WritableRows output = rows::freshRows(into, width, height);
    if (!output.first) return;
    const std::size_t rowBytes = static_cast<std::size_t>(width);

    forRowsSplit(
        height, output.stride * static_cast<std::size_t>(height), kEdgesSplit,
        [&](int begin, int end) {
            // This band's grey rows: the last three made, in turn, and the row being finished. Each
            // band makes the grey rows just above and below it as well, which its windows reach.
            const platform::Bytes storage = platform::acquireBytes(rowBytes * 4);
            auto grey = [&](int y) { return storage.get() + rowBytes * static_cast<std::size_t>(y % 3); };
            std::uint8_t* const out = storage.get() + rowBytes * 3;
            const rows::BgrRowWriter writer(output);
            int made = std::max(begin - 1, 0);
            for (int y = begin; y < end; ++y) {
                for (; made <= std::min(y + 1, height - 1); ++made)
                    rows::grey(source.GetScanline(made), grey(made), width);
                if (y == 0 || y == height - 1) {
                    writer.write(y, grey(y));  // the outermost rows keep their grey
                    continue;
                }
                out[0] = grey(y)[0];
                out[width - 1] = grey(y)[width - 1];
                rows::edges(grey(y - 1), grey(y), grey(y + 1), width, threshold, out);
                writer.write(y, out);
            }
        },
        made);
}

}  // namespace imaging
