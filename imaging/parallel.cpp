#include "imaging/parallel.h"

#include <atomic>
#include <thread>

namespace imaging {
namespace {

// One helper that sleeps on a futex-backed atomic between jobs. Only the GUI thread hands out
// jobs, one at a time, so a single slot is enough.
class Helper {
public:
    Helper() { std::thread([this] { serve(); }).detach(); }

    void run(RowJob job, void* context, int begin, int end) {
        job_ = job;
        context_ = context;
        begin_ = begin;
        end_ = end;
        done_.store(false, std::memory_order_relaxed);
        posted_.fetch_add(1, std::memory_order_release);
        posted_.notify_one();
    }

    void wait() {
        while (!done_.load(std::memory_order_acquire)) done_.wait(false, std::memory_order_acquire);
    }

private:
    void serve() {
        unsigned seen = 0;
        for (;;) {
            posted_.wait(seen, std::memory_order_acquire);
            seen = posted_.load(std::memory_order_acquire);
            job_(context_, begin_, end_);
            done_.store(true, std::memory_order_release);
            done_.notify_one();
        }
    }

    std::atomic<unsigned> posted_{0};
    std::atomic<bool> done_{true};
    RowJob job_ = nullptr;
    void* context_ = nullptr;
    int begin_ = 0, end_ = 0;
};

Helper& helper() {
    // Never destroyed: the thread sleeps until the process ends.
    static Helper* instance = new Helper;
    return *instance;
}

std::atomic<bool> helperOn{true};
const bool twoCores = std::thread::hardware_concurrency() >= 2;

}  // namespace

bool useHelperThread(bool on) { return helperOn.exchange(on); }

void runRowsSplit(int rows, std::size_t bytes, RowJob job, void* context) {
    if (rows <= 0) return;
    if (rows < 2 || bytes < kSplitBytes || !twoCores || !helperOn.load(std::memory_order_relaxed)) {
        job(context, 0, rows);
        return;
    }
    const int split = rows / 2;
    Helper& h = helper();
    h.run(job, context, split, rows);
    job(context, 0, split);
    h.wait();
}

}  // namespace imaging
