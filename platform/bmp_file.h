#pragma once
// 24-bit uncompressed BMP files, the layout every stage file is written in. Reading this one
// layout here, instead of through the general picture readers, saves a full conversion pass on
// every stage file a press reads back.
#include <sys/types.h>

#include <exception>
#include <optional>
#include <string>

#include "platform/graphics.h"
#include "platform/opened_file.h"
#include "platform/rows_made.h"

namespace platform {

// Writes beside the target and exchanges the new file with the old one, so that at every instant
// the target is either the whole old file or the whole new one. Throws Error naming the file by
// its own name, its folder and the reason ("A.bmp: cannot write in /home/ana (...)"); a failure
// keeps the old file byte for byte and leaves no temporary file behind. The new file gets the mode
// any new file gets there (the umask, the folder's default ACL), so file systems without
// permissions, such as a FAT memory stick, take it as they take any file. The old file's name goes
// before this returns; the space it held is freed on a thread of its own.
void writeBmp24(const TBitmap& bitmap, const std::string& fileName);
// The same for a bitmap that another thread makes meanwhile, so that writing need not wait for the
// whole picture: its size is read once `made` tells of its first rows (or that the maker is done),
// each row is written once it is made, and the new file takes the name only once the maker is
// done. When the maker fails instead, the old file stays under the name, the new one is removed,
// and this throws MakingFailed.
void writeBmp24(const TBitmap& bitmap, const std::string& fileName, const RowsMade& made);
struct MakingFailed : std::exception {};

// Waits until every old file that a new stage file replaced has been freed.
void awaitOldFiles();

enum class BmpRead { Done, OtherLayout };
// Reads a 24-bit uncompressed BMP into `into`. Any other layout answers OtherLayout and leaves
// `into` alone; a 24-bit file that is cut short, or one of 0 x 0 pixels, throws, naming the file
// as the opened file is shown.
BmpRead readBmp24(const OpenedFile& file, TBitmap& into);
// The same, reading the rows through without keeping them.
BmpRead readBmp24Through(const OpenedFile& file);
BmpRead readBmp24(const std::string& fileName, TBitmap& into);

// For a BMP file of any other layout whose header announces uncompressed rows: why those rows do
// not fit in the file, or nothing when they do (or the header does not say).
std::optional<std::string> bmpRowsProblem(const OpenedFile& file);

// The system calls the stage-file writer makes, in the order it makes them. Tests replace one to
// make it fail with a chosen errno; setWriterCalls({}) puts back the system's.
struct WriterCalls {
    int (*create)(const char* path) = createNew;  // a new file, opened for writing
    ssize_t (*write)(int fd, const void* data, size_t size) = ::write;
    int (*close)(int fd) = ::close;
    int (*exchange)(const char* from, const char* to) = exchangeFiles;  // both names must exist
    int (*rename)(const char* from, const char* to) = ::rename;
    int (*unlink)(const char* path) = ::unlink;

    static int createNew(const char* path);
    static int exchangeFiles(const char* from, const char* to);
};
void setWriterCalls(const WriterCalls& calls);

}  // namespace platform
