// The three kernels against OpenCV on the same pictures, in one run: ours with two threads and
// with one, OpenCV pinned to one thread and with its default thread count.
#include <benchmark/benchmark.h>

#include <cstring>
#include <utility>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/edges.h"
#include "imaging/luma.h"
#include "imaging/median.h"
#include "imaging/parallel.h"
#include "pictures.h"
#include "plain.h"

namespace {

constexpr int kThreshold = 128;

// A view of a 24-bit bitmap as an OpenCV matrix, without copying.
cv::Mat matOf(const platform::TBitmap& bitmap) {
    return cv::Mat(bitmap.Height(), bitmap.Width(), CV_8UC3, const_cast<std::uint8_t*>(bitmap.GetScanline(0)),
                   bitmap.Stride());
}

// Who runs a row, and on how many threads.
enum class Who { Ours, OpenCv, Plain };
struct Runner {
    const char* name;
    Who who;
    int threads;  // ours: 1 or 2; OpenCV: 1, or 0 for its default; plain: 1
    bool ours() const { return who == Who::Ours; }
};
const Runner kRunners[] = {{"ours", Who::Ours, 2},
                           {"ours-1thread", Who::Ours, 1},
                           {"opencv-1thread", Who::OpenCv, 1},
                           {"opencv-default", Who::OpenCv, 0},
                           {"plain", Who::Plain, 1}};

int openCvDefaultThreads = 0;

void useThreads(const Runner& runner) {
    if (runner.who != Who::OpenCv) {
        imaging::useHelperThread(runner.threads > 1);
    } else {
        imaging::useHelperThread(true);
        cv::setNumThreads(runner.threads == 0 ? openCvDefaultThreads : runner.threads);
    }
}

void luma(benchmark::State& state, const Runner& runner, const bench::Size& size, const std::string& kind) {
    const platform::TBitmap& picture = bench::picture(size, kind);
    useThreads(runner);
    platform::TBitmap grey;
    cv::Mat in = matOf(picture), out;
    for (auto _ : state) {
        if (runner.who == Who::Plain) {
            bench::plain::luma(picture, grey);
            benchmark::DoNotOptimize(std::as_const(grey).GetScanline(0));
        } else if (runner.ours()) {
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
    useThreads(runner);
    // Both sides start from the blue channel: ours in a plane with a zero border, OpenCV's in a
    // plain 8-bit matrix.
    static imaging::Plane source, result;
    source.fit(w + 2, h + 2);
    std::memset(source.row(0), 0, static_cast<std::size_t>(w + 2) * (h + 2));
    cv::Mat blue(h, w, CV_8UC1), a, b;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) source.row(y + 1)[x + 1] = blue.at<std::uint8_t>(y, x) = picture.GetScanline(y)[3 * x];
    platform::TBitmap plainResult;
    for (auto _ : state) {
        if (runner.who == Who::Plain) {
            bench::plain::median5(picture, plainResult);
            benchmark::DoNotOptimize(plainResult.GetScanline(0));
        } else if (runner.ours()) {
            imaging::medianPasses(source, result, w, h);
            benchmark::DoNotOptimize(result.row(0));
        } else {
            cv::medianBlur(blue, a, 3);
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
    useThreads(runner);
    platform::TBitmap map;
    cv::Mat in = matOf(picture), grey, gx, gy, wideX, wideY, gx2, gy2, sum, out;
    for (auto _ : state) {
        if (runner.who == Who::Plain) {
            bench::plain::edges(picture, map, kThreshold);
            benchmark::DoNotOptimize(map.GetScanline(0));
        } else if (runner.ours()) {
            imaging::drawEdges(picture, map, kThreshold);
            benchmark::DoNotOptimize(map.GetScanline(0));
        } else {
            cv::cvtColor(in, grey, cv::COLOR_BGR2GRAY);
            cv::Sobel(grey, gx, CV_16S, 1, 0);
            cv::Sobel(grey, gy, CV_16S, 0, 1);
            // Squares in 32-bit integers, as ours decides; widening first is OpenCV's fast way there
            // (multiplying 16-bit matrices straight into 32-bit takes several times as long).
            gx.convertTo(wideX, CV_32S);
            gy.convertTo(wideY, CV_32S);
            cv::multiply(wideX, wideX, gx2);
            cv::multiply(wideY, wideY, gy2);
            cv::add(gx2, gy2, sum);
            cv::compare(sum, kThreshold * kThreshold, out, cv::CMP_LE);  // 255 within, 0 beyond
            benchmark::DoNotOptimize(out.data);
        }
    }
}

using Kernel = void (*)(benchmark::State&, const Runner&, const bench::Size&, const std::string&);

}  // namespace

int main(int argc, char** argv) {
    openCvDefaultThreads = cv::getNumThreads();
    const std::pair<const char*, Kernel> kernels[] = {{"luma", luma}, {"median5", median}, {"edges", edges}};
    for (const bench::Size& size : bench::sizes())
        for (const std::string& kind : bench::kinds())
            for (const auto& [name, kernel] : kernels)
                for (const Runner& runner : kRunners) {
                    const std::string id = std::string(name) + "|" + runner.name + "|" + size.name() + "|" + kind;
                    benchmark::RegisterBenchmark(id.c_str(), kernel, runner, size, kind)
                        ->Unit(benchmark::kMillisecond)
                        ->UseRealTime()
                        ->MinTime(0.2);
                }
    benchmark::AddCustomContext("opencv_default_threads", std::to_string(openCvDefaultThreads));
    benchmark::AddCustomContext("opencv_version", CV_VERSION);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
