// The row kernels, written once with Highway: foreach_target.h compiles this file again for every
// instruction set, and the HWY_ONCE part at the end dispatches to the processor's best one.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/row_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
#include <algorithm>

#include "imaging/row_kernels.h"
#include "platform/rows/steps-inl.h"

HWY_BEFORE_NAMESPACE();
namespace imaging::rows::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using platform::rows::HWY_NAMESPACE::overRow;

// The 16-bit lanes the edge arithmetic runs in: a step handles as many pixels as it has lanes.
using Words = hn::ScalableTag<std::uint16_t>;
using Bytes = hn::ScalableTag<std::uint8_t>;

// GCC 12 turns a vector multiplication by a constant into two to four shifts and adds, which made
// luma twice as slow as the multiplications. An empty asm that may change the weight, as far as the
// compiler knows, keeps it a multiplication; it costs no instruction.
HWY_INLINE std::uint16_t opaque(std::uint16_t value) {
    __asm__("" : "+r"(value));
    return value;
}

template <class D, class V>
HWY_INLINE V weighted(D d, V b, V g, V r, std::uint16_t wb, std::uint16_t wg, std::uint16_t wr) {
    return hn::Add(hn::Add(hn::Mul(b, hn::Set(d, wb)), hn::Mul(g, hn::Set(d, wg))),
                   hn::Mul(r, hn::Set(d, wr)));
}

// Stores 16-bit lanes that hold byte values as bytes.
template <class D, class V>
HWY_INLINE void storeBytes(D, V v, std::uint8_t* out) {
    const hn::Rebind<std::uint8_t, D> d8;
    hn::StoreU(hn::DemoteTo(d8, hn::BitCast(hn::RebindToSigned<D>(), v)), d8, out);
}

// out[x] = pixel(d16, b, g, r) for the row's pixels, where `pixel` works on the pixels' blue, green
// and red widened to 16-bit lanes and returns byte values there. A step reads a whole vector of each
// colour and takes the pixels in the low and the high byte of each 16-bit lane apart, which needs no
// shuffles across the vector, and puts the results back the same way.
template <class Pixel>
HWY_INLINE void mapPixels(const std::uint8_t* bgr, std::uint8_t* out, int width, const Pixel& pixel) {
    overRow(Bytes(), 0, width, [&](auto d, int x) HWY_ATTR {
        hn::Vec<decltype(d)> b, g, r;
        hn::LoadInterleaved3(d, bgr + 3 * x, b, g, r);
        if constexpr (hn::MaxLanes(d) == 1) {
            const hn::Rebind<std::uint16_t, decltype(d)> dw;
            storeBytes(dw, pixel(dw, hn::PromoteTo(dw, b), hn::PromoteTo(dw, g), hn::PromoteTo(dw, r)),
                       out + x);
        } else {
            const hn::Repartition<std::uint16_t, decltype(d)> dw;
            const auto lowByte = hn::Set(dw, std::uint16_t{0xFF});
            auto low = [&](auto v) HWY_ATTR { return hn::And(hn::BitCast(dw, v), lowByte); };
            auto high = [&](auto v) HWY_ATTR { return hn::ShiftRight<8>(hn::BitCast(dw, v)); };
            const auto lows = pixel(dw, low(b), low(g), low(r));
            const auto highs = pixel(dw, high(b), high(g), high(r));
            hn::StoreU(hn::BitCast(d, hn::Or(lows, hn::ShiftLeft<8>(highs))), d, out + x);
        }
    });
}

