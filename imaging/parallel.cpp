#include "imaging/parallel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace imaging {
namespace {

// A job's rows go out in this many chunks: enough that a late helper leaves little for the caller
// to wait on at the end, few enough that the rows a chunk works out again at its edges (the median's
// band overlap) stay a small share.
constexpr int kChunks = 8;

inline void pause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

// One helper that sleeps on a futex-backed atomic between jobs. Only the GUI thread hands out
// jobs, one at a time.
//
// The chunks still to hand out are one 64-bit word, the next chunk in the low half and the job's
// rows in the high half, so that a chunk is taken with one fetch_add and a helper that arrives after
// the last chunk went out sees that from the same word. The caller returns only once the helper is out of
// `busy_`; the helper raises `busy_` before it looks at the word, so it can never take a chunk of a
// job whose caller has already returned. The job and its context are read only after taking a
// chunk, while the caller is still waiting, so they need no more protection than the word's order.
class Helper {
public:
    Helper() { std::thread([this] { serve(); }).detach(); }

    void run(RowJob job, void* context, int rows) {
        job_ = job;
        context_ = context;
        chunks_.store(static_cast<std::uint64_t>(rows) << 32);  // next chunk 0
        posted_.fetch_add(1);
        posted_.notify_one();
        work();
        for (int spin = 0; busy_.load() != 0; ++spin) {
            if (spin < 256) {
                pause();
            } else {
                busy_.wait(1);
            }
        }
    }

private:
    // Takes chunks and runs them until none are left.
    void work() {
        for (;;) {
            const std::uint64_t taken = chunks_.fetch_add(1);
            const int rows = static_cast<int>(taken >> 32), chunk = (rows + kChunks - 1) / kChunks;
            const auto index = static_cast<int>(taken & 0xffffffffu);
            if (index >= kChunks || index * chunk >= rows) return;
            job_(context_, index * chunk, std::min((index + 1) * chunk, rows));
        }
    }

    void serve() {
        unsigned seen = 0;
        for (;;) {
            // A job often follows another at once (the median's two steps): look for a while
            // before sleeping.
            for (int spin = 0; posted_.load() == seen; ++spin) {
                if (spin < 512)
                    pause();
                else
                    posted_.wait(seen);
            }
            seen = posted_.load();
            busy_.store(1);
            work();
            busy_.store(0);
            busy_.notify_one();
        }
    }

    std::atomic<unsigned> posted_{0};
    std::atomic<int> busy_{0};
    std::atomic<std::uint64_t> chunks_{0};
    RowJob job_ = nullptr;
    void* context_ = nullptr;
};

Helper& helper() {
    // Never destroyed: the thread sleeps until the process ends.
    static Helper* instance = new Helper;
    return *instance;
}

std::atomic<bool> helperOn{true};
std::atomic<bool> splitAll{false};
const bool twoCores = std::thread::hardware_concurrency() >= 2;

}  // namespace

bool useHelperThread(bool on) { return helperOn.exchange(on); }
bool splitEveryJob(bool on) { return splitAll.exchange(on); }

void runRowsSplit(int rows, std::size_t bytes, SplitSize from, RowJob job, void* context) {
    if (rows <= 0) return;
    const bool small = bytes < from.bytes && !splitAll.load(std::memory_order_relaxed);
    if (rows < 2 || small || !twoCores || !helperOn.load(std::memory_order_relaxed)) {
        job(context, 0, rows);
        return;
    }
    helper().run(job, context, rows);
}

}  // namespace imaging
