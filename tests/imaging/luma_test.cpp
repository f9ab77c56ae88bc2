#include <gtest/gtest.h>

#include "imaging/luma.h"
#include "support/test_support.h"

using namespace testing_support;

TEST(Luma, WeightsTruncateTowardZero) {
    struct Case {
        std::uint8_t r, g, b, luma;
    };
    for (const Case c : {Case{255, 0, 0, 76}, {0, 255, 0, 149}, {0, 0, 255, 29}, {0, 0, 0, 0}, {10, 200, 30, 123},
                         {255, 255, 255, 254}, {128, 128, 128, 127}, {1, 1, 1, 0}})
        EXPECT_EQ(imaging::lumaOf(c.r, c.g, c.b), c.luma) << int(c.r) << "," << int(c.g) << "," << int(c.b);
}

// Every colour there is, against the sum formed in 80-bit extended arithmetic.
TEST(Luma, EveryColourMatchesTheExactSum) {
    static_assert(sizeof(long double) > sizeof(double), "the reference needs the x87 extended type");
    int mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const auto R = static_cast<std::uint8_t>(r), G = static_cast<std::uint8_t>(g), B = static_cast<std::uint8_t>(b);
                if (imaging::lumaOf(R, G, B) != referenceLuma(R, G, B) && ++mismatches < 5)
                    ADD_FAILURE() << "r,g,b = " << r << "," << g << "," << b;
            }
    EXPECT_EQ(mismatches, 0);
}

// The grey picture shares the plane's pixels; the next decomposition must not write through them
// into a picture already shown and saved.
TEST(Luma, GreyPictureKeepsItsPixelsWhenThePlaneIsFilledAgain) {
    const Pixels first = randomPixels(700, 500, 1), second = randomPixels(700, 500, 2);
    platform::TBitmap firstGrey, secondGrey;
    imaging::lumaDecompose(toBitmap(first));
    imaging::lumaDisplay(firstGrey);
    imaging::lumaDecompose(toBitmap(second));
    imaging::lumaDisplay(secondGrey);
    EXPECT_EQ(toPixels(firstGrey), referenceLumaPicture(first));
    EXPECT_EQ(toPixels(secondGrey), referenceLumaPicture(second));

    imaging::lumaDecompose(toBitmap(randomPixels(3, 3, 2)));
    imaging::lumaDisplay(secondGrey);
    EXPECT_EQ(secondGrey.Width(), 3);
    EXPECT_EQ(secondGrey.Height(), 3);
    imaging::lumaDecompose(platform::TBitmap());
    imaging::lumaDisplay(secondGrey);
    EXPECT_TRUE(secondGrey.Empty());
}