// Luma in 16 bits. With the weights written as k/1000 (299, 587, 114), the exact sum is q/1000 - e,
// where e comes from how far each double lies from its decimal: 0.299 and 0.587 lie a little below,
// 0.114 a little above. Scaled by 1000 * 2^56 those distances are 864, 2432 and -296, so e > 0
// exactly when 864 R + 2432 G > 296 B, and e is far below 1/1000. So with q = 299 R + 587 G + 114 B
// and d = [108 R + 304 G > 37 B], the luma is (q - d) / 1000, since the -d only changes where q is a
// multiple of 1000 (there the truncated sum is one less). q is split
// as 8 (37 R + 73 G + 14 B) + (3 R + 3 G + 2 B), so (q - d) / 8 stays below 2^15 without q ever
// being formed, and x / 125 for x < 59074 is (x * 33555) >> 22. The test for d is divided by 4;
// both of its sides stay below 2^15, where a signed comparison is the cheaper one.
void lumaRow(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    const std::uint16_t k37 = opaque(37), k76 = opaque(76), k27 = opaque(27), k3 = opaque(3),
                        k14 = opaque(14), k73 = opaque(73), k33555 = opaque(33555);
    mapPixels(bgr, out, width, [=](auto d, auto b, auto g, auto r) HWY_ATTR {
        const hn::RebindToSigned<decltype(d)> di;
        const auto quarterBlue = hn::ShiftRight<2>(hn::Mul(b, hn::Set(d, k37)));
        const auto greenRed = hn::Add(hn::Mul(g, hn::Set(d, k76)), hn::Mul(r, hn::Set(d, k27)));
        const auto minusD = hn::BitCast(
            d, hn::VecFromMask(di, hn::Gt(hn::BitCast(di, greenRed), hn::BitCast(di, quarterBlue))));
        const auto rest = hn::Add(hn::Mul(hn::Add(r, g), hn::Set(d, k3)), hn::Add(b, b));
        const auto eighths =
            hn::Add(weighted(d, b, g, r, k14, k73, k37), hn::ShiftRight<3>(hn::Add(rest, minusD)));
        return hn::ShiftRight<6>(hn::MulHigh(eighths, hn::Set(d, k33555)));
    });
}

void greyRow(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    const std::uint16_t k28 = opaque(28), k151 = opaque(151), k77 = opaque(77);
    mapPixels(bgr, out, width, [=](auto d, auto b, auto g, auto r) HWY_ATTR {
        return hn::ShiftRight<8>(weighted(d, b, g, r, k28, k151, k77));  // see edges.h
    });
}

void blueRow(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    overRow(Bytes(), 0, width, [&](auto d, int x) HWY_ATTR {
        hn::Vec<decltype(d)> b, g, r;
        hn::LoadInterleaved3(d, bgr + 3 * x, b, g, r);
        hn::StoreU(b, d, out + x);
    });
}

// a + 2 b + c, the Sobel weights across the gradient.
template <class V>
HWY_INLINE V smooth(V a, V b, V c) {
    return hn::Add(hn::Add(a, c), hn::Add(b, b));
}

// The Sobel gradients in signed 16 bits (at most 1020 either way). gv^2 + gh^2 <= T^2 is decided
// without 32-bit lanes: a gradient above T is an edge on its own, and with both at most
// T <= 255 each square fits, and gv^2 > T^2 - gh^2 exactly when the sum is above T^2.
void edgesRow(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
              int threshold, std::uint8_t* out) {
    overRow(Words(), 1, width - 1, [&](auto d, int x) HWY_ATTR {
        const hn::RebindToSigned<decltype(d)> di;
        const hn::Rebind<std::uint8_t, decltype(d)> d8;
        auto at = [&](const std::uint8_t* row, int dx)
                      HWY_ATTR { return hn::BitCast(di, hn::PromoteTo(d, hn::LoadU(d8, row + x + dx))); };
        const auto a0 = at(above, -1), a1 = at(above, 0), a2 = at(above, 1);
        const auto b0 = at(below, -1), b1 = at(below, 0), b2 = at(below, 1);
        const auto h0 = at(here, -1), h2 = at(here, 1);
        const auto gv = hn::Sub(smooth(b0, b1, b2), smooth(a0, a1, a2));
        const auto gh = hn::Sub(smooth(a0, h0, b0), smooth(a2, h2, b2));
        const auto t = hn::Set(d, static_cast<std::uint16_t>(threshold));
        const auto v = hn::BitCast(d, hn::Abs(gv)), h = hn::BitCast(d, hn::Abs(gh));
        const auto vWithin = hn::Min(v, t), hWithin = hn::Min(h, t);
        const auto rest =
            hn::Sub(hn::Set(d, static_cast<std::uint16_t>(threshold * threshold)), hn::Mul(hWithin, hWithin));
        const auto over = hn::Or(hn::Gt(hn::Max(v, h), t), hn::Gt(hn::Mul(vWithin, vWithin), rest));
        storeBytes(d, hn::IfThenZeroElse(over, hn::Set(d, std::uint16_t{255})), out + x);
    });
}

