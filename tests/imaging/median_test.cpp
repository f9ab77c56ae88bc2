#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <random>

#include "imaging/median.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// The fifth largest of nine, by sorting them into descending order by exchange.
std::uint8_t medianBySorting(std::array<std::uint8_t, 9> v) {
    for (int i = 0; i < 8; ++i)
        for (int j = i + 1; j < 9; ++j)
            if (v[i] < v[j]) std::swap(v[i], v[j]);
    return v[4];
}

std::uint8_t medianOf(const std::array<std::uint8_t, 9>& v) {
    return imaging::medianOf9(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
}

Pixels filtered(const Pixels& in) {
    platform::TBitmap out;
    imaging::medianFilter(toBitmap(in), out);
    return toPixels(out);
}

Pixels grey(int w, int h, std::uint8_t level) { return Pixels(w, h, {level, level, level}); }

}  // namespace

TEST(Median, NineSpreadValuesGiveFortyInAnyArrangement) {
    std::array<std::uint8_t, 9> v{0, 10, 20, 30, 40, 50, 60, 70, 80};
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::shuffle(v.begin(), v.end(), random);
        ASSERT_EQ(medianOf(v), 40);
    }
}

// Every window of three levels (ties in every arrangement), then random windows.
TEST(Median, NetworkMatchesSorting) {
    std::array<std::uint8_t, 9> v{};
    for (int code = 0; code < 19683; ++code) {  // 3^9
        for (int i = 0, c = code; i < 9; ++i, c /= 3) v[i] = static_cast<std::uint8_t>(c % 3 * 100);
        ASSERT_EQ(medianOf(v), medianBySorting(v)) << "window " << code;
    }
    std::mt19937 random(11);
    for (int i = 0; i < 500000; ++i) {
        for (auto& x : v) x = static_cast<std::uint8_t>(random());
        ASSERT_EQ(medianOf(v), medianBySorting(v));
    }
}

TEST(Median, LoneWhitePixelIsGoneAfterOnePass) {
    imaging::Plane in, out;
    in.fit(7, 7);
    out.fit(7, 7);
    for (int y = 0; y < 7; ++y) std::fill(in.row(y), in.row(y) + 7, 0);
    in.row(3)[3] = 255;
    imaging::medianPass(in, out, 5, 5);
    for (int y = 1; y <= 5; ++y)
        for (int x = 1; x <= 5; ++x) EXPECT_EQ(out.row(y)[x], 0) << x << "," << y;
}

TEST(Median, StraightEdgeStaysWhereItIs) {
    Pixels in = grey(9, 6, 20);
    for (int y = 0; y < 6; ++y)
        for (int x = 4; x < 9; ++x) in.at(x, y) = {200, 200, 200};
    const Pixels out = filtered(in);
    // Inside the picture the edge is untouched; only the corners, where the zero border outweighs
    // the picture, darken.
    for (int y = 1; y < 5; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(out.at(x, y).b, x < 4 ? 20 : 200) << x << "," << y;
}

TEST(Median, OnlyTheBlueChannelIsFiltered) {
    const Pixels out = filtered(Pixels(5, 4, {0, 0, 255}));  // pure red
    EXPECT_EQ(out, grey(5, 4, 0));
}

TEST(Median, FivePassesMatchThePlainMethodIncludingTheBorder) {
    EXPECT_EQ(filtered(designedPicture(13, 9)), referenceMedian5(designedPicture(13, 9)));
}

TEST(Median, PlanesGrowOnceAndAreReusedAfterwards) {
    filtered(randomPixels(400, 300, 3));  // larger than a 320 x 240 plane
    const std::size_t grown = imaging::medianPlane().capacity();
    const std::uint8_t* storage = imaging::medianPlane().row(0);
    EXPECT_GE(grown, 402u * 302u);
    const Pixels small = randomPixels(6, 5, 4);
    EXPECT_EQ(filtered(small), referenceMedian5(small)) << "a smaller picture after a larger one";
    EXPECT_EQ(imaging::medianPlane().capacity(), grown);
    EXPECT_EQ(imaging::medianPlane().row(0), storage);
}
