#pragma once
// Reading picture files of every kind the program knows into a 24-bit bitmap, and telling a
// damaged file from a whole one.
#include <string>
#include <vector>

#include "platform/graphics.h"

namespace platform {

// A picture kind the program reads: its name for people and the extensions that select it.
struct PictureKind {
    std::string name;
    std::vector<std::string> extensions;  // lower case, with the dot
    std::string readerFormat;
};
const std::vector<PictureKind>& pictureKinds();
// The kind a lower-case extension (".jpg", see lowerExtension) names, or null.
const PictureKind* kindForExtension(const std::string& extension);

// Loads any picture kind into a 24-bit bitmap, or throws. Pictures with more pixels than
// kMostPixels are refused from their header, before anything is decoded.
constexpr long long kMostPixels = 1LL << 27;  // 134 megapixels
TBitmap loadPicture(const std::string& fileName);
// Why a picture file is refused, in the user's language, shared with the stage files' own reader:
// "picture too large (W x H pixels; ...)", saying the limit; "empty picture (0 x 0 pixels)";
// "damaged or cut short (detail)".
std::string tooLargeReason(long long width, long long height);
std::string emptyPictureReason();
std::string damagedReason(const std::string& detail);
// Reads a stage file: any BMP file, named in messages by its own name.
TBitmap loadBmp(const std::string& fileName);
// Reads a stage file as loadBmp does, failing where it fails, without keeping the picture.
void readBmpThrough(const std::string& fileName);

// The size a picture file's header announces to the reader of the kind its extension names, as
// loadPicture asks it; -1 x -1 when the kind is unknown, the file cannot be read or the header
// does not say.
struct AnnouncedSize {
    long long width = -1;
    long long height = -1;
};
AnnouncedSize announcedSize(const std::string& fileName);

}  // namespace platform
