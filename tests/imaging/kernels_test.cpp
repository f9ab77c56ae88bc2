// The three operations against their slow references, byte for byte, in every build of the row
// kernels (portable and vector, one thread and two), on designed pictures that each aim at one
// fault and on random pictures of many shapes.
#include "imaging/edges.h"
#include "imaging/luma.h"
#include "imaging/median.h"
#include "imaging/parallel.h"
#include "imaging/row_kernels.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

struct Input {
    std::string name;
    Pixels picture;
    int threshold;
};

// Grey `left` before column 3 and `right` from it on.
Pixels step(int w, int h, std::uint8_t left, std::uint8_t right) {
    Pixels p = grey(w, h, left);
    for (int i = 0; i < w * h; ++i) p.px[i] = i % w < 3 ? p.px[i] : grey(1, 1, right).px[0];
    return p;
}

std::vector<Input> inputs() {
    std::vector<Input> all = {{"flat: white inside, grey border", grey(6, 5, 90), 0},
                              {"the F", designedPicture(13, 9), 128},
                              {"pure red: only blue is filtered", Pixels(5, 4, {0, 0, 255}), 9},
                              {"full step: an edge at 255", step(6, 4, 0, 255), 255},
                              {"step of 5 levels: magnitude 20, no edge", step(6, 3, 100, 105), 20},
                              {"the same at T 19", step(6, 3, 100, 105), 19}};
    Pixels gradient(301, 7), whole(0, 1);  // magnitudes near every threshold, where < and <= differ
    for (int i = 0; i < 301 * 7; ++i)
        gradient.px[i] = grey(1, 1, std::uint8_t((i % 301) * (i % 301) / 7 + i / 301 * 9)).px[0];
    for (const int t : {0, 1, 4, 64, 128, 255}) all.push_back({"gradient", gradient, t});
    for (int c = 0; c < 1 << 24; ++c)  // every colour whose luma sum is whole, where the exact weights decide
        if ((299 * (c >> 16) + 587 * (c >> 8 & 255) + 114 * (c & 255)) % 1000 == 0)
            whole.px.push_back({std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)});
    all.push_back({"whole luma sums", (whole.width = static_cast<int>(whole.px.size()), whole), 0});
    // Random pictures: tiny ones, widths around the vector steps of 16 and 32 pixels, pictures past
    // the split between threads and past the caches, and small ones after large ones. Every other
    // one has three blue levels, for runs of equal values in the median.
    for (const auto& [w, h] :
         {std::pair{1, 1}, {2, 1},   {1, 2},      {3, 3},    {4, 5},       {5, 4},   {1, 40},  {40, 1},
          {2, 33},         {31, 2},  {16, 3},     {17, 3},   {32, 4},      {33, 5},  {34, 7},  {35, 6},
          {36, 9},         {63, 11}, {64, 12},    {65, 8},   {66, 3},      {67, 13}, {99, 17}, {131, 3},
          {1023, 611},     {5, 5},   {1201, 333}, {3, 1500}, {1203, 1171}, {37, 29}}) {
        Pixels p = randomPixels(w, h, static_cast<unsigned>(w * 1009 + h));
        for (Bgr& c : p.px) c.b = all.size() % 2 ? std::uint8_t(c.b % 3 * 120) : c.b;
        all.push_back(
            {std::to_string(w) + " x " + std::to_string(h), p, static_cast<int>(all.size() * 53 % 256)});
    }
    return all;
}

Pixels lumaOf(const Pixels& in) {
    imaging::lumaDecompose(toBitmap(in));
    platform::TBitmap out;
    imaging::lumaDisplay(out);
    return toPixels(out);
}

}  // namespace

// Reads and writes past the end of a row that leave the bytes right are the sanitizer build's to find.
TEST(Kernels, EveryBuildMatchesTheReferences) {
    EXPECT_EQ(imaging::rows::useWideVectors(true), imaging::rows::wideVectorsAvailable())
        << "the vector build is chosen at start";
    for (const Input& in : inputs()) {
        const Pixels luma = referenceLumaPicture(in.picture), median = referenceMedian5(in.picture),
                     edges = referenceEdges(in.picture, in.threshold);
        for (const bool vector : {true, false})
            for (const bool twoThreads : {true, false}) {
                SCOPED_TRACE(in.name + (vector ? ", vector" : ", portable") +
                             (twoThreads ? ", two threads" : ", one thread") + ", T " +
                             std::to_string(in.threshold));
                const bool oldVector = imaging::rows::useWideVectors(vector),
                           oldThreads = imaging::useHelperThread(twoThreads);
                ASSERT_EQ(lumaOf(in.picture), luma);
                platform::TBitmap picture = toBitmap(in.picture), out;
                imaging::medianFilter(picture, out);
                ASSERT_EQ(toPixels(out), median);
                imaging::drawEdges(picture, out, in.threshold);
                ASSERT_EQ(toPixels(out), edges);
                imaging::drawEdges(picture, picture, in.threshold);  // `into` may be `from`
                ASSERT_EQ(toPixels(picture), edges);
                imaging::medianFilter(picture = toBitmap(in.picture), picture);
                ASSERT_EQ(toPixels(picture), median);
                imaging::rows::useWideVectors(oldVector), imaging::useHelperThread(oldThreads);
            }
    }
}

// The plane functions the benchmarks time, on a plane of the blue channel in a border of zeros: one
// pass, and all passes at once into a plane whose border held other values.
TEST(Kernels, PlaneFunctionsMatchTheReference) {
    const Pixels in = randomPixels(301, 203, 4), one = referenceMedian5(in, 1), all = referenceMedian5(in);
    imaging::Plane source, onePass, allPasses;
    for (imaging::Plane* p : {&source, &onePass, &allPasses})
        p->fit(303, 205), std::fill_n(p->row(0), p->capacity(), p == &allPasses ? 7 : 0);
    for (int i = 0; i < 301 * 203; ++i) source.row(i / 301 + 1)[i % 301 + 1] = in.px[i].b;
    imaging::medianPass(source, onePass, 301, 203), imaging::medianPasses(source, allPasses, 301, 203);
    for (int y = 0, x = 0; y < 205; x = (x + 1) % 303, y += x == 0) {
        const bool inside = x > 0 && y > 0 && x < 302 && y < 204;
        ASSERT_EQ(onePass.row(y)[x], inside ? one.at(x - 1, y - 1).b : 0) << x << "," << y;
        ASSERT_EQ(allPasses.row(y)[x], inside ? all.at(x - 1, y - 1).b : 0) << x << "," << y;
    }
}

// The grey picture shares the luma plane's pixels; the next press must not write through them into
// a picture already shown and saved.
TEST(Kernels, GreyPictureKeepsItsPixelsWhenThePlaneIsFilledAgain) {
    const Pixels first = randomPixels(700, 500, 1);
    platform::TBitmap firstGrey;
    imaging::lumaDecompose(toBitmap(first)), imaging::lumaDisplay(firstGrey);
    for (const Pixels& next : {randomPixels(700, 500, 2), randomPixels(3, 3, 2), Pixels()}) {
        ASSERT_EQ(lumaOf(next), referenceLumaPicture(next));
        EXPECT_EQ(toPixels(firstGrey), referenceLumaPicture(first));
    }
}
