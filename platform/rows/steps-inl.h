// How the row kernels written with Highway walk a row: included by each kernel source after
// hwy/highway.h, once for every instruction set it is compiled for.
#if defined(EDGEPIPE_PLATFORM_ROWS_STEPS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef EDGEPIPE_PLATFORM_ROWS_STEPS_INL_H_
#undef EDGEPIPE_PLATFORM_ROWS_STEPS_INL_H_
#else
#define EDGEPIPE_PLATFORM_ROWS_STEPS_INL_H_
#endif

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace platform::rows::HWY_NAMESPACE {

// Calls step(d, x) over [begin, end), a whole vector of d's lanes at a time. The last step ends at
// `end`, overlapping the one before it (where it writes the same values again), so no step reads
// or writes beyond the row; a range shorter than one vector goes one lane at a time.
template <class D, class Step>
HWY_INLINE void overRow(D d, int begin, int end, const Step& step) {
    namespace hn = hwy::HWY_NAMESPACE;
    const int lanes = static_cast<int>(hn::Lanes(d));
    if (end - begin < lanes) {
        for (int x = begin; x < end; ++x) step(hn::CappedTag<hn::TFromD<D>, 1>(), x);
        return;
    }
    for (int x = begin; x + lanes < end; x += lanes) step(d, x);
    step(d, end - lanes);
}

}  // namespace platform::rows::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif
