#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "platform/graphics.h"
#include "support/test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> picturesIn(const std::string& set) {
    std::vector<fs::path> files;
    const fs::path suite = bmpSuite();
    if (suite.empty()) return files;
    for (const auto& entry : fs::directory_iterator(suite / set)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

#define SKIP_WITHOUT_SUITE()                                                                       \
    if (bmpSuite().empty()) GTEST_SKIP() << "no ../shared/testdata/bmpsuite beside this checkout"

int channelDistance(const Bgr& a, const Bgr& b) {
    return std::max({std::abs(a.b - b.b), std::abs(a.g - b.g), std::abs(a.r - b.r)});
}

}  // namespace

// Every valid layout loads with the colours of the same picture stored as plain 24-bit pixels.
TEST(BmpSuite, EveryValidLayoutLoadsWithTheRightColours) {
    SKIP_WITHOUT_SUITE();
    const Pixels truth = toPixels(platform::loadPicture((bmpSuite() / "g" / "rgb24.bmp").string()));
    ASSERT_EQ(truth.width, 127);
    for (const fs::path& file : picturesIn("g")) {
        SCOPED_TRACE(file.filename().string());
        Pixels loaded;
        ASSERT_NO_THROW(loaded = toPixels(platform::loadPicture(file.string())));
        const QImage byQt = QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(loaded.width, byQt.width());
        ASSERT_EQ(loaded.height, byQt.height());
        // Against the reader's own decoding: nothing is lost or turned on the way to 24 bits.
        for (int y = 0; y < loaded.height; y += 7)
            for (int x = 0; x < loaded.width; x += 5) {
                const QRgb q = byQt.pixel(x, y);
                ASSERT_EQ(loaded.at(x, y), (Bgr{static_cast<std::uint8_t>(qBlue(q)), static_cast<std::uint8_t>(qGreen(q)),
                                               static_cast<std::uint8_t>(qRed(q))}))
                    << x << "," << y;
            }
    }
}

// Layouts that store the same picture give the same colours: the reference is read through a
// different path (the 24-bit files by the program's own reader, the others by Qt's).
TEST(BmpSuite, LayoutsOfTheSamePictureAgree) {
    SKIP_WITHOUT_SUITE();
    struct Case {
        const char* file;
        const char* sameAs;
        int tolerance;  // 5- and 6-bit channels widen to 8 bits in more than one accepted way
    };
    for (const Case c : {Case{"rgb24pal.bmp", "rgb24.bmp", 0}, {"rgb32.bmp", "rgb24.bmp", 0},
                         {"rgb32bf.bmp", "rgb24.bmp", 0}, {"rgb32bfdef.bmp", "rgb24.bmp", 0},
                         {"rgb16.bmp", "rgb24.bmp", 10}, {"rgb16bfdef.bmp", "rgb24.bmp", 10},
                         {"rgb16-565.bmp", "rgb24.bmp", 10}, {"rgb16-565pal.bmp", "rgb24.bmp", 10},
                         {"pal8-0.bmp", "pal8.bmp", 0}, {"pal8os2.bmp", "pal8.bmp", 0}, {"pal8rle.bmp", "pal8.bmp", 0},
                         {"pal8topdown.bmp", "pal8.bmp", 0}, {"pal8v4.bmp", "pal8.bmp", 0}, {"pal8v5.bmp", "pal8.bmp", 0},
                         {"pal4rle.bmp", "pal4.bmp", 0}, {"pal1wb.bmp", "pal1.bmp", 0}}) {
        SCOPED_TRACE(c.file);
        const Pixels loaded = toPixels(platform::loadPicture((bmpSuite() / "g" / c.file).string()));
        const Pixels truth = toPixels(platform::loadPicture((bmpSuite() / "g" / c.sameAs).string()));
        ASSERT_EQ(loaded.width, truth.width);
        ASSERT_EQ(loaded.height, truth.height);
        for (int y = 0; y < truth.height; ++y)
            for (int x = 0; x < truth.width; ++x)
                ASSERT_LE(channelDistance(loaded.at(x, y), truth.at(x, y)), c.tolerance) << x << "," << y;
    }
}
