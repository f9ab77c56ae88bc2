#include "imaging/row_kernels.h"

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "imaging/edges.h"
#include "imaging/luma.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define EDGEPIPE_X86 1
#endif

namespace imaging::rows {

WritableRows freshRows(platform::TBitmap& into, int width, int height, platform::TPixelFormat format) {
    into.SetSize(width, height, format);
    if (into.Empty()) return WritableRows{};
    return WritableRows{into.GetScanline(0), into.Stride(), width, height};
}

namespace {

// ---- Portable build ---------------------------------------------------------------------------

inline std::uint8_t median3(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Median of nine as the median of three column summaries: once each column of three is sorted,
// the median is med3(largest of the smallest, middle of the middles, smallest of the largest).
inline std::uint8_t medianAt(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                             int x) {
    std::uint8_t low[3], middle[3], high[3];
    for (int c = 0; c < 3; ++c) {
        const std::uint8_t a = above[x + c], b = here[x + c], d = below[x + c];
        low[c] = std::min(std::min(a, b), d);
        high[c] = std::max(std::max(a, b), d);
        middle[c] = median3(a, b, d);
    }
    return median3(std::max(std::max(low[0], low[1]), low[2]), median3(middle[0], middle[1], middle[2]),
                   std::min(std::min(high[0], high[1]), high[2]));
}

inline std::uint8_t edgeAt(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                           int x, int threshold) {
    const int gv =
        (below[x - 1] + 2 * below[x] + below[x + 1]) - (above[x - 1] + 2 * above[x] + above[x + 1]);
    const int gh =
        (above[x - 1] + 2 * here[x - 1] + below[x - 1]) - (above[x + 1] + 2 * here[x + 1] + below[x + 1]);
    return withinThreshold(gv, gh, threshold) ? kNoEdge : kEdge;
}

void lumaPortable(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x, bgr += 3) out[x] = lumaOf(bgr[2], bgr[1], bgr[0]);
}
void greyPortable(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x, bgr += 3) out[x] = greyOf(bgr[0], bgr[1], bgr[2]);
}
void bluePortable(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x) out[x] = bgr[3 * x];
}
void edgesPortable(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
                   int threshold, std::uint8_t* out) {
    for (int x = 1; x < width - 1; ++x) out[x] = edgeAt(above, here, below, x, threshold);
}
void medianPortable(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
                    std::uint8_t* out) {
    for (int x = 0; x < width; ++x) out[x] = medianAt(above, here, below, x);
}

// ---- AVX2 build -------------------------------------------------------------------------------
#ifdef EDGEPIPE_X86
#define AVX2 __attribute__((target("avx2")))

// Eight 24-bit pixels from p, four in each 128-bit lane at bytes 0 to 11 (reads 28 bytes).
AVX2 inline __m256i loadPixels8(const std::uint8_t* p) {
    const __m128i first4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(first4), next4, 1);
}

// Runs Step over a row 32 pixels at a time. A step reads 100 bytes from its first pixel, 34
// pixels' worth, so the last one is moved back to end two pixels short of the row, overlapping
// the one before it (where it writes the same values again). The last two pixels, and rows too
// short for a step, go the portable way.
template <void (*Step)(const std::uint8_t* bgr, std::uint8_t* out)>
AVX2 inline void pixelSteps32(const std::uint8_t* bgr, std::uint8_t* out, int width,
                              void (*portable)(const std::uint8_t*, std::uint8_t*, int)) {
    constexpr int kReach = 34;
    int x = 0;
    for (; x + kReach <= width; x += 32) Step(bgr + 3 * x, out + x);
    if (width - x > 2 && width >= kReach) {
        x = width - kReach;
        Step(bgr + 3 * x, out + x);
        x += 32;
    }
    portable(bgr + 3 * x, out + x, width - x);
}

// From loadPixels8: each pixel's blue and green as a pair of 16-bit words, and its red beside a 0.
AVX2 inline __m256i blueGreenWords(__m256i px) {
    const __m128i pick = _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
    return _mm256_shuffle_epi8(px, _mm256_broadcastsi128_si256(pick));
}
AVX2 inline __m256i redWords(__m256i px) {
    const __m128i pick = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    return _mm256_shuffle_epi8(px, _mm256_broadcastsi128_si256(pick));
}

// 8 pixels' weighted sums wb B + wg G + wr R as 32-bit values.
AVX2 inline __m256i weighted(__m256i blueGreen, __m256i red, short wb, short wg, short wr) {
    return _mm256_add_epi32(_mm256_madd_epi16(blueGreen, _mm256_setr_epi16(wb, wg, wb, wg, wb, wg, wb, wg, wb,
                                                                           wg, wb, wg, wb, wg, wb, wg)),
                            _mm256_madd_epi16(red, _mm256_set1_epi32(wr)));
}

// Four groups of eight 16-bit-range values (from pixels 0-7, 8-15, 16-23, 24-31) packed to words in
// the lane order that packBytes undoes.
AVX2 inline __m256i packWords(__m256i a, __m256i b) { return _mm256_packs_epi32(a, b); }
AVX2 inline void storeBytes(std::uint8_t* out, __m256i words01, __m256i words23) {
    const __m256i bytes = _mm256_packus_epi16(words01, words23);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
}

