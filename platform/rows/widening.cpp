// The grey-to-24-bit widening, written once with Highway for every instruction set it is compiled
// for; the processor's best one is chosen at the first call.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/rows/widening.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <algorithm>
#include <cstring>

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "platform/rows/steps-inl.h"
#include "platform/rows/widening.h"

HWY_BEFORE_NAMESPACE();
namespace platform::rows::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Each grey value three times: blue, green and red.
template <class D>
HWY_INLINE void widenStep(D d, const std::uint8_t* grey, std::uint8_t* bgr) {
    const auto g = hn::LoadU(d, grey);
    hn::StoreInterleaved3(g, g, g, d, bgr);
}

void widenRow(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    overRow(hn::ScalableTag<std::uint8_t>(), 0, width,
            [&](auto d, int x) HWY_ATTR { widenStep(d, grey + x, bgr + 3 * x); });
}

// The streaming stores need whole vectors on vector boundaries, and cover whole cache lines: a line
// that ordinary stores also write is read and written back in the middle of the streaming. A step
// writes `parts` vectors into a buffer, step(d, x, buffer), and streams them from there. The pixels
// before the first line boundary and after the last whole line go the ordinary way, rest(begin, end).
template <int parts, class Step, class Rest>
HWY_INLINE void streamRow(std::uint8_t* out, int width, const Step& step, const Rest& rest) {
    constexpr int kLineBytes = 64;
    const hn::ScalableTag<std::uint8_t> d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    const int block = std::max(lanes, kLineBytes);  // pixels whose `parts` bytes fill whole lines
    int begin = 0;
    while (begin < width && reinterpret_cast<std::uintptr_t>(out + parts * begin) % kLineBytes != 0) ++begin;
    const int end = begin + (width - begin) / block * block;
    rest(0, begin);
    HWY_ALIGN std::uint8_t buffer[parts * HWY_MAX_BYTES];
    for (int x = begin; x < end; x += lanes) {
        step(d, x, buffer);
        for (int part = 0; part < parts; ++part)
            hn::Stream(hn::Load(d, buffer + part * lanes), d, out + parts * x + part * lanes);
    }
    rest(end, width);
}

void widenRowStreaming(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    streamRow<3>(
        bgr, width, [&](auto d, int x, std::uint8_t* wide) HWY_ATTR { widenStep(d, grey + x, wide); },
        [&](int begin, int end) { widenRow(grey + begin, bgr + 3 * begin, end - begin); });
}

void copyRowStreaming(const std::uint8_t* from, std::uint8_t* to, int width) {
    streamRow<1>(
        to, width,
        [&](auto d, int x, std::uint8_t* copy) HWY_ATTR { hn::Store(hn::LoadU(d, from + x), d, copy); },
        [&](int begin, int end) {
            std::memcpy(to + begin, from + begin, static_cast<std::size_t>(end - begin));
        });
}

}  // namespace platform::rows::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace platform::rows {

HWY_EXPORT(widenRow);
HWY_EXPORT(widenRowStreaming);
HWY_EXPORT(copyRowStreaming);

void widenGreyRow(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    HWY_DYNAMIC_DISPATCH(widenRow)(grey, bgr, width);
}
void widenGreyRowStreaming(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    HWY_DYNAMIC_DISPATCH(widenRowStreaming)(grey, bgr, width);
}
void copyRowStreaming(const std::uint8_t* from, std::uint8_t* to, int width) {
    HWY_DYNAMIC_DISPATCH(copyRowStreaming)(from, to, width);
}
void finishStreaming() { hwy::FlushStream(); }

}  // namespace platform::rows
#endif
