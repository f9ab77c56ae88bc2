#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/edges.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

Pixels edges(const Pixels& in, int threshold) {
    platform::TBitmap out;
    imaging::drawEdges(toBitmap(in), out, threshold);
    return toPixels(out);
}

Pixels grey(int w, int h, std::uint8_t level) { return Pixels(w, h, {level, level, level}); }

// Grey `left` in the columns before `step`, grey `right` from it on.
Pixels verticalStep(int w, int h, int step, std::uint8_t left, std::uint8_t right) {
    Pixels p = grey(w, h, left);
    for (int y = 0; y < h; ++y)
        for (int x = step; x < w; ++x) p.at(x, y) = {right, right, right};
    return p;
}

bool isBorder(const Pixels& p, int x, int y) { return x == 0 || y == 0 || x == p.width - 1 || y == p.height - 1; }

}  // namespace

TEST(Edges, FlatPictureIsWhiteInsideAndKeepsItsGreyBorder) {
    for (const int threshold : {0, 1, 128, 255}) {
        const Pixels out = edges(Pixels(6, 5, {90, 90, 90}), threshold);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const std::uint8_t want = isBorder(out, x, y) ? 90 : 255;
                ASSERT_EQ(out.at(x, y), (Bgr{want, want, want})) << x << "," << y << " at T " << threshold;
            }
    }
}

TEST(Edges, MagnitudeEqualToTheThresholdIsNoEdge) {
    // A step of 5 grey levels gives Gh = -20 beside it: m = 20.
    const Pixels in = verticalStep(6, 3, 3, 100, 105);
    struct Case {
        int threshold;
        std::uint8_t besideStep;
    };
    for (const Case c : {Case{20, 255}, {19, 0}, {0, 0}, {255, 255}}) {
        const Pixels out = edges(in, c.threshold);
        EXPECT_EQ(out.at(2, 1).b, c.besideStep) << "T " << c.threshold;
        EXPECT_EQ(out.at(3, 1).b, c.besideStep) << "T " << c.threshold;
        EXPECT_EQ(out.at(1, 1).b, 255) << "flat, T " << c.threshold;
    }
}

TEST(Edges, FullStepIsAnEdgeAtEveryThreshold) {
    const Pixels in = verticalStep(6, 4, 3, 0, 255);  // m = 1020
    for (int threshold = 0; threshold <= 255; ++threshold) {
        const Pixels out = edges(in, threshold);
        ASSERT_EQ(out.at(2, 1).b, 0) << threshold;
        ASSERT_EQ(out.at(3, 2).b, 0) << threshold;
    }
}

// The integer test decides exactly what the square root in double precision decides, for every
// sum of squares two Sobel responses can give and every threshold.
TEST(Edges, IntegerTestMatchesTheSquareRootEverywhere) {
    constexpr int kMost = 1020;
    std::vector<bool> occurs(2 * kMost * kMost + 1);
    for (int gv = 0; gv <= kMost; ++gv)
        for (int gh = 0; gh <= kMost; ++gh) occurs[static_cast<std::size_t>(gv * gv + gh * gh)] = true;
    for (int s = 0; s <= 2 * kMost * kMost; ++s) {
        if (!occurs[static_cast<std::size_t>(s)]) continue;
        const double m = std::sqrt(static_cast<double>(s));
        for (int threshold = 0; threshold <= 255; ++threshold)
            if ((m <= threshold) != (s <= threshold * threshold)) FAIL() << "sum " << s << " at T " << threshold;
    }
    EXPECT_TRUE(imaging::withinThreshold(3, 4, 5));
    EXPECT_FALSE(imaging::withinThreshold(3, 4, 4));
}

TEST(Edges, PictureWithoutInnerPixelsIsItsGreyPicture) {
    const Pixels in = randomPixels(2, 6, 5);
    const Pixels out = edges(in, 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 2; ++x) {
            const std::uint8_t g = imaging::greyOf(in.at(x, y).b, in.at(x, y).g, in.at(x, y).r);
            EXPECT_EQ(out.at(x, y), (Bgr{g, g, g}));
        }
}

