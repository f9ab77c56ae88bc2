// The target in use is asked of Highway's dispatch itself, through a function compiled for every
// target that names the one it was compiled for: what the kernels run, not what was asked for.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/rows/targets.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
#include <hwy/targets.h>

#include "platform/rows/targets.h"

HWY_BEFORE_NAMESPACE();
namespace platform::rows::HWY_NAMESPACE {

Target compiledFor() { return HWY_TARGET; }

}  // namespace platform::rows::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace platform::rows {

HWY_EXPORT(compiledFor);

std::vector<Target> compiledTargets() {
    std::vector<Target> all;
    for (Target left = HWY_TARGETS; left != 0; left &= left - 1) all.push_back(left & -left);
    return all;
}

bool targetSupported(Target target) { return (hwy::SupportedTargets() & target) != 0; }

Target currentTarget() { return HWY_DYNAMIC_DISPATCH(compiledFor)(); }

Target selectTarget(Target target) {
    const Target before = currentTarget();
    hwy::GetChosenTarget().Update(target);
    return before;
}

const char* targetName(Target target) { return hwy::TargetName(target); }

}  // namespace platform::rows
#endif  // HWY_ONCE
