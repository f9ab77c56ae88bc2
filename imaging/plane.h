#pragma once
// A plane of one byte per pixel that lives for the whole run. It grows to hold the largest picture
// seen so far and never shrinks, so no press pays for allocating it again.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging {

class Plane {
public:
    // Lays the plane out as `width` x `height` cells, row after row, growing it if needed.
    void fit(int width, int height) {
        width_ = width;
        height_ = height;
        const std::size_t needed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        if (needed > cells_.size()) cells_.resize(needed);
    }
    std::uint8_t* row(int y) { return cells_.data() + static_cast<std::size_t>(y) * width_; }
    const std::uint8_t* row(int y) const { return cells_.data() + static_cast<std::size_t>(y) * width_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    std::vector<std::uint8_t> cells_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace imaging
