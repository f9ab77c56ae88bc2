// The three kernels against every reasonable OpenCV route to the same result, in one run and at
// equal thread counts: ours with the helper thread off and on, OpenCV with cv::setNumThreads(1) and
// (2). A plain copy of the same picture's bytes gives the machine's floor. Benchmark names are
// "kernel|who|threads|size|picture"; the table picks the fastest OpenCV route per row.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <utility>
#include <vector>

#include "imaging/edges.h"
#include "imaging/luma.h"
#include "imaging/median.h"
#include "imaging/parallel.h"
#include "imaging/row_kernels.h"
#include "pictures.h"
#include "plain.h"
#include "platform/rows/targets.h"

namespace {

constexpr int kThreshold = 128;

// A view of a 24-bit bitmap as an OpenCV matrix, without copying.
cv::Mat matOf(const platform::TBitmap& bitmap) {
    return cv::Mat(bitmap.Height(), bitmap.Width(), CV_8UC3, const_cast<std::uint8_t*>(bitmap.GetScanline(0)),
                   bitmap.Stride());
}

using platform::rows::Target;

// The instruction set the kernels run when no benchmark chooses one: the processor's best.
const Target kBestTarget = platform::rows::currentTarget();

// Who does the work, and on how many threads.
struct Runner {
    std::string who;  // "ours", "ours-" and a target, "plain", "copy", or "opencv-" and the route
    int threads;
    bool splitAlways = false;  // ours on two threads splits even the jobs it would keep on one
    Target target = kBestTarget;
};

void useThreads(benchmark::State& state, const Runner& runner) {
    imaging::useHelperThread(runner.threads > 1);
    imaging::splitEveryJob(runner.splitAlways);
    platform::rows::selectTarget(runner.target);
    cv::setNumThreads(runner.threads);
    if (runner.who.starts_with("ours")) state.SetLabel(platform::rows::targetName());
}

// Whether the row is ours, on whichever target.
bool ours(const Runner& runner) { return runner.who.starts_with("ours"); }

// The blue channel of a picture: in a plane with a zero border for ours, in a matrix for OpenCV.
struct BlueChannel {
    imaging::Plane plane;
    cv::Mat mat;
    explicit BlueChannel(const platform::TBitmap& picture) {
        const int w = picture.Width(), h = picture.Height();
        plane.fit(w + 2, h + 2);
        std::memset(plane.row(0), 0, static_cast<std::size_t>(w + 2) * (h + 2));
        mat.create(h, w, CV_8UC1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                plane.row(y + 1)[x + 1] = mat.at<std::uint8_t>(y, x) = picture.GetScanline(y)[3 * x];
    }
};

// ---- The OpenCV routes ------------------------------------------------------------------------
// Each starts from the 24-bit picture (or, for the median, the blue channel) and ends in an 8-bit
// map with 255 where the gradient is within the threshold, the same test as ours.
struct EdgeMats {
    cv::Mat grey, gx, gy, fx, fy, a, b, sum, out;
};
using EdgeRoute = void (*)(const cv::Mat& in, EdgeMats& m);

// The tests that end the routes, from the gradients in m.fx and m.fy: the magnitude against T, or
// the sum of squares against T^2.
void magnitudeWithinThreshold(EdgeMats& m) {
    cv::magnitude(m.fx, m.fy, m.sum);
    cv::compare(m.sum, kThreshold, m.out, cv::CMP_LE);
}
void squaresWithinThreshold(EdgeMats& m) {
    cv::multiply(m.fx, m.fx, m.a);
    cv::multiply(m.fy, m.fy, m.b);
    cv::add(m.a, m.b, m.sum);
    cv::compare(m.sum, kThreshold * kThreshold, m.out, cv::CMP_LE);
}

// Sobel into floats, the magnitude, compared with T.
void sobel32fMagnitude(const cv::Mat& in, EdgeMats& m) {
    cv::cvtColor(in, m.grey, cv::COLOR_BGR2GRAY);
    cv::Sobel(m.grey, m.fx, CV_32F, 1, 0);
    cv::Sobel(m.grey, m.fy, CV_32F, 0, 1);
    magnitudeWithinThreshold(m);
}
// Sobel into floats, the sum of squares, compared with T^2 (no square root).
void sobel32fSquares(const cv::Mat& in, EdgeMats& m) {
    cv::cvtColor(in, m.grey, cv::COLOR_BGR2GRAY);
    cv::Sobel(m.grey, m.fx, CV_32F, 1, 0);
    cv::Sobel(m.grey, m.fy, CV_32F, 0, 1);
    squaresWithinThreshold(m);
}
// The 16-bit gradients gx and gy widened to `depth` into fx and fy.
void widenGradients(EdgeMats& m, int depth) {
    m.gx.convertTo(m.fx, depth);
    m.gy.convertTo(m.fy, depth);
}
// Sobel into 16-bit integers (half the bytes of floats), widened to floats for the magnitude.
void sobel16sMagnitude(const cv::Mat& in, EdgeMats& m) {
    cv::cvtColor(in, m.grey, cv::COLOR_BGR2GRAY);
    cv::Sobel(m.grey, m.gx, CV_16S, 1, 0);
    cv::Sobel(m.grey, m.gy, CV_16S, 0, 1);
    widenGradients(m, CV_32F);
    magnitudeWithinThreshold(m);
}
// Both 3 x 3 Sobel gradients in one pass into 16-bit integers, widened to floats for the magnitude.
void spatialGradientMagnitude(const cv::Mat& in, EdgeMats& m) {
    cv::cvtColor(in, m.grey, cv::COLOR_BGR2GRAY);
    cv::spatialGradient(m.grey, m.gx, m.gy, 3);
    widenGradients(m, CV_32F);
    magnitudeWithinThreshold(m);
}
// The fastest of these in the cache, on strips of rows small enough that the float rows stay in it:
// the grey picture first, then per strip (on OpenCV's threads) the two gradients, the magnitude and
// the test. A filter on a strip of a larger matrix reads the rows beyond the strip, so the map is
// the same as on the whole picture.
void sobel32fMagnitudeStrips(const cv::Mat& in, EdgeMats& m) {
    constexpr int kStripRows = 32;
    cv::cvtColor(in, m.grey, cv::COLOR_BGR2GRAY);
    m.out.create(in.rows, in.cols, CV_8UC1);
    const int strips = (in.rows + kStripRows - 1) / kStripRows;
    cv::parallel_for_(cv::Range(0, strips), [&](const cv::Range& range) {
        cv::Mat fx, fy, magnitude;
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows(s * kStripRows, std::min((s + 1) * kStripRows, in.rows));
            cv::Sobel(m.grey.rowRange(rows), fx, CV_32F, 1, 0);
            cv::Sobel(m.grey.rowRange(rows), fy, CV_32F, 0, 1);
            cv::magnitude(fx, fy, magnitude);
            cv::Mat strip = m.out.rowRange(rows);
            cv::compare(magnitude, kThreshold, strip, cv::CMP_LE);
        }
    });
}
// Sobel into 16-bit integers, widened to 32-bit integers and squared exactly, compared with T^2.
void sobel16sSquares32s(const cv::Mat& in, EdgeMats& m) {
    cv::cvtColor(in, m.grey, cv::COLOR_BGR2GRAY);
    cv::Sobel(m.grey, m.gx, CV_16S, 1, 0);
    cv::Sobel(m.grey, m.gy, CV_16S, 0, 1);
    widenGradients(m, CV_32S);
    squaresWithinThreshold(m);
}

const std::vector<std::pair<const char*, EdgeRoute>>& edgeRoutes() {
    static const std::vector<std::pair<const char*, EdgeRoute>> all = {
        {"sobel32f-magnitude", sobel32fMagnitude},   {"sobel32f-squares", sobel32fSquares},
        {"sobel16s-magnitude", sobel16sMagnitude},   {"spatialgradient-magnitude", spatialGradientMagnitude},
        {"sobel16s-squares32s", sobel16sSquares32s}, {"sobel32f-magnitude-strips", sobel32fMagnitudeStrips},
    };
    return all;
}

// ---- The benchmarks ---------------------------------------------------------------------------

void luma(benchmark::State& state, const Runner& runner, const bench::Size& size, const std::string& kind) {
    const platform::TBitmap& picture = bench::picture(size, kind);
    useThreads(state, runner);
    platform::TBitmap grey;
    cv::Mat in = matOf(picture), out;
    for (auto _ : state) {
        if (runner.who == "plain") {
            bench::plain::luma(picture, grey);
            benchmark::DoNotOptimize(std::as_const(grey).GetScanline(0));
        } else if (ours(runner)) {
            // The last grey picture stays alive while the next is made, as in the window: the plane
            // then writes into other pixels than it did last time.
            imaging::lumaDecompose(picture);
            imaging::lumaDisplay(grey);
            benchmark::DoNotOptimize(std::as_const(grey).GetScanline(0));  // a writable row would copy it
        } else {
            cv::cvtColor(in, out, cv::COLOR_BGR2GRAY);
            benchmark::DoNotOptimize(out.data);
        }
    }
}

void median(benchmark::State& state, const Runner& runner, const bench::Size& size, const std::string& kind) {
    const platform::TBitmap& picture = bench::picture(size, kind);
    const int w = size.width, h = size.height;
    useThreads(state, runner);
    // Both sides start from the blue channel: ours in a plane with a zero border, OpenCV's in a
    // plain 8-bit matrix.
    static imaging::Plane result;
    const BlueChannel blue(picture);
    cv::Mat a, b;
    platform::TBitmap plainResult;
    for (auto _ : state) {
        if (runner.who == "plain") {
            bench::plain::median5(picture, plainResult);
            benchmark::DoNotOptimize(plainResult.GetScanline(0));
        } else if (ours(runner)) {
            imaging::medianPasses(blue.plane, result, w, h);
            benchmark::DoNotOptimize(result.row(0));
        } else {
            cv::medianBlur(blue.mat, a, 3);
            cv::medianBlur(a, b, 3);
            cv::medianBlur(b, a, 3);
            cv::medianBlur(a, b, 3);
            cv::medianBlur(b, a, 3);
            benchmark::DoNotOptimize(a.data);
        }
    }
}

void edges(benchmark::State& state, const Runner& runner, const bench::Size& size, const std::string& kind) {
    const platform::TBitmap& picture = bench::picture(size, kind);
    useThreads(state, runner);
    platform::TBitmap map;
    const cv::Mat in = matOf(picture);
    EdgeMats mats;
    EdgeRoute route = nullptr;
    for (const auto& [name, r] : edgeRoutes())
        if (runner.who == std::string("opencv-") + name) route = r;
    for (auto _ : state) {
        if (runner.who == "plain") {
            bench::plain::edges(picture, map, kThreshold);
            benchmark::DoNotOptimize(map.GetScanline(0));
        } else if (ours(runner)) {
            imaging::drawEdges(picture, map, kThreshold);
            benchmark::DoNotOptimize(map.GetScanline(0));
        } else {
            route(in, mats);
            benchmark::DoNotOptimize(mats.out.data);
        }
    }
}

// The floor: the picture's bytes copied into a buffer of the same size, by one thread or split
// between two the way the kernels split their rows.
void copy(benchmark::State& state, const Runner& runner, const bench::Size& size, const std::string& kind) {
    const platform::TBitmap& picture = bench::picture(size, kind);
    useThreads(state, runner);
    const std::size_t stride = picture.Stride();
    std::vector<std::uint8_t> target(stride * static_cast<std::size_t>(size.height));
    const std::uint8_t* from = picture.GetScanline(0);
    for (auto _ : state) {
        imaging::forRowsSplit(size.height, target.size(), imaging::kSplitAlways, [&](int begin, int end) {
            std::memcpy(target.data() + stride * begin, from + stride * begin, stride * (end - begin));
        });
        benchmark::DoNotOptimize(target.data());
    }
}

using Kernel = void (*)(benchmark::State&, const Runner&, const bench::Size&, const std::string&);

const std::vector<std::pair<const char*, Kernel>>& ourKernels() {
    static const std::vector<std::pair<const char*, Kernel>> all = {
        {"luma", luma}, {"median5", median}, {"edges", edges}};
    return all;
}

void registerKernels() {
    std::vector<std::pair<std::string, Kernel>> jobs;
    for (const bench::Size& size : bench::sizes())
        for (const std::string& kind : bench::kinds()) {
            auto add = [&](const char* what, Kernel kernel, const std::string& who, int threads,
                           Target target = kBestTarget) {
                const std::string id = std::string(what) + "|" + who + "|" + std::to_string(threads) + "|" +
                                       size.name() + "|" + kind;
                benchmark::RegisterBenchmark(id.c_str(), kernel, Runner{who, threads, false, target}, size,
                                             kind)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MinTime(0.1);
            };
            for (int threads : {1, 2}) {
                add("copy", copy, "copy", threads);
                add("luma", luma, "ours", threads);
                add("luma", luma, "opencv-cvtcolor", threads);
                add("median5", median, "ours", threads);
                add("median5", median, "opencv-medianblur", threads);
                add("edges", edges, "ours", threads);
                for (const auto& route : edgeRoutes())
                    add("edges", edges, std::string("opencv-") + route.first, threads);
            }
            // Every instruction set the processor has, on one thread, at 4000 x 3000.
            if (size.name() == "4000x3000" && kind == "photo")
                for (const Target target : platform::rows::compiledTargets())
                    if (platform::rows::targetSupported(target))
                        for (const auto& [what, kernel] : ourKernels())
                            add(what, kernel, std::string("ours-") + platform::rows::targetName(target), 1,
                                target);
            // The plain way takes seconds on the larger pictures; the smallest shows what it costs.
            if (&size == &bench::sizes().front()) {
                add("luma", luma, "plain", 1);
                add("median5", median, "plain", 1);
                add("edges", edges, "plain", 1);
            }
        }
}

// For choosing the split sizes: each kernel of ours on one thread and on two, with every job
// split, on pictures from 160 x 120 to 1024 x 768.
void registerSplitSweep() {
    for (const bench::Size size : {bench::Size{160, 120},
                                   {240, 180},
                                   {320, 240},
                                   {400, 300},
                                   {480, 360},
                                   {560, 420},
                                   {640, 480},
                                   {800, 600},
                                   {1024, 768}})
        for (const auto& [what, kernel] : ourKernels())
            for (int threads : {1, 2}) {
                const std::string id = std::string("split-") + what + "|ours|" + std::to_string(threads) +
                                       "|" + size.name() + "|photo";
                benchmark::RegisterBenchmark(id.c_str(), kernel, Runner{"ours", threads, threads == 2}, size,
                                             std::string("photo"))
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MinTime(0.05);
            }
}

// The processor's model name, from /proc/cpuinfo.
std::string processorModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
    // --split-sweep registers the split-size measurements instead of the kernel table.
    bool sweep = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--split-sweep")
            sweep = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    if (sweep)
        registerSplitSweep();
    else
        registerKernels();
    benchmark::AddCustomContext("processor", processorModel());
    benchmark::AddCustomContext("vector_build", platform::rows::targetName(kBestTarget));
    benchmark::AddCustomContext("opencv_version", CV_VERSION);
    benchmark::AddCustomContext("split_bytes_luma", std::to_string(imaging::kLumaSplit.bytes));
    benchmark::AddCustomContext("split_bytes_median5", std::to_string(imaging::kMedianSplit.bytes));
    benchmark::AddCustomContext("split_bytes_edges", std::to_string(imaging::kEdgesSplit.bytes));
    benchmark::AddCustomContext("opencv_simd",
                                cv::checkHardwareSupport(CV_CPU_AVX2) ? "AVX2 available" : "no AVX2");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
