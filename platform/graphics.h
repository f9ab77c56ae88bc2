#pragma once
// Bitmaps and pictures: what a picture view holds and what an operation works on.
//
// A TBitmap holds its pixels in 24 bits, three bytes a pixel in blue, green, red order, each row
// padded to a multiple of four bytes (the row layout of a BMP file). Every picture is converted to
// that layout once, when it is loaded. The one other layout is grey, a byte a pixel holding its
// level: the grey picture is made that way, because writing it out in 24 bits would cost three
// times the memory traffic of working it out. Operations read their work copies in 24 bits only.
// Copies share their pixels until one of them asks for a writable row.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/pixel_store.h"

namespace platform {

enum class TPixelFormat {
    pf8bit,  // grey: one byte a pixel, its level (blue = green = red)
    pf24bit,
};

class TBitmap {
public:
    void Assign(const TBitmap& other);
    // Converting to 24 bits gives each pixel of a grey bitmap its level in blue, green and red; a
    // 24-bit bitmap is left as it is. Colour cannot be turned grey here: that is an operation's work.
    void SetPixelFormat(TPixelFormat format);
    TPixelFormat PixelFormat() const { return format_; }

    // Gives the bitmap pixels of its own of this size and layout; their values are undefined until
    // written.
    void SetSize(int width, int height, TPixelFormat format = TPixelFormat::pf24bit);

    std::uint8_t* GetScanline(int y);  // writable: unshares the pixels first
    const std::uint8_t* GetScanline(int y) const;

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    std::size_t Stride() const { return stride_; }

    // Reads a BMP file; throws Error naming the file and the reason.
    void LoadFromFile(const std::string& fileName);

private:
    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = TPixelFormat::pf24bit;
    std::size_t stride_ = 0;
    Bytes pixels_;
};

// Bytes in one row, padded to a multiple of four.
constexpr std::size_t strideOf(int width, TPixelFormat format = TPixelFormat::pf24bit) {
    const std::size_t bytesPerPixel = format == TPixelFormat::pf8bit ? 1 : 3;
    return (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~std::size_t{3};
}

// The picture a view shows. It always holds a bitmap, possibly an empty one.
class TPicture {
public:
    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }

    void Assign(const TBitmap& bitmap);
    // Loads a picture of the kind its extension names; on failure the picture is unchanged.
    void LoadFromFile(const std::string& fileName);

    std::function<void()> OnChange;

private:
    void changed() const;
    TBitmap bitmap_;
};

}  // namespace platform
