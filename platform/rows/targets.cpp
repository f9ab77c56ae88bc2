#include "platform/rows/targets.h"

#include <atomic>

#include <hwy/highway.h>
#include <hwy/targets.h>

namespace platform::rows {

namespace {
// Highway's dispatch keeps its choice to itself; this is the one selectTarget made, or 0 for
// Highway's own (the best supported target).
std::atomic<Target> selected{0};
}  // namespace

std::vector<Target> compiledTargets() {
    std::vector<Target> all;
    for (Target left = HWY_TARGETS; left != 0; left &= left - 1) all.push_back(left & -left);
    return all;
}

bool targetSupported(Target target) { return (hwy::SupportedTargets() & target) != 0; }

Target currentTarget() {
    if (const Target chosen = selected.load()) return chosen;
    for (const Target target : compiledTargets())
        if (targetSupported(target)) return target;
    return HWY_STATIC_TARGET;
}

Target selectTarget(Target target) {
    const Target before = currentTarget();
    hwy::GetChosenTarget().Update(target);
    selected.store(target);
    return before;
}

const char* targetName(Target target) { return hwy::TargetName(target); }

}  // namespace platform::rows
