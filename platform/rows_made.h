#pragma once
// How far a picture being made has got, for a thread that writes it out meanwhile: the rows made so
// far, counted from the bottom up, the order a BMP file holds them in.
#include <atomic>
#include <climits>

namespace platform {

class RowsMade {
public:
    // The bottom `rows` rows are made; the count only grows.
    void bottom(int rows) { set(rows); }
    // The maker is done: every row is made and may be published.
    void finish() { set(kFinished); }
    // The maker failed: nothing more comes, and nothing may be published.
    void abandon() { set(kAbandoned); }

    // Waits until the bottom `rows` rows are made; false once the maker has failed.
    bool awaitRows(int rows) const {
        for (;;) {
            const int made = made_.load(std::memory_order_acquire);
            if (made == kAbandoned) return false;
            if (made >= rows) return true;
            made_.wait(made, std::memory_order_acquire);
        }
    }
    // Waits until the maker is done; false once it has failed.
    bool awaitFinish() const { return awaitRows(kFinished); }

private:
    static constexpr int kFinished = INT_MAX;
    static constexpr int kAbandoned = -1;
    void set(int made) {
        made_.store(made, std::memory_order_release);
        made_.notify_all();
    }
    std::atomic<int> made_{0};
};

}  // namespace platform
