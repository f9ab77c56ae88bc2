#pragma once
// Grey rows widened to 24-bit rows: each grey level goes to blue, green and red of its pixel. Written
// once with Highway, like the kernels in imaging/, and run on the instruction set targets.h chose.
#include <cstdint>

namespace platform::rows {

void widenGreyRow(const std::uint8_t* grey, std::uint8_t* bgr, int width);

// widenGreyRow with stores that go around the cache: for a result too large to stay in it anyway,
// this saves reading each line of the destination before it is overwritten. A thread that used it
// calls finishStreaming before others may read what it wrote.
void widenGreyRowStreaming(const std::uint8_t* grey, std::uint8_t* bgr, int width);
// A row copied with stores that go around the cache, for the same reason.
void copyRowStreaming(const std::uint8_t* from, std::uint8_t* to, int width);
void finishStreaming();

}  // namespace platform::rows
