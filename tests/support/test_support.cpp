#include "support/test_support.h"

#include "platform/errors.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

#include "platform/bmp_file.h"

namespace testing_support {

namespace fs = std::filesystem;

void InTempDir::SetUp() {
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "edgepipe-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
}

void InTempDir::TearDown() {
    fs::current_path(previous_);
    std::error_code ignored;
    // A test may have taken away permissions; give them back so the folder can go.
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
}

PromptScript::PromptScript() {
    auto prompts = std::make_unique<ScriptedPrompts>();
    prompts_ = prompts.get();
    previous_ = platform::setPrompts(std::move(prompts));
}

PromptScript::~PromptScript() { platform::setPrompts(std::move(previous_)); }

void PrintTo(const Pixels& pixels, std::ostream* out) {
    *out << pixels.width << " x " << pixels.height << " picture {";
    for (std::size_t i = 0; i < std::min<std::size_t>(pixels.px.size(), 6); ++i)
        *out << " (" << int(pixels.px[i].b) << "," << int(pixels.px[i].g) << "," << int(pixels.px[i].r) << ")";
    *out << (pixels.px.size() > 6 ? " ... }" : " }");
}

platform::TBitmap toBitmap(const Pixels& pixels) {
    platform::TBitmap bitmap;
    bitmap.SetSize(pixels.width, pixels.height);
    for (int y = 0; y < pixels.height; ++y) {
        std::uint8_t* row = bitmap.GetScanline(y);
        for (int x = 0; x < pixels.width; ++x) {
            row[3 * x] = pixels.at(x, y).b;
            row[3 * x + 1] = pixels.at(x, y).g;
            row[3 * x + 2] = pixels.at(x, y).r;
        }
    }
    return bitmap;
}

QImage toQImage(const Pixels& p) {
    QImage image(p.width, p.height, QImage::Format_RGB32);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) image.setPixel(x, y, qRgb(p.at(x, y).r, p.at(x, y).g, p.at(x, y).b));
    return image;
}

Pixels toPixels(const platform::TBitmap& picture) {
    platform::TBitmap bitmap;  // grey pictures are read in 24 bits, as the operations read them
    bitmap.Assign(picture);
    bitmap.SetPixelFormat(platform::TPixelFormat::pf24bit);
    Pixels pixels(bitmap.Width(), bitmap.Height());
    if (bitmap.Empty()) return Pixels();
    for (int y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = bitmap.GetScanline(y);
        for (int x = 0; x < pixels.width; ++x) pixels.at(x, y) = {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    }
    return pixels;
}

Pixels randomPixels(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    Pixels pixels(width, height);
    for (Bgr& p : pixels.px) {
        const auto v = random();
        p = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16)};
    }
    return pixels;
}

Pixels designedPicture(int width, int height) {
    Pixels pixels(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.at(x, y) = {static_cast<std::uint8_t>(40 + 3 * x % 200), static_cast<std::uint8_t>(90 + 5 * y % 150),
                               static_cast<std::uint8_t>(200 - (x + y) % 180)};
    // The "F": a stem on the left, a long bar at the top, a short one in the middle.
    const Bgr ink{10, 250, 30};
    for (int y = height / 5; y < height * 4 / 5; ++y) pixels.at(width / 4, y) = ink;
    for (int x = width / 4; x < width * 3 / 4; ++x) pixels.at(x, height / 5) = ink;
    for (int x = width / 4; x < width / 2; ++x) pixels.at(x, height / 2) = ink;
    return pixels;
}

std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::Error& e) {
        return e.what();
    }
    return "(no failure)";
}

std::vector<std::uint8_t> readFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFileBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Pixels parseStageFile(const fs::path& path) {
    const std::vector<std::uint8_t> b = readFileBytes(path);
    auto u32 = [&](std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24; };
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || u32(14) != 40 || b[28] != 24 || u32(30) != 0) {
        ADD_FAILURE() << path << " is not a 24-bit BMP file";
        return Pixels();
    }
    const int w = static_cast<int>(u32(18)), h = static_cast<int>(u32(22));
    const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4;
    if (b.size() != 54 + stride * static_cast<std::size_t>(h) || u32(2) != b.size()) {
        ADD_FAILURE() << path << " has the wrong size";
        return Pixels();
    }
    if (w == 0 || h == 0) return Pixels();
    Pixels p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t at = 54 + stride * static_cast<std::size_t>(h - 1 - y) + 3 * static_cast<std::size_t>(x);
            p.at(x, y) = {b[at], b[at + 1], b[at + 2]};
        }
    return p;
}

