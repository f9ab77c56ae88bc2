#include "platform/pixel_store.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/errors.h"
#include "platform/translation.h"

namespace platform {
namespace {

// Blocks below this size come quickly from the allocator's own free lists. Larger ones may come
// straight from the system, page-faulting on first touch: a 640 x 480 grey picture freshly allocated
// each time costs more than working it out.
constexpr std::size_t kSmallestKept = 64 << 10;
// Blocks from this size on are laid on 2 MB pages where the system offers them: a 36 MB picture
// then needs 18 page-table entries instead of 9,000, and a fresh block faults in 18 steps.
constexpr std::size_t kHugePage = 2 << 20;
// A kept block serves only requests of at least 1 / kMostWaste of its size (or of a huge page): a
// median band's rows of a wide picture must not take a whole picture's block, which the next
// picture-sized request would then have to get fresh from the system.
constexpr std::size_t kMostWaste = 2;
// A press needs at most a few picture-sized blocks at once (work copy, the picture it replaces,
// grey rows); a few more than that covers a preview running while a press's blocks are kept.
constexpr std::size_t kMostKept = 6;

std::atomic<AllocationFault> allocationFault{nullptr};

struct Block {
    std::uint8_t* data;
    std::size_t size;
};

class Store {
public:
    Bytes acquire(std::size_t size) {
        if (size < kSmallestKept) {
            const std::size_t bytes = std::max<std::size_t>(size, 1);
            return Bytes(checked(std::malloc(bytes), bytes), std::free);
        }
        Block block = takeFitting(size);
        if (!block.data) block = allocate(size);
        return Bytes(block.data, [this, block](std::uint8_t*) { giveBack(block); });
    }

    void prepare(std::size_t size, int count) {
        if (size < kSmallestKept) return;
        {
            std::lock_guard lock(mutex_);
            count -= static_cast<int>(
                std::count_if(free_.begin(), free_.end(), [&](const Block& b) { return serves(b, size); }));
        }
        try {
            for (; count > 0; --count) giveBack(populated(allocate(size)));
        } catch (const Error&) {
            // Short of memory: fewer blocks are ready, and a press gets its own when it needs it.
        }
    }

    void releaseAll() {
        std::lock_guard lock(mutex_);
        for (const Block& b : free_) std::free(b.data);
        free_.clear();
    }

    std::vector<std::size_t> sizes() {
        std::lock_guard lock(mutex_);
        std::vector<std::size_t> kept;
        for (const Block& b : free_) kept.push_back(b.size);
        std::sort(kept.begin(), kept.end());
        return kept;
    }

private:
    static Block allocate(std::size_t size) {
        if (size < kHugePage) return Block{checked(std::malloc(size), size), size};
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        auto* data = checked(std::aligned_alloc(kHugePage, rounded), size);
        madvise(data, rounded, MADV_HUGEPAGE);  // only advice: without it the block is just 4 KB pages
        return Block{data, rounded};
    }
    // Maps every page of a block now, in one call, instead of one page fault at a time later (a
    // kernel before 5.14 refuses, and the pages fault in later).
    static Block populated(Block block) {
        madvise(block.data, block.size, MADV_POPULATE_WRITE);
        return block;
    }
    static std::uint8_t* checked(void* data, std::size_t size) {
        const AllocationFault fails = allocationFault.load();
        if (data && fails && fails(size)) {
            std::free(data);
            data = nullptr;
        }
        if (!data)
            throw Error(
                translate("Memory", "not enough memory; close other programs or work on a smaller picture"));
        return static_cast<std::uint8_t*>(data);
    }

    static bool serves(const Block& block, std::size_t size) {
        return block.size >= size && block.size <= kMostWaste * std::max(size, kHugePage);
    }

    // The smallest kept block that serves `size` bytes, so that large blocks stay for large pictures;
    // of equal ones the last given back, whose lines are the likeliest to be in the cache still.
    Block takeFitting(std::size_t size) {
        std::lock_guard lock(mutex_);
        auto best = free_.end();
        for (auto it = free_.begin(); it != free_.end(); ++it)
            if (serves(*it, size) && (best == free_.end() || it->size <= best->size)) best = it;
        if (best == free_.end()) return Block{nullptr, 0};
        const Block block = *best;
        free_.erase(best);
        return block;
    }

    void giveBack(Block block) {
        std::lock_guard lock(mutex_);
        free_.push_back(block);
        if (free_.size() <= kMostKept) return;
        auto smallest = std::min_element(free_.begin(), free_.end(),
                                         [](const Block& a, const Block& b) { return a.size < b.size; });
        std::free(smallest->data);
        free_.erase(smallest);
    }

    std::mutex mutex_;
    std::vector<Block> free_;
};

Store& store() {
    // Never destroyed: blocks may still come back from pictures released during exit.
    static Store* instance = new Store;
    return *instance;
}

}  // namespace

Bytes acquireBytes(std::size_t size) { return store().acquire(size); }
void prepareBytes(std::size_t size, int count) { store().prepare(size, count); }
void releaseStore() { store().releaseAll(); }
std::vector<std::size_t> keptBlocks() { return store().sizes(); }
void setAllocationFault(AllocationFault fails) { allocationFault.store(fails); }

}  // namespace platform
