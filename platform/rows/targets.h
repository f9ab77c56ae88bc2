#pragma once
// The instruction sets the Highway code in this program is compiled for (the kernels in imaging/
// and the widening here), and the choice among them. Every source written with Highway is compiled
// for all Highway knows on this processor family (on x86-64: none, SSSE3, SSE4, AVX2 and AVX-512;
// the build defines HWY_COMPILE_ALL_ATTAINABLE), the portable one included even where the baseline
// has vectors (ARM64), so that tests and benchmarks can compare them. All give the same bytes.
#include <cstdint>
#include <vector>

namespace platform::rows {

// Highway's target bits (HWY_AVX2, HWY_NEON, HWY_SCALAR, ...).
using Target = std::int64_t;
// Every target compiled, best first, the portable one last.
std::vector<Target> compiledTargets();
// Whether this processor can run code for `target`.
bool targetSupported(Target target);
// Makes all Highway code run `target`'s code from now on (it must be supported); returns the
// target in use before.
Target selectTarget(Target target);
// The target in use: the best supported one unless selectTarget chose another.
Target currentTarget();
// A target's name as Highway gives it ("AVX2", "AVX3" for AVX-512, "SCALAR" for the portable one).
const char* targetName(Target target = currentTarget());

}  // namespace platform::rows
