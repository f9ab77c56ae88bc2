#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include "platform/bmp_file.h"
#include "platform/errors.h"
#include "support/test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class BmpFile : public InTempDir {};

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}
std::uint16_t u16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

TEST_F(BmpFile, HeadersPaddingAndRowOrderOfAnOddWidth) {
    Pixels p(3, 2);
    p.at(0, 0) = {1, 2, 3};  // top-left
    p.at(2, 1) = {7, 8, 9};  // bottom-right
    platform::writeBmp24(toBitmap(p), "A.bmp");
    const auto b = readFileBytes("A.bmp");
    ASSERT_EQ(b.size(), 54u + 2 * 12);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(u32(b, 2), 78u);     // file size
    EXPECT_EQ(u32(b, 6), 0u);      // reserved
    EXPECT_EQ(u32(b, 10), 54u);    // pixel offset
    EXPECT_EQ(u32(b, 14), 40u);    // info header size
    EXPECT_EQ(u32(b, 18), 3u);     // width
    EXPECT_EQ(u32(b, 22), 2u);     // height, positive: bottom-up
    EXPECT_EQ(u16(b, 26), 1);      // planes
    EXPECT_EQ(u16(b, 28), 24);     // bits per pixel
    EXPECT_EQ(u32(b, 30), 0u);     // uncompressed
    EXPECT_EQ(u32(b, 34), 24u);    // image size
    // The bottom row comes first: its last pixel, then three zero bytes of padding.
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 54 + 6, b.begin() + 54 + 12),
              (std::vector<std::uint8_t>{7, 8, 9, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 66, b.begin() + 69), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 75, b.end()), (std::vector<std::uint8_t>{0, 0, 0}));
}

TEST_F(BmpFile, RoundTripAtEveryPadding) {
    for (int w = 1; w <= 9; ++w) {
        const Pixels p = randomPixels(w, 5, static_cast<unsigned>(w));
        platform::writeBmp24(toBitmap(p), "B.bmp");
        platform::TBitmap back;
        ASSERT_EQ(platform::readBmp24("B.bmp", back), platform::BmpRead::Done);
        EXPECT_EQ(toPixels(back), p) << "width " << w;
    }
}

TEST_F(BmpFile, EmptyPictureIsAValidZeroByZeroFileThatReadsBackAsEmpty) {
    platform::writeBmp24(platform::TBitmap(), "A.bmp");
    const auto b = readFileBytes("A.bmp");
    ASSERT_EQ(b.size(), 54u);
    EXPECT_EQ(u32(b, 2), 54u);
    EXPECT_EQ(u32(b, 18), 0u);
    EXPECT_EQ(u32(b, 22), 0u);
    EXPECT_EQ(u16(b, 28), 24);
    platform::TBitmap back;
    EXPECT_EQ(failureOf([&] { back.LoadFromFile("A.bmp"); }), "A.bmp: empty picture (0 x 0 pixels)");
}

TEST_F(BmpFile, TopDownFileReadsTheRightWayUp) {
    const Pixels p = designedPicture(5, 4);
    platform::writeBmp24(toBitmap(p), "x.bmp");
    auto b = readFileBytes("x.bmp");
    // Turn it into a top-down file: negative height, rows reversed.
    const std::size_t stride = 16;
    std::vector<std::uint8_t> flipped = b;
    for (int row = 0; row < 4; ++row)
        std::copy_n(b.begin() + 54 + row * stride, stride, flipped.begin() + 54 + (3 - row) * stride);
    const std::int32_t negative = -4;
    std::memcpy(&flipped[22], &negative, 4);
    writeFileBytes("y.bmp", flipped);
    platform::TBitmap back;
    back.LoadFromFile("y.bmp");
    EXPECT_EQ(toPixels(back), p);
}

TEST_F(BmpFile, FileCutShortIsRefused) {
    platform::writeBmp24(toBitmap(randomPixels(8, 8, 1)), "A.bmp");
    auto b = readFileBytes("A.bmp");
    b.resize(b.size() - 1);
    writeFileBytes("A.bmp", b);
    platform::TBitmap back;
    EXPECT_EQ(failureOf([&] { back.LoadFromFile("A.bmp"); }).rfind("A.bmp: file is cut short", 0), 0u);
    EXPECT_TRUE(back.Empty());
}

TEST_F(BmpFile, NewFileGetsTheUsualPermissions) {
    const mode_t old = ::umask(022);
    platform::writeBmp24(toBitmap(randomPixels(2, 2, 1)), "A.bmp");
    ::umask(old);
    EXPECT_EQ(fs::status("A.bmp").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}