// The median steps at most 32 bytes: with 64, every other load splits a cache line, and AVX-512 took
// longer than AVX2 for the same work.
using MedianBytes = hn::CappedTag<std::uint8_t, 32>;

template <class V>
HWY_INLINE V median3(V a, V b, V c) {
    return hn::Max(hn::Min(a, b), hn::Min(hn::Max(a, b), c));
}

// Columns are sorted a chunk at a time, so that the sorts stay in the first-level cache until the
// medians read them.
constexpr int kChunkCells = 512;

// Columns of three values, each sorted: the smallest, middle and largest value of each.
struct SortedColumns {
    HWY_ALIGN std::uint8_t low[kChunkCells];
    HWY_ALIGN std::uint8_t middle[kChunkCells];
    HWY_ALIGN std::uint8_t high[kChunkCells];
};

// Sorts `count` columns of rows 0 to 2 into `upper` and of rows 1 to 3 into `lower`, from the cells
// that each of the four rows has there: the two rows both windows hold are compared once.
HWY_INLINE void sortColumns(const std::uint8_t* const (&cells)[4], int count, SortedColumns& upper,
                            SortedColumns& lower) {
    overRow(MedianBytes(), 0, count, [&](auto d, int k) HWY_ATTR {
        auto at = [&](int row) HWY_ATTR { return hn::LoadU(d, cells[row] + k); };
        const auto b = at(1), c = at(2);
        const auto smaller = hn::Min(b, c), larger = hn::Max(b, c);
        auto sortWith = [&](const auto third, SortedColumns& into) HWY_ATTR {
            hn::StoreU(hn::Min(smaller, third), d, into.low + k);
            hn::StoreU(hn::Max(smaller, hn::Min(larger, third)), d, into.middle + k);
            hn::StoreU(hn::Max(larger, third), d, into.high + k);
        };
        sortWith(at(0), upper);
        sortWith(at(3), lower);
    });
}

// The sorted columns of one row of windows, even and odd columns apart: evens k is column 2k, odds k
// column 2k - 1.
struct SortedSplit {
    SortedColumns evens, odds;
};

// Once the columns of a window are sorted, its median is med3(largest of the smallest, middle of
// the middles, smallest of the largest). The windows of columns 2i and 2i + 1 share columns 2i and
// 2i + 1, which are compared once for both; the first adds column 2i - 1, the second 2i + 2.
HWY_INLINE void mediansOfSorted(const SortedSplit& sorted, int count, std::uint8_t* evens,
                                std::uint8_t* odds) {
    overRow(MedianBytes(), 0, count, [&](auto d, int i) HWY_ATTR {
        auto at = [&](const std::uint8_t* values, int k) HWY_ATTR { return hn::LoadU(d, values + i + k); };
        const SortedColumns &even = sorted.evens, &odd = sorted.odds;
        const auto lows = hn::Max(at(even.low, 0), at(odd.low, 1));
        const auto highs = hn::Min(at(even.high, 0), at(odd.high, 1));
        const auto m1 = at(even.middle, 0), m2 = at(odd.middle, 1);
        const auto lowerMiddle = hn::Min(m1, m2), upperMiddle = hn::Max(m1, m2);
        auto withColumn = [&](const SortedColumns& third, int k) HWY_ATTR {
            return median3(hn::Max(lows, at(third.low, k)),
                           hn::Max(lowerMiddle, hn::Min(upperMiddle, at(third.middle, k))),
                           hn::Min(highs, at(third.high, k)));
        };
        hn::StoreU(withColumn(odd, 0), d, evens + i);
        hn::StoreU(withColumn(even, 1), d, odds + i);
    });
}