std::uint8_t referenceLuma(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    // Each product and the sum fit the 64-bit mantissa of the x87 extended type exactly.
    const long double y = static_cast<long double>(0.299) * r + static_cast<long double>(0.587) * g +
                          static_cast<long double>(0.114) * b;
    return static_cast<std::uint8_t>(static_cast<int>(y));
}

Pixels referenceLumaPicture(const Pixels& in) {
    Pixels out(in.width, in.height);
    for (std::size_t i = 0; i < in.px.size(); ++i) {
        const std::uint8_t y = referenceLuma(in.px[i].r, in.px[i].g, in.px[i].b);
        out.px[i] = {y, y, y};
    }
    return out;
}

namespace {

int medianBySorting(int v[9]) {
    for (int i = 0; i < 8; ++i)
        for (int j = i + 1; j < 9; ++j)
            if (v[i] < v[j]) std::swap(v[i], v[j]);
    return std::abs(v[4]);
}

}  // namespace

Pixels referenceMedian5(const Pixels& in) {
    Pixels out = in;
    for (int pass = 0; pass < 5; ++pass) {
        const Pixels snapshot = out;
        auto blue = [&](int x, int y) {
            return x < 0 || y < 0 || x >= in.width || y >= in.height ? 0 : int{snapshot.at(x, y).b};
        };
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                int v[9] = {blue(x - 1, y - 1), blue(x, y - 1), blue(x + 1, y - 1), blue(x - 1, y), blue(x, y),
                            blue(x + 1, y),     blue(x - 1, y + 1), blue(x, y + 1), blue(x + 1, y + 1)};
                const auto m = static_cast<std::uint8_t>(medianBySorting(v));
                out.at(x, y) = {m, m, m};
            }
    }
    return out;
}

Pixels referenceEdges(const Pixels& in, int threshold) {
    Pixels out(in.width, in.height);
    std::vector<std::vector<int>> g(static_cast<std::size_t>(in.height), std::vector<int>(static_cast<std::size_t>(in.width)));
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const Bgr p = in.at(x, y);
            g[y][x] = (28 * p.b + 151 * p.g + 77 * p.r) >> 8;
            const auto v = static_cast<std::uint8_t>(g[y][x]);
            out.at(x, y) = {v, v, v};
        }
    for (int y = 1; y < in.height - 1; ++y)
        for (int x = 1; x < in.width - 1; ++x) {
            const int gv = (g[y + 1][x - 1] + 2 * g[y + 1][x] + g[y + 1][x + 1]) -
                           (g[y - 1][x - 1] + 2 * g[y - 1][x] + g[y - 1][x + 1]);
            const int gh = (g[y - 1][x - 1] + 2 * g[y][x - 1] + g[y + 1][x - 1]) -
                           (g[y - 1][x + 1] + 2 * g[y][x + 1] + g[y + 1][x + 1]);
            const double m = std::sqrt(static_cast<double>(gv * gv + gh * gh));
            const std::uint8_t v = m <= threshold ? 255 : 0;
            out.at(x, y) = {v, v, v};
        }
    return out;
}

namespace {

std::size_t writeBudget = 0;

ssize_t writeUntilFull(int fd, const void* data, size_t size) {
    if (writeBudget == 0) {
        errno = ENOSPC;
        return -1;
    }
    const size_t n = std::min(size, writeBudget);
    writeBudget -= n;
    return ::write(fd, data, n);
}

}  // namespace

FullDiskAfter::FullDiskAfter(std::size_t budget) {
    writeBudget = budget;
    platform::setWriteFunction(writeUntilFull);
}

FullDiskAfter::~FullDiskAfter() { platform::setWriteFunction(nullptr); }

fs::path bmpSuite() {
    const fs::path suite = EDGEPIPE_BMPSUITE;
    std::error_code ignored;
    return fs::is_directory(suite / "g", ignored) ? fs::canonical(suite) : fs::path();
}

}  // namespace testing_support
