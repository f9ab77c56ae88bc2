// The three operations against their slow references, byte for byte, on every instruction set the
// row kernels are compiled for (the portable one included), on one thread and two, with jobs split
// as usual or every job split (so that band edges fall inside small pictures too), and made
// bottom-up in bands for a writer: designed pictures that each aim at one fault, and random pictures
// of many shapes.
#include "imaging/edges.h"
#include "imaging/luma.h"
#include "imaging/median.h"
#include "imaging/parallel.h"
#include "imaging/row_kernels.h"
#include "platform/rows/targets.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

struct Case {
    std::string name;
    Pixels picture;
    int threshold;
    Pixels luma = {}, median = {}, edges = {};  // the references
};

// A grey picture with level(x, y) at each pixel.
template <class Level>
Pixels greyBy(int w, int h, Level level) {
    Pixels p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.at(x, y) = grey(1, 1, static_cast<std::uint8_t>(level(x, y))).px[0];
    return p;
}

// Made once for all the runs: the references take seconds.
const std::vector<Case>& cases() {
    static const std::vector<Case> all = [] {
        std::vector<Case> all = {{"whole luma sums", Pixels(0, 1), 0}};
        // Every colour whose luma sum is a whole number, where the exact weights decide.
        for (int c = 0; c < 1 << 24; ++c) {
            const int red = c >> 16, green = c >> 8 & 255, blue = c & 255;
            if ((299 * red + 587 * green + 114 * blue) % 1000 == 0)
                all.back().picture.px.push_back({std::uint8_t(blue), std::uint8_t(green), std::uint8_t(red)});
        }
        all.back().picture.width = static_cast<int>(all.back().picture.px.size());
        // Magnitudes near every threshold, where < and <= differ.
        const Pixels gradient = greyBy(301, 7, [](int x, int y) { return x * x / 7 + y * 9; });
        for (const int t : {0, 1, 4, 64, 128, 255}) all.push_back({"gradient", gradient, t});
        // Random pictures: tiny ones, widths around the vector steps of 8 to 64 pixels, pictures past
        // the split between threads and past the caches, and small ones after large ones. Every other
        // one has three blue levels, for runs of equal values in the median.
        for (const auto& [w, h] :
             {std::pair{1, 1}, {2, 1},   {1, 2},      {3, 3},    {4, 5},       {5, 4},   {1, 40},  {40, 1},
              {2, 33},         {31, 2},  {16, 3},     {17, 3},   {32, 4},      {33, 5},  {34, 7},  {35, 6},
              {36, 9},         {63, 11}, {64, 12},    {65, 8},   {66, 3},      {67, 13}, {99, 17}, {131, 3},
              {1023, 611},     {5, 5},   {1201, 333}, {3, 1500}, {1203, 1171}, {37, 29}}) {
            Pixels p = randomPixels(w, h, static_cast<unsigned>(w * 1009 + h));
            if (all.size() % 2 == 1)
                for (Bgr& c : p.px) c.b = std::uint8_t(c.b % 3 * 120);
            const int threshold = static_cast<int>(all.size() * 53 % 256);
            all.push_back({std::to_string(w) + " x " + std::to_string(h), p, threshold});
        }
        for (Case& c : all) {
            c.luma = referenceLumaPicture(c.picture);
            c.median = referenceMedian5(c.picture);
            c.edges = referenceEdges(c.picture, c.threshold);
        }
        return all;
    }();
    return all;
}

using Run = std::tuple<platform::rows::Target, bool, bool>;  // target, two threads, every job split

class Kernels : public testing::TestWithParam<Run> {};

}  // namespace

// Named as ctest lists them, e.g. AVX2_two_threads_every_job_split.
std::string runName(const testing::TestParamInfo<Run>& info) {
    const auto [target, twoThreads, splitAll] = info.param;
    return std::string(platform::rows::targetName(target)) + (twoThreads ? "_two_threads" : "_one_thread") +
           (splitAll ? "_every_job_split" : "");
}

INSTANTIATE_TEST_SUITE_P(EveryTarget, Kernels,
                         testing::Combine(testing::ValuesIn(platform::rows::compiledTargets()),
                                          testing::Bool(), testing::Bool()),
                         runName);

