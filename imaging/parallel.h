#pragma once
// Splits the rows of one kernel between the calling thread and one helper thread that lives for
// the whole run. The call returns only when both halves are done, so callers stay synchronous;
// small jobs run on the calling thread alone, where waking the helper would cost more than it saves.
#include <cstddef>
#include <utility>

namespace imaging {

// Below this many bytes of work a job is not split.
inline constexpr std::size_t kSplitBytes = 256 * 1024;

using RowJob = void (*)(void* context, int begin, int end);

// Runs job(context, 0, split) here and job(context, split, rows) on the helper, or the whole
// range here when `bytes` is below kSplitBytes or the helper is switched off.
void runRowsSplit(int rows, std::size_t bytes, RowJob job, void* context);

// Switches the helper off or on (benchmarks compare one thread with two); returns the old setting.
bool useHelperThread(bool on);

// Calls work(begin, end) over disjoint row ranges that together cover [0, rows).
template <class Work>
void forRowsSplit(int rows, std::size_t bytes, Work&& work) {
    runRowsSplit(
        rows, bytes, [](void* context, int begin, int end) { (*static_cast<Work*>(context))(begin, end); },
        const_cast<void*>(static_cast<const void*>(&work)));
}

}  // namespace imaging
