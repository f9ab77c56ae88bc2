#include "imaging/median.h"

#include <algorithm>
#include <cstring>

#include "imaging/parallel.h"
#include "imaging/row_kernels.h"
#include "platform/pixel_store.h"

namespace imaging {
namespace {

// Runs the passes over the output rows [begin, end) of one band of the picture, two rows at a time:
// each step makes two new rows of every pass, the rows that the next pass needs below its windows.
// The rows are kept with their even and odd columns apart (see rows::SplitRow), the source's taken
// apart as the first pass needs them and the result's put together for `finish`. A pass keeps only
// its last four rows, so everything but the source and the result stays in the processor's cache.
// Rows of a band's neighbour that a window reaches into (up to kMedianPasses rows away for the
// source) are worked out again here, which gives the same values. `finish(y, row)` receives the
// width values of result row y.
template <class Finish>
void medianBand(const Plane& source, int width, int height, int begin, int end, Finish&& finish) {
    constexpr int kKept = 4;  // rows of each pass in its ring: the four that two windows read
    const int evens = (width + 1) / 2;
    // A row's even columns, one border cell that is both theirs on the right and the odd columns' on
    // the left, then the odd columns and their right border: the cells rows::medianPair reads.
    const std::size_t rowBytes = static_cast<std::size_t>(width) + 2;
    // One zero row, the rings of the source and the inner passes, the two new rows of the last pass,
    // and those put together.
    constexpr int kRows = 1 + kMedianPasses * kKept + 2;
    const platform::Bytes storage =
        platform::acquireBytes(rowBytes * kRows + static_cast<std::size_t>(width));
    std::memset(storage.get(), 0, rowBytes * kRows);  // every border cell
    auto split = [&](int index) {
        std::uint8_t* const row = storage.get() + rowBytes * static_cast<std::size_t>(index);
        return rows::SplitRow{row, row + evens + 1};
    };
    const rows::SplitRow zero = split(0), last[2] = {split(kRows - 2), split(kRows - 1)};
    std::uint8_t* const joined = storage.get() + rowBytes * kRows;
    // The rows each pass makes: the band, and as far beyond as later passes reach.
    auto first = [&](int pass) { return std::max(begin - (kMedianPasses - pass), 0); };
    auto stop = [&](int pass) { return std::min(end + (kMedianPasses - pass), height); };
    auto made = [&](int pass, int y) { return y >= first(pass) && y < stop(pass); };
    // Where the source (pass 0) or an inner pass keeps row y (from y = -1 on).
    auto kept = [&](int pass, int y) { return split(1 + pass * kKept + (y + kKept) % kKept); };
    // Row y of the picture after `pass` passes; zeros outside the picture.
    auto rowAfter = [&](int pass, int y) { return made(pass, y) ? kept(pass, y) : zero; };
    // Pass p makes rows r - p and r - p + 1 from those of pass p - 1. A pair that sticks out of the
    // rows its pass makes by one works that row out from zeros, and nothing reads it.
    for (int r = begin - kMedianPasses; r - kMedianPasses < end; r += 2) {
        for (int y = r; y < r + 2; ++y)
            if (made(0, y)) rows::splitColumns(source.row(y + 1) + 1, width, kept(0, y));
        for (int pass = 1; pass <= kMedianPasses; ++pass) {
            const int y = r - pass;
            if (!made(pass, y) && !made(pass, y + 1)) continue;
            const rows::SplitRow around[4] = {rowAfter(pass - 1, y - 1), rowAfter(pass - 1, y),
                                              rowAfter(pass - 1, y + 1), rowAfter(pass - 1, y + 2)};
            if (pass < kMedianPasses) {
                rows::medianPair(around, width, kept(pass, y), kept(pass, y + 1));
                continue;
            }
            rows::medianPair(around, width, last[0], last[1]);
            for (int i = 0; i < 2; ++i) {
                if (!made(pass, y + i)) continue;
                rows::joinColumns(last[i], width, joined);
                finish(y + i, joined);
            }
        }
    }
}

// Splits the rows between the threads in bands. `perThread(begin, end, band)` runs once for each
// band of result rows [begin, end), on either thread; it calls band(finish) with what receives them.
template <class PerThread>
void runPasses(const Plane& source, int width, int height, PerThread&& perThread,
               platform::RowsMade* made = nullptr) {
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    forRowsSplit(
        height, bytes, kMedianSplit,
        [&](int begin, int end) {
            perThread(begin, end,
                      [&](auto&& finish) { medianBand(source, width, height, begin, end, finish); });
        },
        made);
}

}  // namespace

void medianPasses(const Plane& source, Plane& output, int width, int height) {
    output.fit(width + 2, height + 2);
    // Like the filter's 24-bit result, a large plane goes around the cache.
    const bool streaming =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) >= rows::kStreamingBytes;
    runPasses(source, width, height, [&](int, int, const auto& band) {
        band([&](int y, const std::uint8_t* values) {
            if (streaming)
                platform::rows::copyRowStreaming(values, output.row(y + 1) + 1, width);
            else
                std::memcpy(output.row(y + 1) + 1, values, static_cast<std::size_t>(width));
        });
        if (streaming) platform::rows::finishStreaming();
    });
}

void medianFilter(const platform::TBitmap& from, platform::TBitmap& into, platform::RowsMade* made) {
    const int width = from.Width(), height = from.Height();
    // The blue channel at offset (1, 1), as the passes read a plane, kept for the whole run.
    static Plane blue;
    blue.fit(width + 2, height + 2);
    auto takeBlue = [&](int begin, int end) {
        for (int y = begin; y < end; ++y) rows::blue(from.GetScanline(y), blue.row(y + 1) + 1, width);
    };
    // A result written out as it is made is made bottom-up on this thread, and each band first takes
    // the blue rows it reads that no band below took, so that the first rows are out soon. Otherwise,
    // or when `into` is `from`, whose pixels making room for the result may replace, all of it first.
    const bool bandByBand = made && &into != &from;
    int blueFrom = height;
    if (!bandByBand)
        forRowsSplit(height, from.Stride() * static_cast<std::size_t>(height), kLumaSplit,
                     [&](int begin, int end) { takeBlue(begin, end); });
    const rows::WritableRows output = rows::freshRows(into, width, height);
    if (!output.first) return;
    runPasses(
        blue, width, height,
        [&](int begin, int, const auto& band) {
            const int reachedFrom = std::max(begin - kMedianPasses, 0);
            if (bandByBand && reachedFrom < blueFrom) {
                takeBlue(reachedFrom, blueFrom);
                blueFrom = reachedFrom;
            }
            const rows::BgrRowWriter writer(output);
            band([&](int y, const std::uint8_t* values) { writer.write(y, values); });
        },
        made);
}

}  // namespace imaging
