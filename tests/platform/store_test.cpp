// The blocks the pixel store keeps for the next picture, and which block a request takes.
#include "platform/pixel_store.h"
#include "support/test_support.h"

using Sizes = std::vector<std::size_t>;

// Blocks from 64 KB on are kept (from 2 MB on in whole 2 MB pages), the six largest. A request takes
// the smallest kept block that serves it, one at most twice its size (or twice 2 MB), so that a large
// block stays for a large picture. Making blocks ready counts those kept that serve.
TEST(Store, KeepsTheLargestBlocksAndGivesEachRequestTheSmallestThatServesIt) {
    platform::releaseStore();
    const std::pair<Sizes, Sizes> steps[] = {
        // blocks held at once, then the blocks kept
        {{(64 << 10) - 1, 64 << 10, 3 << 20}, {64 << 10, 4 << 20}},
        {{5 << 20, 3 << 20}, {64 << 10, 4 << 20, 6 << 20}},
        {{3 << 20, 5 << 20}, {64 << 10, 4 << 20, 6 << 20}},
        {{7 << 20, 3 << 20, 3 << 20, 3 << 20}, {64 << 10, 4 << 20, 4 << 20, 6 << 20, 8 << 20}},
        {{10 << 20, 12 << 20}, {4 << 20, 4 << 20, 6 << 20, 8 << 20, 10 << 20, 12 << 20}}};
    for (const auto& [atOnce, kept] : steps) {
        std::vector<platform::Bytes> held;
        for (const std::size_t size : atOnce) held.push_back(platform::acquireBytes(size));
        held.clear();
        EXPECT_EQ(platform::keptBlocks(), kept) << "after " << testing::PrintToString(atOnce);
    }
    platform::prepareBytes(10 << 20, 3);
    EXPECT_EQ(platform::keptBlocks(), (Sizes{4 << 20, 6 << 20, 8 << 20, 10 << 20, 10 << 20, 12 << 20}));
}