// Reads and writes past the end of a row that leave the bytes right are the sanitizer build's to find.
// The grey picture shares the luma plane's pixels: the next picture's luma must not be written
// into the one shown before.
TEST_P(Kernels, MatchTheReferences) {
    const auto [target, twoThreads, splitAll] = GetParam();
    if (!platform::rows::targetSupported(target))
        GTEST_SKIP() << platform::rows::targetName(target) << " is not supported by this processor";
    // Puts back the target in use when the run ends, also when an assertion ends it.
    const std::shared_ptr<void> putBack(
        nullptr, [old = platform::rows::selectTarget(target)](void*) { platform::rows::selectTarget(old); });
    ASSERT_EQ(platform::rows::currentTarget(), target) << "the target selected is the one in use";
    const Switched<imaging::useHelperThread> helper(twoThreads);
    const Switched<imaging::splitEveryJob> split(splitAll);
    platform::TBitmap shownGrey;
    Pixels shownLuma;
    for (const Case& c : cases()) {
        SCOPED_TRACE(std::string(platform::rows::targetName()) + ": " + c.name + ", T " +
                     std::to_string(c.threshold));
        platform::TBitmap picture = toBitmap(c.picture);
        // Made for a writer that follows: bottom-up, in bands, on this thread alone. The median first,
        // while what it keeps between runs holds another picture's values.
        platform::TBitmap out;
        platform::RowsMade medianMade, lumaMade, edgesMade, intoItselfMade;
        imaging::medianFilter(picture, out, &medianMade);
        ASSERT_TRUE(samePixels(toPixels(out), c.median)) << "median, made for a writer";
        imaging::lumaDecompose(picture);
        ASSERT_TRUE(samePixels(toPixels(shownGrey), shownLuma)) << "the grey picture shown before";
        imaging::lumaDisplay(shownGrey);
        ASSERT_TRUE(samePixels(toPixels(shownGrey), c.luma)) << "luma";
        shownLuma = c.luma;
        imaging::medianFilter(picture, out);
        ASSERT_TRUE(samePixels(toPixels(out), c.median)) << "median";
        imaging::drawEdges(picture, out, c.threshold);
        ASSERT_TRUE(samePixels(toPixels(out), c.edges)) << "edges";
        imaging::drawEdges(picture, picture, c.threshold);
        ASSERT_TRUE(samePixels(toPixels(picture), c.edges)) << "edges, into the picture itself";
        picture = toBitmap(c.picture);
        imaging::medianFilter(picture, picture);
        ASSERT_TRUE(samePixels(toPixels(picture), c.median)) << "median, into the picture itself";
        picture = toBitmap(c.picture);
        imaging::lumaDecompose(picture, &lumaMade);
        imaging::lumaDisplay(shownGrey);
        ASSERT_TRUE(samePixels(toPixels(shownGrey), c.luma)) << "luma, made for a writer";
        imaging::drawEdges(picture, out, c.threshold, &edgesMade);
        ASSERT_TRUE(samePixels(toPixels(out), c.edges)) << "edges, made for a writer";
        const platform::TBitmap sharing = picture;  // the result cannot go into pixels another sees
        imaging::medianFilter(picture, picture, &intoItselfMade);
        ASSERT_TRUE(samePixels(toPixels(picture), c.median))
            << "median into itself, shared, made for a writer";
    }
}

// A job that splits a job of its own, on either thread, runs that one whole and each job covers its
// rows once (an outer row missed or run twice shows in its inner rows).
TEST(Rows, AJobSplitInsideAJobCoversEveryRowOnce) {
    const Switched<imaging::useHelperThread> helper(true);
    std::vector<std::atomic<int>> inner(64 * 16);
    imaging::forRowsSplit(64, 0, imaging::kSplitAlways, [&](int begin, int end) {
        for (int y = begin; y < end; ++y)
            imaging::forRowsSplit(16, 0, imaging::kSplitAlways, [&](int b, int e) {
                for (int x = b; x < e; ++x) ++inner[y * 16 + x];
            });
    });
    for (std::size_t i = 0; i < inner.size(); ++i)
        EXPECT_EQ(inner[i], 1) << "inner row " << i % 16 << " of " << i / 16;
}

// The passes from plane to plane, which the benchmarks compare with other median filters, give the
// filter's values, also on a plane large enough to be written around the cache; both run on the
// target in use, which this processor supports.
TEST(Median, PlanePassesGiveTheFiltersValues) {
    ASSERT_TRUE(platform::rows::targetSupported(platform::rows::currentTarget()));
    for (const auto& [w, h] : {std::pair{67, 13}, {2053, 2045}}) {
        const Pixels picture = randomPixels(w, h, 7);
        imaging::Plane source;
        source.fit(w + 2, h + 2);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) source.row(y + 1)[x + 1] = picture.at(x, y).b;
        imaging::Plane passes;
        imaging::medianPasses(source, passes, w, h);
        platform::TBitmap filtered;
        imaging::medianFilter(toBitmap(picture), filtered);
        const Pixels planeValues = greyBy(w, h, [&](int x, int y) { return passes.row(y + 1)[x + 1]; });
        EXPECT_TRUE(samePixels(planeValues, toPixels(filtered))) << w << " x " << h;
    }
}