void medianPairRow(const SplitRow* rows, int width, const SplitRow& top, const SplitRow& bottom) {
    const int evens = (width + 1) / 2;
    SortedSplit upper, lower;
    for (int start = 0; start < evens; start += kChunkCells - 1) {
        const int count = std::min(evens - start, kChunkCells - 1);
        sortColumns(
            {rows[0].evens + start, rows[1].evens + start, rows[2].evens + start, rows[3].evens + start},
            count + 1, upper.evens, lower.evens);
        sortColumns({rows[0].odds + start - 1, rows[1].odds + start - 1, rows[2].odds + start - 1,
                     rows[3].odds + start - 1},
                    count + 1, upper.odds, lower.odds);
        mediansOfSorted(upper, count, top.evens + start, top.odds + start);
        mediansOfSorted(lower, count, bottom.evens + start, bottom.odds + start);
    }
    // With an odd width the last even column's step also made the odd one after it, the border: its
    // window holds six zero cells of nine, so its median is the border's 0.
}

void splitRow(const std::uint8_t* row, int width, const SplitRow& into) {
    overRow(MedianBytes(), 0, width / 2, [&](auto d, int i) HWY_ATTR {
        hn::Vec<decltype(d)> even, odd;
        hn::LoadInterleaved2(d, row + 2 * i, even, odd);
        hn::StoreU(even, d, into.evens + i);
        hn::StoreU(odd, d, into.odds + i);
    });
    if (width % 2 == 1) into.evens[width / 2] = row[width - 1];
}

void joinRow(const SplitRow& from, int width, std::uint8_t* row) {
    overRow(MedianBytes(), 0, width / 2, [&](auto d, int i) HWY_ATTR {
        hn::StoreInterleaved2(hn::LoadU(d, from.evens + i), hn::LoadU(d, from.odds + i), d, row + 2 * i);
    });
    if (width % 2 == 1) row[width - 1] = from.evens[width / 2];
}

}  // namespace imaging::rows::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace imaging::rows {

WritableRows freshRows(platform::TBitmap& into, int width, int height, platform::TPixelFormat format) {
    into.SetSize(width, height, format);
    if (into.Empty()) return WritableRows{};
    return WritableRows{into.GetScanline(0), into.Stride(), width, height};
}

HWY_EXPORT(lumaRow);
HWY_EXPORT(greyRow);
HWY_EXPORT(blueRow);
HWY_EXPORT(edgesRow);
HWY_EXPORT(medianPairRow);
HWY_EXPORT(splitRow);
HWY_EXPORT(joinRow);

void luma(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    HWY_DYNAMIC_DISPATCH(lumaRow)(bgr, out, width);
}
void grey(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    HWY_DYNAMIC_DISPATCH(greyRow)(bgr, out, width);
}
void blue(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    HWY_DYNAMIC_DISPATCH(blueRow)(bgr, out, width);
}
void edges(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
           int threshold, std::uint8_t* out) {
    HWY_DYNAMIC_DISPATCH(edgesRow)(above, here, below, width, threshold, out);
}
void medianPair(const SplitRow (&rows)[4], int width, const SplitRow& top, const SplitRow& bottom) {
    HWY_DYNAMIC_DISPATCH(medianPairRow)(rows, width, top, bottom);
}
void splitColumns(const std::uint8_t* row, int width, const SplitRow& into) {
    HWY_DYNAMIC_DISPATCH(splitRow)(row, width, into);
}
void joinColumns(const SplitRow& from, int width, std::uint8_t* row) {
    HWY_DYNAMIC_DISPATCH(joinRow)(from, width, row);
}

}  // namespace imaging::rows
#endif
