#pragma once
// The pictures the benchmarks run on: the three sizes, a photo-like picture and a random one.
#include <string>
#include <vector>

#include "platform/graphics.h"

namespace bench {

struct Size {
    int width, height;
    std::string name() const { return std::to_string(width) + "x" + std::to_string(height); }
};

const std::vector<Size>& sizes();
// The large picture the presses are also timed on, 10000 x 8000.
Size largeSize();
const std::vector<std::string>& kinds();  // "photo", "random"

// Made once per size and kind, then shared; callers must not write into it.
const platform::TBitmap& picture(const Size& size, const std::string& kind);

}  // namespace bench
