#include "plain.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace bench::plain {
namespace {

// A plane of ints indexed [x][y]: the values of one column lie together.
struct ColumnPlane {
    int width = 0, height = 0;
    std::vector<int> cells;
    void fit(int w, int h) {
        width = w, height = h;
        if (cells.size() < static_cast<std::size_t>(w) * h) cells.resize(static_cast<std::size_t>(w) * h);
    }
    int& at(int x, int y) { return cells[static_cast<std::size_t>(x) * height + y]; }
};

void sameSize(const platform::TBitmap& from, platform::TBitmap& into) {
    into.SetSize(from.Width(), from.Height());
}

}  // namespace

void luma(const platform::TBitmap& picture, platform::TBitmap& grey) {
    static ColumnPlane plane;
    plane.fit(picture.Width(), picture.Height());
    for (int y = 0; y < picture.Height(); ++y) {
        const std::uint8_t* px = picture.GetScanline(y);
        for (int x = 0; x < picture.Width(); ++x, px += 3)
            plane.at(x, y) = static_cast<int>(0.299L * px[2] + 0.587L * px[1] + 0.114L * px[0]);
    }
    sameSize(picture, grey);
    for (int y = 0; y < grey.Height(); ++y) {
        std::uint8_t* px = grey.GetScanline(y);
        for (int x = 0; x < grey.Width(); ++x, px += 3)
            px[0] = px[1] = px[2] = static_cast<std::uint8_t>(plane.at(x, y));
    }
}

void median5(const platform::TBitmap& picture, platform::TBitmap& smooth) {
    static ColumnPlane plane;
    const int w = picture.Width(), h = picture.Height();
    smooth.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) smooth.GetScanline(y)[3 * x] = picture.GetScanline(y)[3 * x];
    plane.fit(w + 2, h + 2);
    for (int pass = 0; pass < 5; ++pass) {
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* px = smooth.GetScanline(y);
            for (int x = 0; x < w; ++x) plane.at(x + 1, y + 1) = px[3 * x];  // the border stays 0
        }
        for (int y = 0; y < h; ++y) {
            std::uint8_t* px = smooth.GetScanline(y);
            for (int x = 0; x < w; ++x) {
                int v[9], n = 0;
                for (int dy = 0; dy < 3; ++dy)
                    for (int dx = 0; dx < 3; ++dx) v[n++] = plane.at(x + dx, y + dy);
                for (int i = 0; i < 8; ++i)
                    for (int j = i + 1; j < 9; ++j)
                        if (v[i] < v[j]) std::swap(v[i], v[j]);
                px[3 * x] = px[3 * x + 1] = px[3 * x + 2] = static_cast<std::uint8_t>(std::abs(v[4]));
            }
        }
    }
}

void edges(const platform::TBitmap& picture, platform::TBitmap& map, int threshold) {
    const int w = picture.Width(), h = picture.Height();
    std::vector<std::vector<int>> g(static_cast<std::size_t>(h),
                                    std::vector<int>(static_cast<std::size_t>(w)));
    sameSize(picture, map);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = picture.GetScanline(y);
        std::uint8_t* out = map.GetScanline(y);
        for (int x = 0; x < w; ++x) {
            g[y][x] = (28 * in[3 * x] + 151 * in[3 * x + 1] + 77 * in[3 * x + 2]) >> 8;
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = static_cast<std::uint8_t>(g[y][x]);
        }
    }
    for (int y = 1; y < h - 1; ++y) {
        std::uint8_t* out = map.GetScanline(y);
        for (int x = 1; x < w - 1; ++x) {
            const int gv = (g[y + 1][x - 1] + 2 * g[y + 1][x] + g[y + 1][x + 1]) -
                           (g[y - 1][x - 1] + 2 * g[y - 1][x] + g[y - 1][x + 1]);
            const int gh = (g[y - 1][x - 1] + 2 * g[y][x - 1] + g[y + 1][x - 1]) -
                           (g[y - 1][x + 1] + 2 * g[y][x + 1] + g[y + 1][x + 1]);
            const std::uint8_t v = std::sqrt(static_cast<double>(gv * gv + gh * gh)) <= threshold ? 255 : 0;
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
        }
    }
}

}  // namespace bench::plain
