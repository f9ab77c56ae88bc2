#pragma once
// Shares the rows of one kernel between the calling thread and one helper thread that lives for
// the whole run. The rows go out in shrinking chunks that either thread takes as it gets to them, so
// a helper that wakes late, or is held up by other work on the machine, only takes fewer chunks: the
// job is never slower than on one thread by more than the chunk the helper is finishing. The call returns
// when every chunk is done, so callers stay synchronous. Small jobs run on the calling thread
// alone, where waking the helper costs more than it saves, and so do jobs whose rows a thread
// writes out as they come, which needs the other core.
#include <cstddef>
#include <utility>

#include "platform/rows_made.h"

namespace imaging {

// The smallest job, in bytes of the picture it reads, that a kernel hands to two threads. Measured
// per kernel on an otherwise quiet 2-core machine with `./bench.sh` (its split-size table): below
// these, two threads did not take less time than one.
// Chunks are never smaller than `fewestRows` (but for the last rows of a job).
struct SplitSize {
    std::size_t bytes;
    int fewestRows;
};
inline constexpr SplitSize kLumaSplit{320u << 10, 8};
inline constexpr SplitSize kMedianSplit{32u << 10, 32};  // one byte a pixel; a band redoes 20 rows of passes
inline constexpr SplitSize kEdgesSplit{256u << 10, 8};
inline constexpr SplitSize kSplitAlways{0, 8};

using RowJob = void (*)(void* context, int begin, int end);

// Runs job(context, begin, end) over chunks of rows that together cover [0, rows), on this thread
// and the helper, or the whole range here when `bytes` is below `from` or the helper is off. When a
// chunk throws, on either thread, no further chunk starts, and once both threads are done with the
// job the first failure is thrown here. Only the thread that first split a job may split more:
// another one gets std::logic_error, a programming error reported as any failure is.
//
// With `made`, the job runs on the calling thread alone, leaving the other core to a thread that
// writes the rows out as they come: they are worked from the last one up, in a few bands, and
// `made` hears how many rows from the bottom are done after each band.
void runRowsSplit(int rows, std::size_t bytes, SplitSize from, RowJob job, void* context,
                  platform::RowsMade* made = nullptr);

// Switches the helper off or on (benchmarks compare one thread with two); returns the old setting.
bool useHelperThread(bool on);

// Makes every job split, whatever its size, while on (the benchmarks measure the split sizes with
// it); returns the old setting.
bool splitEveryJob(bool on);

// Calls work(begin, end) over disjoint row ranges that together cover [0, rows).
template <class Work>
void forRowsSplit(int rows, std::size_t bytes, SplitSize from, Work&& work,
                  platform::RowsMade* made = nullptr) {
    runRowsSplit(
        rows, bytes, from,
        [](void* context, int begin, int end) { (*static_cast<Work*>(context))(begin, end); },
        const_cast<void*>(static_cast<const void*>(&work)), made);
}

}  // namespace imaging
