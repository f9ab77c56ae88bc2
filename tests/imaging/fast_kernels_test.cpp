// The vector builds of the row kernels and the two-thread split against the plain references, byte
// for byte, on random pictures of many shapes: one to five pixels wide or high, odd widths that
// leave every kind of tail after the vector steps, and pictures large enough to be split.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "imaging/edges.h"
#include "imaging/luma.h"
#include "imaging/median.h"
#include "imaging/parallel.h"
#include "imaging/row_kernels.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

struct Build {
    const char* name;
    bool wideVectors;
    bool helperThread;
};

const std::vector<Build>& builds() {
    static const std::vector<Build> all = {
        {"vector, two threads", true, true},
        {"vector, one thread", true, false},
        {"portable, two threads", false, true},
    };
    return all;
}

const std::vector<std::pair<int, int>>& shapes() {
    static const std::vector<std::pair<int, int>> all = {
        {1, 1},  {2, 1},  {1, 2},  {3, 3},   {4, 5},   {5, 4},   {5, 5},   {1, 40},  {40, 1},  {2, 33},
        {31, 2}, {16, 3}, {17, 3}, {32, 4},  {33, 5},  {34, 7},  {35, 6},  {36, 9},  {63, 11}, {64, 12},
        {65, 8}, {67, 13}, {99, 17}, {131, 3}, {257, 19}, {1023, 611}, {1201, 333}, {3, 1500},
    };
    return all;
}

// Selects a build for the life of the object.
class UsingBuild {
public:
    explicit UsingBuild(const Build& b)
        : wide_(imaging::rows::useWideVectors(b.wideVectors)), helper_(imaging::useHelperThread(b.helperThread)) {}
    ~UsingBuild() {
        imaging::rows::useWideVectors(wide_);
        imaging::useHelperThread(helper_);
    }

private:
    bool wide_, helper_;
};

std::string describe(const Build& b, int w, int h) {
    return std::string(b.name) + ", " + std::to_string(w) + " x " + std::to_string(h);
}

}  // namespace

// Each operation through each build, against its plain reference, on every shape.
TEST(FastKernels, EveryOperationMatchesThePlainMethod) {
    struct Operation {
        const char* name;
        Pixels (*fast)(const Pixels&, int threshold);
        Pixels (*plain)(const Pixels&, int threshold);
    };
    const Operation operations[] = {
        {"luma",
         [](const Pixels& in, int) {
             imaging::lumaDecompose(toBitmap(in));
             platform::TBitmap out;
             imaging::lumaDisplay(out);
             return toPixels(out);
         },
         [](const Pixels& in, int) { return referenceLumaPicture(in); }},
        {"median",
         [](const Pixels& in, int) {
             platform::TBitmap out;
             imaging::medianFilter(toBitmap(in), out);
             return toPixels(out);
         },
         [](const Pixels& in, int) { return referenceMedian5(in); }},
        {"edges",
         [](const Pixels& in, int threshold) {
             platform::TBitmap out;
             imaging::drawEdges(toBitmap(in), out, threshold);
             return toPixels(out);
         },
         referenceEdges},
    };
    int threshold = 3;
    for (const Build& b : builds()) {
        const UsingBuild using_(b);
        for (const auto& [w, h] : shapes()) {
            const Pixels in = randomPixels(w, h, static_cast<unsigned>(w * 1009 + h));
            threshold = (threshold + 53) % 256;
            for (const Operation& op : operations) {
                SCOPED_TRACE(std::string(op.name) + ", " + describe(b, w, h) + " at T " + std::to_string(threshold));
                ASSERT_EQ(op.fast(in, threshold), op.plain(in, threshold));
            }
        }
    }
}

TEST(FastKernels, ThisProcessorRunsTheVectorBuildWhereItCan) {
    if (!imaging::rows::wideVectorsAvailable()) GTEST_SKIP() << "no AVX2 here: only the portable build runs";
    EXPECT_TRUE(imaging::rows::useWideVectors(true));
}

// Colours where q = 299 R + 587 G + 114 B is a multiple of 1000, on both sides of the
// 108 R + 304 G > 37 B test, in every position of a vector step.
TEST(FastKernels, LumaIsExactWhereTheSumIsAWholeNumber) {
    Pixels in(0, 1);
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b)
                if ((299 * r + 587 * g + 114 * b) % 1000 == 0)
                    in.px.push_back({static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)});
    in.width = static_cast<int>(in.px.size());
    ASSERT_GT(in.width, 1000);
    for (const Build& b : builds()) {
        const UsingBuild using_(b);
        SCOPED_TRACE(b.name);
        imaging::lumaDecompose(toBitmap(in));
        platform::TBitmap grey;
        imaging::lumaDisplay(grey);
        ASSERT_EQ(toPixels(grey), referenceLumaPicture(in));
    }
}