// Luma: with q = 299 R + 587 G + 114 B and d = [108 R + 304 G > 37 B], lumaOf is (q - d) / 1000:
// where q is a multiple of 1000 the -d steps one below it, elsewhere it changes nothing. Dividing
// by 8 first keeps the value under 2^15, and x / 125 for x < 59074 is (x * 33555) >> 22.
AVX2 inline __m256i lumaTimes8(const std::uint8_t* p) {
    const __m256i px = loadPixels8(p);
    const __m256i bg = blueGreenWords(px), r = redWords(px);
    const __m256i q = weighted(bg, r, 114, 587, 299);
    const __m256i below = _mm256_cmpgt_epi32(weighted(bg, r, -37, 304, 108), _mm256_setzero_si256());
    return _mm256_srli_epi32(_mm256_add_epi32(q, below), 3);
}
AVX2 inline __m256i divide125(__m256i words) {
    return _mm256_srli_epi16(_mm256_mulhi_epu16(words, _mm256_set1_epi16(static_cast<short>(33555))), 6);
}

AVX2 void luma32(const std::uint8_t* p, std::uint8_t* out) {
    const __m256i w01 = divide125(packWords(lumaTimes8(p), lumaTimes8(p + 24)));
    const __m256i w23 = divide125(packWords(lumaTimes8(p + 48), lumaTimes8(p + 72)));
    storeBytes(out, w01, w23);
}
AVX2 void lumaAvx2(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    pixelSteps32<luma32>(bgr, out, width, lumaPortable);
}

AVX2 inline __m256i greyOf8(const std::uint8_t* p) {
    const __m256i px = loadPixels8(p);
    return _mm256_srli_epi32(weighted(blueGreenWords(px), redWords(px), 28, 151, 77), 8);
}

AVX2 void grey32(const std::uint8_t* p, std::uint8_t* out) {
    storeBytes(out, packWords(greyOf8(p), greyOf8(p + 24)), packWords(greyOf8(p + 48), greyOf8(p + 72)));
}
AVX2 void greyAvx2(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    pixelSteps32<grey32>(bgr, out, width, greyPortable);
}

AVX2 void blueAvx2(const std::uint8_t* bgr, std::uint8_t* out, int width) {
    const __m128i from0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i from1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i from2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i* p = reinterpret_cast<const __m128i*>(bgr + 3 * x);
        const __m128i b = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(_mm_loadu_si128(p), from0),
                                                    _mm_shuffle_epi8(_mm_loadu_si128(p + 1), from1)),
                                       _mm_shuffle_epi8(_mm_loadu_si128(p + 2), from2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), b);
    }
    bluePortable(bgr + 3 * x, out + x, width - x);
}

// Widening with stores that bypass the cache: for results too large to stay in it anyway, this
// saves reading each line of the destination before it is overwritten. Sixteen grey values make
// 48 bytes a step; the stores need 16-byte alignment, so the pixels before the first aligned one
// go the ordinary way.
AVX2 void greyToBgrStreamingAvx2(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    const __m128i to0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i to1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i to2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    int x = 0;
    while (x < width && reinterpret_cast<std::uintptr_t>(bgr + 3 * x) % 16 != 0) ++x;
    platform::widenGreyRow(grey, bgr, x);
    for (; x + 16 <= width; x += 16) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey + x));
        __m128i* p = reinterpret_cast<__m128i*>(bgr + 3 * x);
        _mm_stream_si128(p, _mm_shuffle_epi8(g, to0));
        _mm_stream_si128(p + 1, _mm_shuffle_epi8(g, to1));
        _mm_stream_si128(p + 2, _mm_shuffle_epi8(g, to2));
    }
    platform::widenGreyRow(grey + x, bgr + 3 * x, width - x);
}

AVX2 void fenceAvx2() { _mm_sfence(); }

AVX2 inline __m256i words16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

