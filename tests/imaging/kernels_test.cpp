// The three operations against their slow references, byte for byte, on every instruction set the
// row kernels are compiled for (the portable one included), on one thread and two, with jobs split
// as usual or every job split (so that band edges fall inside small pictures too): designed
// pictures that each aim at one fault, and random pictures of many shapes.
#include "imaging/edges.h"
#include "imaging/luma.h"
#include "imaging/median.h"
#include "imaging/parallel.h"
#include "imaging/row_kernels.h"
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

// Grey `left` before column 3 and `right` from it on.
Pixels step(int w, int h, int left, int right) {
    return greyBy(w, h, [=](int x, int) { return x < 3 ? left : right; });
}

// One row of every colour whose luma sum is a whole number, where the exact weights decide.
Pixels wholeLumaSums() {
    Pixels p(0, 1);
    for (int c = 0; c < 1 << 24; ++c) {
        const int red = c >> 16, green = c >> 8 & 255, blue = c & 255;
        if ((299 * red + 587 * green + 114 * blue) % 1000 == 0)
            p.px.push_back({std::uint8_t(blue), std::uint8_t(green), std::uint8_t(red)});
    }
    p.width = static_cast<int>(p.px.size());
    return p;
}

std::vector<Case> makeCases() {
    std::vector<Case> all = {{"flat: white inside, grey border", grey(6, 5, 90), 0},
                             {"the F", designedPicture(13, 9), 128},
                             {"pure red: only blue is filtered", Pixels(5, 4, {0, 0, 255}), 9},
                             {"full step: an edge at 255", step(6, 4, 0, 255), 255},
                             {"step of 5 levels: magnitude 20, no edge", step(6, 3, 100, 105), 20},
                             {"the same at T 19", step(6, 3, 100, 105), 19},
                             {"whole luma sums", wholeLumaSums(), 0}};
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
}

// Made once for all the runs: the references take seconds.
const std::vector<Case>& cases() {
    static const std::vector<Case> all = makeCases();
    return all;
}

Pixels lumaOf(const Pixels& in) {
    imaging::lumaDecompose(toBitmap(in));
    platform::TBitmap out;
    imaging::lumaDisplay(out);
    return toPixels(out);
}

using imaging::rows::Target;
using Run = std::tuple<Target, bool, bool>;  // target, two threads, every job split

class Kernels : public testing::TestWithParam<Run> {
protected:
    void SetUp() override {
        const auto [target, twoThreads, splitAll] = GetParam();
        if (!imaging::rows::targetSupported(target))
            GTEST_SKIP() << imaging::rows::targetName(target) << " is not supported by this processor";
        oldTarget_ = imaging::rows::selectTarget(target);
        twoThreads_.emplace(twoThreads);
        splitAll_.emplace(splitAll);
    }
    void TearDown() override {
        if (oldTarget_ != 0) imaging::rows::selectTarget(oldTarget_);
    }

private:
    Target oldTarget_ = 0;
    std::optional<Switched<imaging::useHelperThread>> twoThreads_;
    std::optional<Switched<imaging::splitEveryJob>> splitAll_;
};

std::string runName(const testing::TestParamInfo<Run>& info) {
    const auto [target, twoThreads, splitAll] = info.param;
    return std::string(imaging::rows::targetName(target)) + (twoThreads ? "_two_threads" : "_one_thread") +
           (splitAll ? "_every_job_split" : "");
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(EveryTarget, Kernels,
                         testing::Combine(testing::ValuesIn(imaging::rows::compiledTargets()),
                                          testing::Bool(), testing::Bool()),
                         runName);

// Reads and writes past the end of a row that leave the bytes right are the sanitizer build's to find.
TEST_P(Kernels, MatchTheReferences) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name + ", T " + std::to_string(c.threshold));
        ASSERT_TRUE(samePixels(lumaOf(c.picture), c.luma)) << "luma";
        platform::TBitmap picture = toBitmap(c.picture);
        platform::TBitmap out;
        imaging::medianFilter(picture, out);
        ASSERT_TRUE(samePixels(toPixels(out), c.median)) << "median";
        imaging::drawEdges(picture, out, c.threshold);
        ASSERT_TRUE(samePixels(toPixels(out), c.edges)) << "edges";
        imaging::drawEdges(picture, picture, c.threshold);
        ASSERT_TRUE(samePixels(toPixels(picture), c.edges)) << "edges, into the picture itself";
        picture = toBitmap(c.picture);
        imaging::medianFilter(picture, picture);
        ASSERT_TRUE(samePixels(toPixels(picture), c.median)) << "median, into the picture itself";
    }
}

// The plane functions the benchmarks time, on a plane of the blue channel in a border of zeros: one
// pass, and all passes at once into a plane whose border held other values.
TEST(Kernels, PlaneFunctionsMatchTheReference) {
    const Pixels in = randomPixels(301, 203, 4);
    imaging::Plane source, onePass, allPasses;
    for (imaging::Plane* p : {&source, &onePass, &allPasses}) {
        p->fit(303, 205);
        std::fill_n(p->row(0), p->capacity(), p == &allPasses ? 7 : 0);
    }
    for (int y = 0; y < 203; ++y)
        for (int x = 0; x < 301; ++x) source.row(y + 1)[x + 1] = in.at(x, y).b;
    imaging::medianPass(source, onePass, 301, 203);
    imaging::medianPasses(source, allPasses, 301, 203);
    const Pixels one = referenceMedian5(in, 1);
    const Pixels all = referenceMedian5(in);
    for (int y = 0; y < 205; ++y)
        for (int x = 0; x < 303; ++x) {
            const bool inside = x > 0 && y > 0 && x < 302 && y < 204;
            const int oneExpected = inside ? one.at(x - 1, y - 1).b : 0;
            const int allExpected = inside ? all.at(x - 1, y - 1).b : 0;
            ASSERT_EQ(std::tuple(x, y, int{onePass.row(y)[x]}, int{allPasses.row(y)[x]}),
                      std::tuple(x, y, oneExpected, allExpected));
        }
}

// The grey picture shares the luma plane's pixels; the next press must not write through them into
// a picture already shown and saved.
TEST(Kernels, GreyPictureKeepsItsPixelsWhenThePlaneIsFilledAgain) {
    const Pixels first = randomPixels(700, 500, 1);
    platform::TBitmap firstGrey;
    imaging::lumaDecompose(toBitmap(first));
    imaging::lumaDisplay(firstGrey);
    for (const Pixels& next : {randomPixels(700, 500, 2), randomPixels(3, 3, 2), Pixels()}) {
        ASSERT_TRUE(samePixels(lumaOf(next), referenceLumaPicture(next)));
        EXPECT_TRUE(samePixels(toPixels(firstGrey), referenceLumaPicture(first)));
    }
}