// Few grey levels give long runs of equal values, where a wrong choice among equals would show.
TEST(FastKernels, MedianMatchesThePlainMethodOnFewLevels) {
    for (const Build& b : builds()) {
        const UsingBuild using_(b);
        for (const auto& [w, h] : {std::pair{37, 29}, {600, 450}}) {
            SCOPED_TRACE(describe(b, w, h));
            Pixels in = randomPixels(w, h, 99);
            for (Bgr& p : in.px) p.b = static_cast<std::uint8_t>(p.b % 3 * 120);
            platform::TBitmap out;
            imaging::medianFilter(toBitmap(in), out);
            ASSERT_EQ(toPixels(out), referenceMedian5(in));
        }
    }
}

TEST(FastKernels, AllPassesAtOnceEqualPassesOneAfterAnother) {
    for (const Build& b : builds()) {
        const UsingBuild using_(b);
        for (const auto& [w, h] : {std::pair{1, 1}, {5, 3}, {33, 70}, {700, 420}}) {
            SCOPED_TRACE(describe(b, w, h));
            const Pixels in = randomPixels(w, h, 5);
            imaging::Plane planes[2], all;
            for (imaging::Plane& p : planes) {
                p.fit(w + 2, h + 2);
                std::fill(p.row(0), p.row(0) + static_cast<std::size_t>(w + 2) * (h + 2), 0);
            }
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) planes[0].row(y + 1)[x + 1] = in.at(x, y).b;
            const imaging::Plane source = planes[0];
            for (int pass = 0; pass < imaging::kMedianPasses; ++pass)
                imaging::medianPass(planes[pass % 2], planes[(pass + 1) % 2], w, h);
            imaging::medianPasses(source, all, w, h);
            const imaging::Plane& one = planes[imaging::kMedianPasses % 2];
            for (int y = 0; y < h + 2; ++y)
                for (int x = 0; x < w + 2; ++x) ASSERT_EQ(all.row(y)[x], one.row(y)[x]) << x << "," << y;
        }
    }
}

// Smooth gradients give magnitudes near every threshold, where > and >= would differ.
TEST(FastKernels, EdgesMatchNearTheThreshold) {
    Pixels in(301, 7);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const auto v = static_cast<std::uint8_t>((x * x / 7 + y * 9) % 256);
            in.at(x, y) = {v, v, v};
        }
    for (const Build& b : builds()) {
        const UsingBuild using_(b);
        for (const int threshold : {0, 1, 4, 8, 20, 64, 127, 128, 200, 255}) {
            SCOPED_TRACE(std::string(b.name) + " at T " + std::to_string(threshold));
            platform::TBitmap out;
            imaging::drawEdges(toBitmap(in), out, threshold);
            ASSERT_EQ(toPixels(out), referenceEdges(in, threshold));
        }
    }
}

TEST(FastKernels, InPlaceLargePicturesGiveTheSameResults) {
    const Pixels in = randomPixels(901, 503, 21);
    platform::TBitmap picture = toBitmap(in);
    imaging::drawEdges(picture, picture, 90);
    EXPECT_EQ(toPixels(picture), referenceEdges(in, 90));
    picture = toBitmap(in);
    imaging::medianFilter(picture, picture);
    EXPECT_EQ(toPixels(picture), referenceMedian5(in));
}

// Results this large are written with stores that go around the cache; with rows of 3612 bytes
// the rows start at each of the four 4-byte offsets within 16 bytes.
TEST(FastKernels, PicturesLargerThanTheCacheGiveTheSameResults) {
    const Pixels in = randomPixels(1203, 1171, 8);
    ASSERT_GE(platform::strideOf(in.width) * in.height, imaging::rows::kStreamingBytes);
    const platform::TBitmap picture = toBitmap(in);
    imaging::lumaDecompose(picture);
    platform::TBitmap out;
    imaging::lumaDisplay(out);
    EXPECT_EQ(toPixels(out), referenceLumaPicture(in));
    imaging::drawEdges(picture, out, 140);
    EXPECT_EQ(toPixels(out), referenceEdges(in, 140));
    imaging::medianFilter(picture, out);
    EXPECT_EQ(toPixels(out), referenceMedian5(in));
}
