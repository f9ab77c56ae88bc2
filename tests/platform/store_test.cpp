// The blocks the pixel store keeps for the next picture, and which block a request takes.
#include "platform/pixel_store.h"
#include "support/test_support.h"

using Sizes = std::vector<std::size_t>;

// Blocks from 64 KB on are kept (from 2 MB on in whole 2 MB pages), the six largest. A request takes
// the smallest kept block that serves it, one at most twice its size (or twice 2 MB), so that a large
// block stays for a large picture.
TEST(Store, KeepsTheLargestBlocksAndGivesEachRequestTheSmallestThatServesIt) {
    constexpr std::size_t kMB = 1 << 20;
    platform::releaseStore();
    const std::pair<Sizes, Sizes> steps[] = {
        // blocks held at once, then the blocks kept
        {{(64 << 10) - 1, 64 << 10, 3 * kMB}, {64 << 10, 4 * kMB}},
        {{5 * kMB, 3 * kMB}, {64 << 10, 4 * kMB, 6 * kMB}},
        {{3 * kMB, 5 * kMB}, {64 << 10, 4 * kMB, 6 * kMB}},
        {{7 * kMB, 3 * kMB, 3 * kMB, 3 * kMB}, {64 << 10, 4 * kMB, 4 * kMB, 6 * kMB, 8 * kMB}},
        {{10 * kMB, 12 * kMB}, {4 * kMB, 4 * kMB, 6 * kMB, 8 * kMB, 10 * kMB, 12 * kMB}}};
    for (const auto& [atOnce, kept] : steps) {
        std::vector<platform::Bytes> held;
        for (const std::size_t size : atOnce) held.push_back(platform::acquireBytes(size));
        held.clear();
        EXPECT_EQ(platform::keptBlocks(), kept) << "after " << testing::PrintToString(atOnce);
    }
    platform::releaseStore();
}
