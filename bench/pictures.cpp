#include "pictures.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <random>

namespace bench {
namespace {

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Smooth light across the frame, a few large shapes with sharp outlines, fine texture and a little
// sensor noise: large flat-ish regions and edges, as in a photograph.
platform::TBitmap photoLike(int width, int height) {
    platform::TBitmap bitmap;
    bitmap.SetSize(width, height);
    std::mt19937 random(1234);
    std::normal_distribution<double> noise(0.0, 3.0);
    const double cx = width * 0.6, cy = height * 0.45, radius = std::min(width, height) * 0.25;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.GetScanline(y);
        const double fy = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            double b = 180 - 90 * fy + 20 * fx, g = 140 - 40 * fy + 30 * fx, r = 90 + 60 * fy + 40 * fx;
            const double dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy < radius * radius) b = 40 + 30 * fx, g = 120 + 50 * fy, r = 210 - 40 * fx;
            if (fx > 0.1 && fx < 0.35 && fy > 0.55 && fy < 0.9)
                b = 60, g = 70 + 30 * std::sin(x * 0.05), r = 80;
            const double texture = 6 * std::sin(x * 0.3) * std::sin(y * 0.21);
            row[3 * x] = clampByte(b + texture + noise(random));
            row[3 * x + 1] = clampByte(g + texture + noise(random));
            row[3 * x + 2] = clampByte(r + texture + noise(random));
        }
    }
    return bitmap;
}

platform::TBitmap randomPicture(int width, int height) {
    platform::TBitmap bitmap;
    bitmap.SetSize(width, height);
    std::mt19937 random(99);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.GetScanline(y);
        for (int x = 0; x < width * 3; x += 3) {
            const auto v = random();
            row[x] = static_cast<std::uint8_t>(v);
            row[x + 1] = static_cast<std::uint8_t>(v >> 8);
            row[x + 2] = static_cast<std::uint8_t>(v >> 16);
        }
    }
    return bitmap;
}

}  // namespace

const std::vector<Size>& sizes() {
    static const std::vector<Size> all = {{640, 480}, {1920, 1080}, {4000, 3000}};
    return all;
}

Size largeSize() { return {10000, 8000}; }

const std::vector<std::string>& kinds() {
    static const std::vector<std::string> all = {"photo", "random"};
    return all;
}

const platform::TBitmap& picture(const Size& size, const std::string& kind) {
    static std::map<std::string, platform::TBitmap> made;
    const std::string key = size.name() + "/" + kind;
    auto it = made.find(key);
    if (it == made.end())
        it = made.emplace(key, kind == "photo" ? photoLike(size.width, size.height)
                                               : randomPicture(size.width, size.height))
                 .first;
    return it->second;
}

}  // namespace bench
