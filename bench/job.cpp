// A picture's whole job as `edgepipe --batch` does it (grey, five medians of blue, the edges at 128,
// three 24-bit BMP files), done two other ways, for batch_bench.py, which times each as a process
// over the same JPEG pictures:
//
//   job_bench opencv OUTPUT PICTURE...  the same steps written with OpenCV as a user would write
//                                       them: imread, cvtColor, five medianBlur, Sobel, imwrite
//   job_bench floor OUTPUT PICTURE...   the floor of ours: the picture decoded as LOAD decodes it,
//                                       the three stage files written and the two that 濾波 and
//                                       SOBEL read read back, by our own readers and writer, with
//                                       nothing computed
//   job_bench jpeg BMP JPEG             makes the JPEG picture from a BMP one
//
// Picture i's files go to OUTPUT/i. OpenCV runs on two threads, as ours does.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/bmp_file.h"
#include "platform/graphics.h"

namespace {

namespace fs = std::filesystem;

constexpr int kThreshold = 128;

void writeWide(const fs::path& file, const cv::Mat& grey) {
    cv::Mat wide;
    cv::cvtColor(grey, wide, cv::COLOR_GRAY2BGR);
    if (!cv::imwrite(file.string(), wide)) throw std::runtime_error("cannot write " + file.string());
}

void withOpenCv(const std::string& picture, const fs::path& folder) {
    const cv::Mat colour = cv::imread(picture, cv::IMREAD_COLOR);
    if (colour.empty()) throw std::runtime_error("cannot read " + picture);
    cv::Mat grey, smooth, other, gx, gy, magnitude, edges;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    writeWide(folder / "A.bmp", grey);
    cv::extractChannel(colour, smooth, 0);
    for (int pass = 0; pass < 5; ++pass) {
        cv::medianBlur(smooth, other, 3);
        cv::swap(smooth, other);
    }
    writeWide(folder / "B.bmp", smooth);
    cv::Sobel(smooth, gx, CV_32F, 1, 0);
    cv::Sobel(smooth, gy, CV_32F, 0, 1);
    cv::magnitude(gx, gy, magnitude);
    cv::compare(magnitude, kThreshold, edges, cv::CMP_LE);
    writeWide(folder / "C.bmp", edges);
}

void floorOfOurs(const std::string& picture, const fs::path& folder) {
    platform::TPicture loaded;
    loaded.LoadFromFile(picture);
    const platform::TBitmap& colour = loaded.Bitmap();
    platform::TBitmap grey;  // the grey result's layout, one byte a pixel, widened as it is written
    grey.SetSize(colour.Width(), colour.Height(), platform::TPixelFormat::pf8bit);
    platform::writeBmp24(grey, (folder / "A.bmp").string());
    platform::writeBmp24(colour, (folder / "B.bmp").string());
    platform::writeBmp24(colour, (folder / "C.bmp").string());
    platform::TBitmap readBack;
    platform::readBmp24((folder / "A.bmp").string(), readBack);
    platform::readBmp24((folder / "B.bmp").string(), readBack);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "jpeg") {
            const cv::Mat picture = cv::imread(args[1], cv::IMREAD_COLOR);
            return !picture.empty() && cv::imwrite(args[2], picture, {cv::IMWRITE_JPEG_QUALITY, 90}) ? 0 : 1;
        }
        if (args.size() < 3 || (args[0] != "opencv" && args[0] != "floor")) {
            std::fprintf(stderr, "usage: job_bench opencv|floor OUTPUT PICTURE... | jpeg BMP JPEG\n");
            return 2;
        }
        if (args[0] == "floor") platform::Application->InitializeWithoutDisplay({argv[0]});
        cv::setNumThreads(2);
        for (std::size_t i = 2; i < args.size(); ++i) {
            const fs::path folder = fs::path(args[1]) / std::to_string(i - 1);
            fs::create_directories(folder);
            if (args[0] == "opencv")
                withOpenCv(args[i], folder);
            else
                floorOfOurs(args[i], folder);
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "job_bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
