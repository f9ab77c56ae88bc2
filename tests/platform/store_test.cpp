// The pixel store: a block given back is handed out again, for the requests it serves.
#include "platform/pixel_store.h"
#include "support/test_support.h"

// Kept blocks of 4, 6 and 8 MB: a 3 MB request takes the smallest that serves it, then the next;
// the 8 MB block is more than twice 3 MB, so the third gets a block of its own and the 8 MB one
// stays for a picture-sized request.
TEST(PixelStore, AKeptBlockServesTheRequestsItFits) {
    constexpr std::size_t kMB = std::size_t{1} << 20;
    platform::releaseStore();
    std::vector<platform::Bytes> blocks;
    std::vector<const std::uint8_t*> kept;
    for (const std::size_t size : {4 * kMB, 6 * kMB, 8 * kMB}) {
        blocks.push_back(platform::acquireBytes(size));
        kept.push_back(blocks.back().get());
    }
    blocks.clear();
    const platform::Bytes first = platform::acquireBytes(3 * kMB);
    const platform::Bytes second = platform::acquireBytes(3 * kMB);
    const platform::Bytes third = platform::acquireBytes(3 * kMB);
    const platform::Bytes pictureSized = platform::acquireBytes(5 * kMB);
    EXPECT_EQ(first.get(), kept[0]) << "3 MB from the 4 MB block";
    EXPECT_EQ(second.get(), kept[1]) << "3 MB from the 6 MB block";
    EXPECT_NE(third.get(), kept[2]) << "3 MB from the 8 MB block";
    EXPECT_EQ(pictureSized.get(), kept[2]) << "5 MB from the 8 MB block";
}