AVX2 void edgesAvx2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
                    int threshold, std::uint8_t* out) {
    const __m256i limit = _mm256_set1_epi32(threshold * threshold);
    const __m128i ones = _mm_set1_epi8(-1);
    int x = 1;
    // A step covers x to x + 15 and reads up to x + 16, which must be at most width - 1.
    for (; x + 17 <= width; x += 16) {
        const __m256i a0 = words16(above + x - 1), a1 = words16(above + x), a2 = words16(above + x + 1);
        const __m256i b0 = words16(below + x - 1), b1 = words16(below + x), b2 = words16(below + x + 1);
        const __m256i h0 = words16(here + x - 1), h2 = words16(here + x + 1);
        const __m256i aSum = _mm256_add_epi16(_mm256_add_epi16(a0, a2), _mm256_add_epi16(a1, a1));
        const __m256i bSum = _mm256_add_epi16(_mm256_add_epi16(b0, b2), _mm256_add_epi16(b1, b1));
        const __m256i left = _mm256_add_epi16(_mm256_add_epi16(a0, b0), _mm256_add_epi16(h0, h0));
        const __m256i right = _mm256_add_epi16(_mm256_add_epi16(a2, b2), _mm256_add_epi16(h2, h2));
        const __m256i gv = _mm256_sub_epi16(bSum, aSum), gh = _mm256_sub_epi16(left, right);
        // gv^2 + gh^2 for each pixel from the pair (gv, gh), then compared with T^2.
        const __m256i lo = _mm256_unpacklo_epi16(gv, gh), hi = _mm256_unpackhi_epi16(gv, gh);
        const __m256i over = _mm256_packs_epi32(_mm256_cmpgt_epi32(_mm256_madd_epi16(lo, lo), limit),
                                                _mm256_cmpgt_epi32(_mm256_madd_epi16(hi, hi), limit));
        const __m128i overBytes =
            _mm_packs_epi16(_mm256_castsi256_si128(over), _mm256_extracti128_si256(over, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_xor_si128(overBytes, ones));
    }
    for (; x < width - 1; ++x) out[x] = edgeAt(above, here, below, x, threshold);
}

AVX2 inline __m256i load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

AVX2 inline __m256i median3v(__m256i a, __m256i b, __m256i c) {
    return _mm256_max_epu8(_mm256_min_epu8(a, b), _mm256_min_epu8(_mm256_max_epu8(a, b), c));
}

// Median of 32 neighbouring windows whose left columns start at x.
AVX2 inline __m256i median32(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                             int x) {
    __m256i low[3], middle[3], high[3];
    for (int c = 0; c < 3; ++c) {
        const __m256i a = load32(above + x + c), b = load32(here + x + c), d = load32(below + x + c);
        const __m256i ab = _mm256_min_epu8(a, b), abMax = _mm256_max_epu8(a, b);
        low[c] = _mm256_min_epu8(ab, d);
        high[c] = _mm256_max_epu8(abMax, d);
        middle[c] = _mm256_max_epu8(ab, _mm256_min_epu8(abMax, d));
    }
    return median3v(_mm256_max_epu8(_mm256_max_epu8(low[0], low[1]), low[2]),
                    median3v(middle[0], middle[1], middle[2]),
                    _mm256_min_epu8(_mm256_min_epu8(high[0], high[1]), high[2]));
}

AVX2 void medianAvx2(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below,
                     int width, std::uint8_t* out) {
    if (width < 32) {
        medianPortable(above, here, below, width, out);
        return;
    }
    int x = 0;
    for (; x + 32 <= width; x += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), median32(above, here, below, x));
    // The last step overlaps the one before it; it writes the same values there again.
    if (x < width)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + width - 32),
                            median32(above, here, below, width - 32));
}

bool cpuHasAvx2() {
    __builtin_cpu_init();  // this may run from a static initialiser, before the library's own
    return __builtin_cpu_supports("avx2");
}
#else
bool cpuHasAvx2() { return false; }
#endif

// ---- Selection --------------------------------------------------------------------------------

struct Kernels {
    void (*luma)(const std::uint8_t*, std::uint8_t*, int);
    void (*grey)(const std::uint8_t*, std::uint8_t*, int);
    void (*blue)(const std::uint8_t*, std::uint8_t*, int);
    void (*greyToBgrStreaming)(const std::uint8_t*, std::uint8_t*, int);
    void (*finishStreaming)();
    void (*edges)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int, int, std::uint8_t*);
    void (*median)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int, std::uint8_t*);
};

void nothingToFinish() {}

constexpr Kernels kPortable{lumaPortable,    greyPortable,  bluePortable,  platform::widenGreyRow,
                            nothingToFinish, edgesPortable, medianPortable};
#ifdef EDGEPIPE_X86
constexpr Kernels kAvx2{lumaAvx2,  greyAvx2,  blueAvx2,  greyToBgrStreamingAvx2,
                        fenceAvx2, edgesAvx2, medianAvx2};
const Kernels* chosenFor(bool wide) { return wide && cpuHasAvx2() ? &kAvx2 : &kPortable; }
#else
const Kernels* chosenFor(bool) { return &kPortable; }
#endif

std::atomic<const Kernels*> current{chosenFor(true)};

const Kernels& k() { return *current.load(std::memory_order_relaxed); }

}  // namespace

void luma(const std::uint8_t* bgr, std::uint8_t* out, int width) { k().luma(bgr, out, width); }
void grey(const std::uint8_t* bgr, std::uint8_t* out, int width) { k().grey(bgr, out, width); }
void blue(const std::uint8_t* bgr, std::uint8_t* out, int width) { k().blue(bgr, out, width); }
void greyToBgrStreaming(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    k().greyToBgrStreaming(grey, bgr, width);
}
void finishStreaming() { k().finishStreaming(); }
void edges(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
           int threshold, std::uint8_t* out) {
    k().edges(above, here, below, width, threshold, out);
}
void median(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
            std::uint8_t* out) {
    k().median(above, here, below, width, out);
}

bool wideVectorsAvailable() { return chosenFor(true) != &kPortable; }

const char* vectorBuildName() { return &k() == &kPortable ? "portable" : "AVX2"; }

bool useWideVectors(bool on) { return current.exchange(chosenFor(on)) != &kPortable; }

}  // namespace imaging::rows
