#include "imaging/median.h"

#include <algorithm>
#include <cstring>

#include "imaging/pixels.h"

namespace imaging {
namespace {

inline void sort2(std::uint8_t& a, std::uint8_t& b) {
    const std::uint8_t lo = std::min(a, b);
    b = std::max(a, b);
    a = lo;
}

inline std::uint8_t median3(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Sorted columns: for each column of the three rows, its smallest, middle and largest value.
// Neighbouring windows share two of their three columns, so each column is sorted once.
struct SortedColumns {
    Plane low, middle, high;
};

void sortColumns(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int count,
                 std::uint8_t* low, std::uint8_t* middle, std::uint8_t* high) {
    for (int x = 0; x < count; ++x) {
        std::uint8_t a = above[x], b = here[x], c = below[x];
        sort2(a, b);
        sort2(b, c);
        sort2(a, b);
        low[x] = a;
        middle[x] = b;
        high[x] = c;
    }
}

// With every column sorted, the median of the nine is the median of: the largest of the three
// smallest, the middle of the three middles and the smallest of the three largest.
void medianOfSortedColumns(const std::uint8_t* low, const std::uint8_t* middle, const std::uint8_t* high, int width,
                           std::uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        const std::uint8_t largestLow = std::max(std::max(low[x], low[x + 1]), low[x + 2]);
        const std::uint8_t middleMiddle = median3(middle[x], middle[x + 1], middle[x + 2]);
        const std::uint8_t smallestHigh = std::min(std::min(high[x], high[x + 1]), high[x + 2]);
        out[x] = median3(largestLow, middleMiddle, smallestHigh);
    }
}

// Zeros the one-cell ring around a width x height picture held at offset (1, 1).
void clearBorder(Plane& plane) {
    const int w = plane.width(), h = plane.height();
    std::memset(plane.row(0), 0, static_cast<std::size_t>(w));
    std::memset(plane.row(h - 1), 0, static_cast<std::size_t>(w));
    for (int y = 1; y < h - 1; ++y) plane.row(y)[0] = plane.row(y)[w - 1] = 0;
}

}  // namespace

std::uint8_t medianOf9(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::uint8_t e,
                       std::uint8_t f, std::uint8_t g, std::uint8_t h, std::uint8_t i) {
    const std::uint8_t above[3] = {a, b, c}, here[3] = {d, e, f}, below[3] = {g, h, i};
    std::uint8_t low[3], middle[3], high[3], out;
    sortColumns(above, here, below, 3, low, middle, high);
    medianOfSortedColumns(low, middle, high, 1, &out);
    return out;
}

void medianPass(const Plane& source, Plane& output, int width, int height) {
    static SortedColumns columns;
    const int padded = width + 2;
    columns.low.fit(padded, 1);
    columns.middle.fit(padded, 1);
    columns.high.fit(padded, 1);
    for (int y = 0; y < height; ++y) {
        sortColumns(source.row(y), source.row(y + 1), source.row(y + 2), padded, columns.low.row(0),
                    columns.middle.row(0), columns.high.row(0));
        medianOfSortedColumns(columns.low.row(0), columns.middle.row(0), columns.high.row(0), width,
                              output.row(y + 1) + 1);
    }
}

Plane& medianPlane(int which) {
    static Plane planes[2];
    return planes[which];
}

void medianFilter(const platform::TBitmap& from, platform::TBitmap& into) {
    const int width = from.Width(), height = from.Height();
    Plane* read = &medianPlane(0);
    Plane* write = &medianPlane(1);
    for (Plane* plane : {read, write}) {
        plane->fit(width + 2, height + 2);
        clearBorder(*plane);
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* bgr = from.GetScanline(y);
        std::uint8_t* blue = read->row(y + 1) + 1;
        for (int x = 0; x < width; ++x) blue[x] = bgr[3 * x];
    }
    for (int pass = 0; pass < kMedianPasses; ++pass) {
        medianPass(*read, *write, width, height);
        std::swap(read, write);
    }
    if (&into != &from) into.SetSize(width, height);
    for (int y = 0; y < height; ++y) greyToBgr(read->row(y + 1) + 1, into.GetScanline(y), width);
}

}  // namespace imaging
