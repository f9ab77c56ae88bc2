#pragma once
// The per-row inner loops of the operations, written once with Highway and compiled for every
// instruction set it knows on this processor family (see platform/rows/targets.h, which also
// chooses among them). All give the same bytes; the operations split rows between threads and call
// these on each row.
#include <cstddef>
#include <cstdint>

#include "platform/graphics.h"
#include "platform/rows/widening.h"

namespace imaging::rows {

// Exact luma (see luma.h) of `width` 24-bit pixels.
void luma(const std::uint8_t* bgr, std::uint8_t* out, int width);

// The edge operation's grey value (see edges.h) of `width` 24-bit pixels.
void grey(const std::uint8_t* bgr, std::uint8_t* out, int width);

// The blue byte of `width` 24-bit pixels.
void blue(const std::uint8_t* bgr, std::uint8_t* out, int width);

// Pictures of at least this many bytes are written with platform::rows::widenGreyRowStreaming.
inline constexpr std::size_t kStreamingBytes = 4u << 20;  // beyond what the caches keep for the next step

// The writable rows of a bitmap, taken once on the calling thread: the writable accessor unshares
// the pixels, which must not happen on a helper thread.
struct WritableRows {
    std::uint8_t* first = nullptr;  // null for an empty picture
    std::size_t stride = 0;
    int width = 0;
    int height = 0;
};
// Gives `into` pixels of its own of this size and layout (values undefined) and returns its rows.
WritableRows freshRows(platform::TBitmap& into, int width, int height,
                       platform::TPixelFormat format = platform::TPixelFormat::pf24bit);
// Row y of those rows.
inline std::uint8_t* rowOf(const WritableRows& rows, int y) {
    return rows.first + rows.stride * static_cast<std::size_t>(y);
}

// Writes grey rows into the 24-bit rows of one picture, going around the cache when the picture
// is large. Make one per thread and band; it fences its streaming stores when it goes.
class BgrRowWriter {
public:
    explicit BgrRowWriter(const WritableRows& rows)
        : rows_(rows), streaming_(rows.stride * static_cast<std::size_t>(rows.height) >= kStreamingBytes) {}
    ~BgrRowWriter() {
        if (streaming_) platform::rows::finishStreaming();
    }
    BgrRowWriter(const BgrRowWriter&) = delete;
    BgrRowWriter& operator=(const BgrRowWriter&) = delete;
    void write(int y, const std::uint8_t* grey) const {
        if (streaming_)
            platform::rows::widenGreyRowStreaming(grey, rowOf(rows_, y), rows_.width);
        else
            platform::rows::widenGreyRow(grey, rowOf(rows_, y), rows_.width);
    }

private:
    WritableRows rows_;
    bool streaming_;
};

// Sobel test on one inner row: out[x] for 1 <= x <= width - 2 becomes 255 where the gradient of
// the grey rows above, here and below has magnitude at most `threshold`, else 0. out[0] and
// out[width - 1] are not written.
void edges(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
           int threshold, std::uint8_t* out);

// A row of the median's picture with its even and its odd columns apart, so that the windows of
// columns 2i and 2i + 1, which share two columns, are worked out lane by lane side by side:
// evens[i] is column 2i and odds[i] column 2i + 1. Border cells: odds[-1] and evens[(width + 1) / 2],
// which may be one cell, and odds[width / 2] for an odd width.
struct SplitRow {
    std::uint8_t* evens;
    std::uint8_t* odds;
};
// A row of `width` values taken apart into `into`, whose border cells stay as they are; and back.
void splitColumns(const std::uint8_t* row, int width, const SplitRow& into);
void joinColumns(const SplitRow& from, int width, std::uint8_t* row);
// 3 x 3 medians of two neighbouring rows, from four split rows with zero border cells: `top` from
// rows 0 to 2, `bottom` from rows 1 to 3; their border cells end as zeros.
void medianPair(const SplitRow (&rows)[4], int width, const SplitRow& top, const SplitRow& bottom);

}  // namespace imaging::rows
