#pragma once
// 24-bit uncompressed BMP files, the layout every stage file is written in. Reading this one
// layout here, instead of through the general picture readers, saves a full conversion pass on
// every stage file a press reads back.
#include <sys/types.h>
#include <string>

#include "platform/graphics.h"

namespace platform {

// Writes beside the target and renames over it, so the target is either the old file or the
// whole new one. Throws Error naming the file and the reason; leaves no temporary file behind.
void writeBmp24(const TBitmap& bitmap, const std::string& fileName);

enum class BmpRead { Done, OtherLayout };
// Reads a 24-bit uncompressed BMP into `into`. Any other layout answers OtherLayout and leaves
// `into` alone; a 24-bit file that is cut short, or one of 0 x 0 pixels, throws.
BmpRead readBmp24(const std::string& fileName, TBitmap& into);

// The call that writes bytes to an open file. Tests replace it to make a disk that fills up;
// nullptr puts back the system's write.
using WriteFunction = ssize_t (*)(int fd, const void* data, size_t size);
void setWriteFunction(WriteFunction write);

}  // namespace platform
