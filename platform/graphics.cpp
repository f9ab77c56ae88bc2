#include "platform/graphics.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/errors.h"
#include "platform/picture_reader.h"
#include "platform/rows/widening.h"
#include "platform/translation.h"

namespace platform {

// ---- TBitmap ----------------------------------------------------------------------------------

void TBitmap::Assign(const TBitmap& other) {
    if (this == &other) return;
    width_ = other.width_;
    height_ = other.height_;
    format_ = other.format_;
    stride_ = other.stride_;
    pixels_ = other.pixels_;
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == format_) return;
    if (format == TPixelFormat::pf8bit)
        throw std::invalid_argument(translate("Pictures", "a 24-bit bitmap cannot be made grey"));
    const TBitmap& grey = *this;
    TBitmap wide;
    wide.SetSize(width_, height_, format);
    for (int y = 0; y < height_; ++y) rows::widenGreyRow(grey.GetScanline(y), wide.GetScanline(y), width_);
    Assign(wide);
}

void TBitmap::SetSize(int width, int height, TPixelFormat format) {
    // Pixels of this very size that no one else sees serve as they are: their content is undefined
    // either way, and they are likely still in the cache.
    if (pixels_ && pixels_.use_count() == 1 && width == width_ && height == height_ && format == format_)
        return;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    format_ = format;
    stride_ = strideOf(width_, format_);
    pixels_ = Empty() ? nullptr : acquireBytes(stride_ * static_cast<std::size_t>(height_));
}

std::uint8_t* TBitmap::GetScanline(int y) {
    if (pixels_.use_count() > 1) {
        Bytes own = acquireBytes(stride_ * static_cast<std::size_t>(height_));
        std::memcpy(own.get(), pixels_.get(), stride_ * static_cast<std::size_t>(height_));
        pixels_ = std::move(own);
    }
    return pixels_.get() + stride_ * static_cast<std::size_t>(y);
}

const std::uint8_t* TBitmap::GetScanline(int y) const {
    return pixels_.get() + stride_ * static_cast<std::size_t>(y);
}

void TBitmap::LoadFromFile(const std::string& fileName) { Assign(loadBmp(fileName)); }

// ---- TPicture ---------------------------------------------------------------------------------

void TPicture::Assign(const TBitmap& bitmap) {
    bitmap_.Assign(bitmap);
    changed();
}

void TPicture::LoadFromFile(const std::string& fileName) {
    bitmap_.Assign(loadPicture(fileName));  // throws before anything changes; assigning cannot fail
    // The first two previews after loading each write a whole new picture of this size (the view
    // keeps the one before while the next is made); fresh pages for an 80-megapixel picture would
    // cost them several times the preview itself. Short of memory, the picture is loaded all the same.
    prepareBytes(bitmap_.Stride() * static_cast<std::size_t>(bitmap_.Height()), 2);
    changed();
}

void TPicture::changed() const {
    if (OnChange) OnChange();
}

}  // namespace platform
