#pragma once
// One input of the picture fuzzer, and of the regression tests that replay the inputs it found:
// the bytes of a picture file go through the loader, the 24-bit conversion, the stage-file writer
// and the reader, and every promise made on the way is checked.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace fuzzing {

// The first byte of an input chooses the extension the rest is saved under; the extensions cover
// every picture kind the program reads.
std::string extensionFor(std::uint8_t selector);

enum class Outcome { Loaded, Refused, Skipped };

struct Result {
    Outcome outcome = Outcome::Refused;
    std::string problem;  // empty unless a promise was broken; then it says which
};

// Pictures with more pixels than this are loaded and checked but not written back: a round trip
// of a picture near the loader's limit takes seconds and tells nothing a smaller one does not.
constexpr long long kMostRoundTripPixels = 1LL << 19;  // 1.5 MB: more than one of the writer's chunks

// A file whose reader announces more pixels than this, yet no more than the loader accepts, is
// skipped (Outcome::Skipped): decoding hundreds of megabytes from a few bytes of input is allowed,
// takes seconds, and would leave the fuzzer doing little else. The 24-bit BMP reader is the
// exception: it checks the file's length before it allocates, so it is always run.
constexpr long long kMostDecodedPixels = 1LL << 19;

// Saves `size` bytes after the selector into `scratch` (an empty directory), loads them, and, for
// a picture that loads, writes it as a 24-bit BMP and reads it back. Leaves `scratch` empty.
Result checkPictureBytes(const std::uint8_t* data, std::size_t size, const std::filesystem::path& scratch);

}  // namespace fuzzing
