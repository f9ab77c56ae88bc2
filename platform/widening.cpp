// The grey-to-24-bit widening, written once with Highway for every instruction set it is compiled
// for; the processor's best one is chosen at the first call.
// Every instruction set Highway knows for this processor family, the portable one included even
// where the baseline has vectors (ARM64), so that tests and benchmarks can run it.
#define HWY_COMPILE_ALL_ATTAINABLE
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/widening.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "platform/graphics.h"
#include "platform/row_steps-inl.h"
#include "platform/widening.h"

HWY_BEFORE_NAMESPACE();
namespace platform::HWY_NAMESPACE {
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

// The streaming stores need whole vectors on vector boundaries: a step widens into a buffer and
// streams its three vectors from there. The pixels before the first boundary and after the last
// whole step go the ordinary way.
void widenRowStreaming(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    const hn::ScalableTag<std::uint8_t> d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    int x = 0;
    while (x < width && reinterpret_cast<std::uintptr_t>(bgr + 3 * x) % lanes != 0) ++x;
    widenRow(grey, bgr, x);
    HWY_ALIGN std::uint8_t wide[3 * HWY_MAX_BYTES];
    for (; x + lanes <= width; x += lanes) {
        widenStep(d, grey + x, wide);
        for (int part = 0; part < 3; ++part)
            hn::Stream(hn::Load(d, wide + part * lanes), d, bgr + 3 * x + part * lanes);
    }
    widenRow(grey + x, bgr + 3 * x, width - x);
}

}  // namespace platform::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace platform {

HWY_EXPORT(widenRow);
HWY_EXPORT(widenRowStreaming);

void widenGreyRow(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    HWY_DYNAMIC_DISPATCH(widenRow)(grey, bgr, width);
}
void widenGreyRowStreaming(const std::uint8_t* grey, std::uint8_t* bgr, int width) {
    HWY_DYNAMIC_DISPATCH(widenRowStreaming)(grey, bgr, width);
}
void finishStreaming() { hwy::FlushStream(); }

}  // namespace platform
#endif
