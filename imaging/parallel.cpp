#include "imaging/parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace imaging {
namespace {

// A chunk is a quarter of the rows not yet handed out, so chunks shrink towards the end of a job:
// whichever thread runs out first waits at most for a small last chunk of the other, even when that
// thread was held up by other work on the machine. The job's fewest rows per chunk keep the rows a
// chunk works out again at its edges (the median's band overlap) a small share.
constexpr int kShareOfRemaining = 4;

// True while this thread runs a chunk of a job. A job that splits a job of its own runs that one
// whole, on this thread: the one word of rows belongs to the outer job until it ends.
thread_local bool inChunk = false;

class InChunk {
public:
    InChunk() { inChunk = true; }
    ~InChunk() { inChunk = false; }
    InChunk(const InChunk&) = delete;
    InChunk& operator=(const InChunk&) = delete;
};

// Returns once `word` no longer holds `value`. The other thread often changes it within
// microseconds (a job that follows another at once, a helper finishing its last chunk), sooner
// than a sleep on the futex and the wake-up would take: look for a while before sleeping.
template <class T>
void awaitChange(const std::atomic<T>& word, T value) {
    for (int spin = 0; word.load() == value; ++spin) {
        if (spin < 512) {
#if defined(__x86_64__) || defined(__i386__)
            _mm_pause();
#endif
        } else {
            word.wait(value);
        }
    }
}

// One helper that sleeps on a futex-backed atomic between jobs. Only the thread that made the helper
// hands out jobs, one at a time; `run` checks that, since two callers would share one word of rows.
//
// The rows still to hand out are one 64-bit word, the next row in the low half and the job's rows
// in the high half, so that a chunk is taken with one compare-and-swap and a helper that arrives
// after the last chunk went out sees that from the same word. The caller returns only once the
// helper is out of `busy_`; the helper raises `busy_` before it looks at the word, so it can never
// take a chunk of a job whose caller has already returned. The job and its context are read only
// after taking a chunk, while the caller is still waiting, so they need no more protection than
// the word's order.
//
// A chunk that throws, on either thread, empties the word, so that no further chunk goes out; the
// caller still waits for the helper to leave the job before it rethrows the first failure.
class Helper {
public:
    Helper() : owner_(std::this_thread::get_id()) {
        std::thread([this] { serve(); }).detach();
    }

    void run(RowJob job, void* context, int rows, int fewestRows) {
        if (std::this_thread::get_id() != owner_)
            throw std::logic_error(
                "row jobs handed out from a thread other than the one that made the helper");
        job_ = job;
        context_ = context;
        fewestRows_.store(fewestRows, std::memory_order_relaxed);
        rows_.store(static_cast<std::uint64_t>(rows) << 32);  // next row 0
        posted_.fetch_add(1);
        posted_.notify_one();
        workCatching();
        awaitChange(busy_, 1);
        std::exception_ptr failure;
        {
            const std::lock_guard lock(failureMutex_);
            failure = std::exchange(failure_, nullptr);
        }
        if (failure) std::rethrow_exception(failure);
    }

private:
    // Takes chunks and runs them until none are left. The fewest rows may be another job's when the
    // helper comes late; that only changes the size of a chunk, never which rows exist.
    void work() {
        std::uint64_t word = rows_.load();
        for (;;) {
            const int next = static_cast<int>(word & 0xffffffffu), rows = static_cast<int>(word >> 32);
            if (next >= rows) return;
            const int fewest = fewestRows_.load(std::memory_order_relaxed);
            const int chunk = std::min(rows - next, std::max((rows - next) / kShareOfRemaining, fewest));
            if (rows_.compare_exchange_weak(word, word + static_cast<std::uint64_t>(chunk))) {
                const InChunk running;
                job_(context_, next, next + chunk);
                word = rows_.load();
            }
        }
    }

    // Keeps the first failure of a job and hands out no more of its rows.
    void workCatching() {
        try {
            work();
        } catch (...) {
            rows_.store(0);
            const std::lock_guard lock(failureMutex_);
            if (!failure_) failure_ = std::current_exception();
        }
    }

    void serve() {
        unsigned seen = 0;
        for (;;) {
            awaitChange(posted_, seen);
            seen = posted_.load();
            busy_.store(1);
            workCatching();
            busy_.store(0);
            busy_.notify_one();
        }
    }

    const std::thread::id owner_;
    std::atomic<unsigned> posted_{0};
    std::atomic<int> busy_{0};
    std::atomic<std::uint64_t> rows_{0};
    std::atomic<int> fewestRows_{1};
    RowJob job_ = nullptr;
    void* context_ = nullptr;
    std::mutex failureMutex_;
    std::exception_ptr failure_;
};

Helper& helper() {
    // Never destroyed: the thread sleeps until the process ends.
    static Helper* instance = new Helper;
    return *instance;
}

// A job worked from its last row up on this thread, `made` told how many rows from the bottom are
// done after each band. The bands double from the job's smallest, so that the writer starts soon,
// up to this share of the rows, so that a large job is told in a few steps.
constexpr int kReportedBands = 8;

void runReporting(int rows, SplitSize from, RowJob job, void* context, platform::RowsMade& made) {
    const int smallest = from.fewestRows * 4;
    const int largest = std::max(rows / kReportedBands, smallest);
    int band = smallest;
    for (int done = 0; done < rows;) {
        const int end = std::min(rows, done + band);
        job(context, rows - end, rows - done);
        made.bottom(end);
        done = end;
        band = std::min(largest, band * 2);
    }
}

std::atomic<bool> helperOn{true};
std::atomic<bool> splitAll{false};
const bool twoCores = std::thread::hardware_concurrency() >= 2;

}  // namespace

bool useHelperThread(bool on) { return helperOn.exchange(on); }
bool splitEveryJob(bool on) { return splitAll.exchange(on); }

void runRowsSplit(int rows, std::size_t bytes, SplitSize from, RowJob job, void* context,
                  platform::RowsMade* made) {
    if (rows <= 0) return;
    if (made) return runReporting(rows, from, job, context, *made);  // the other core is the writer's
    const bool small = bytes < from.bytes && !splitAll.load(std::memory_order_relaxed);
    if (rows < 2 || small || inChunk || !twoCores || !helperOn.load(std::memory_order_relaxed)) {
        job(context, 0, rows);
        return;
    }
    helper().run(job, context, rows, std::max(from.fewestRows, 1));
}

}  // namespace imaging
