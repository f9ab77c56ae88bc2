#pragma once
// 24-bit uncompressed BMP files, the layout every stage file is written in. Reading this one
// layout here, instead of through the general picture readers, saves a full conversion pass on
// every stage file a press reads back.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/graphics.h"

namespace platform {

// Writes beside the target and exchanges the new file with the old one, so that at every instant
// the target is either the whole old file or the whole new one. Throws Error naming the file by
// its own name, its folder and the reason ("A.bmp: cannot write in /home/ana (...)"); a failure
// keeps the old file byte for byte and leaves no temporary file behind.
void writeBmp24(const TBitmap& bitmap, const std::string& fileName);

enum class BmpRead { Done, OtherLayout };
// Reads a 24-bit uncompressed BMP into `into`. Any other layout answers OtherLayout and leaves
// `into` alone; a 24-bit file that is cut short, or one of 0 x 0 pixels, throws. Messages name
// the file as `shownName` (by default, as given).
BmpRead readBmp24(const std::string& fileName, TBitmap& into, const std::string& shownName = {});

// For a BMP file of any other layout whose header announces uncompressed rows: why those rows do
// not fit in the file, or empty when they do (or the header does not say).
std::string bmpRowsProblem(const std::string& fileName);

// The system calls the stage-file writer makes, in the order it makes them. Tests replace one to
// make it fail with a chosen errno; setWriterCalls({}) puts back the system's.
struct WriterCalls {
    int (*makeTemporary)(char* pattern, int flags) = ::mkostemp;
    ssize_t (*write)(int fd, const void* data, size_t size) = ::write;
    int (*fchmod)(int fd, mode_t mode) = ::fchmod;
    int (*close)(int fd) = ::close;
    int (*exchange)(const char* from, const char* to) = exchangeFiles;  // both names must exist
    int (*rename)(const char* from, const char* to) = ::rename;
    int (*unlink)(const char* path) = ::unlink;

    static int exchangeFiles(const char* from, const char* to);
};
void setWriterCalls(const WriterCalls& calls);
const WriterCalls& writerCalls();

// Replaces only the write call: nullptr puts back every system call.
using WriteFunction = ssize_t (*)(int fd, const void* data, size_t size);
void setWriteFunction(WriteFunction write);

}  // namespace platform
