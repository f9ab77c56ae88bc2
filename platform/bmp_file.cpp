#include "platform/bmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/errors.h"

namespace platform {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
constexpr std::uint32_t kPixelsPerMetre = 3780;  // 96 pixels per inch
constexpr std::size_t kChunkSize = 128 << 10;

WriteFunction currentWrite = ::write;

std::string systemReason(int error) { return std::strerror(error); }

void put16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t get16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }
std::uint32_t get32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

std::vector<std::uint8_t> headersFor(int width, int height) {
    const std::uint64_t imageSize = strideOf(width) * static_cast<std::uint64_t>(height);
    std::vector<std::uint8_t> h(kHeadersSize, 0);
    h[0] = 'B';
    h[1] = 'M';
    put32(&h[2], static_cast<std::uint32_t>(kHeadersSize + imageSize));
    put32(&h[10], kHeadersSize);
    put32(&h[14], kInfoHeaderSize);
    put32(&h[18], static_cast<std::uint32_t>(width));
    put32(&h[22], static_cast<std::uint32_t>(height));  // positive: rows run bottom-up
    put16(&h[26], 1);                                   // planes
    put16(&h[28], 24);                                  // bits per pixel
    put32(&h[30], 0);                                   // uncompressed
    put32(&h[34], static_cast<std::uint32_t>(imageSize));
    put32(&h[38], kPixelsPerMetre);
    put32(&h[42], kPixelsPerMetre);
    return h;
}

// An open temporary file beside the target; removed unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : target_(target), path_(target + ".XXXXXX") {
        fd_ = ::mkstemp(path_.data());
        if (fd_ < 0) failFile(target_, "cannot write (" + systemReason(errno) + ")");
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!renamed_) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = currentWrite(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail(n < 0 ? errno : ENOSPC);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    void moveIntoPlace() {
        // mkstemp makes the file private; a stage file gets the permissions any new file gets.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd_, 0666 & ~mask) != 0) fail(errno);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail(errno);
        // The old file goes first: renaming over it would have the file system (ext4's replace
        // guard) send the whole new file to the disk before the press returns, about twice what
        // writing it cost (36 MB: 37 ms against 15). A stage file is made again by pressing again,
        // so it needs no such guard against a power cut; and every failure to write comes before
        // this point, so it still leaves the old file as it was.
        ::unlink(target_.c_str());  // nothing there, or a directory: the rename says what is wrong
        if (::rename(path_.c_str(), target_.c_str()) != 0) fail(errno);
        renamed_ = true;
    }

private:
    [[noreturn]] void fail(int error) { failFile(target_, "cannot write (" + systemReason(error) + ")"); }

    std::string target_;
    std::string path_;
    int fd_ = -1;
    bool renamed_ = false;
};

class FileReader {
public:
    explicit FileReader(const std::string& fileName) : name_(fileName) {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            failFile(name_, errno == ENOENT ? "no such file" : "cannot read (" + systemReason(errno) + ")");
        struct stat st {};
        if (::fstat(fd_, &st) != 0) failFile(name_, "cannot read (" + systemReason(errno) + ")");
        if (S_ISDIR(st.st_mode)) failFile(name_, "is a directory, not a picture");
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~FileReader() { ::close(fd_); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    std::uint64_t size() const { return size_; }

    // Reads exactly `size` bytes at `offset`; false if the file ends first.
    bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::pread(fd_, into, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failFile(name_, "cannot read (" + systemReason(errno) + ")");
            if (n == 0) return false;
            into += n;
            offset += static_cast<std::uint64_t>(n);
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    std::string name_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace

void setWriteFunction(WriteFunction write) { currentWrite = write ? write : ::write; }

void writeBmp24(const TBitmap& bitmap, const std::string& fileName) {
    const int width = bitmap.Width(), height = bitmap.Height();
    const bool empty = bitmap.Empty();
    TemporaryFile file(fileName);
    file.write(headersFor(empty ? 0 : width, empty ? 0 : height).data(), kHeadersSize);

    // Rows go out bottom-up, gathered into chunks; padding is written as zeros whatever the
    // bitmap's padding bytes hold.
    const std::size_t stride = strideOf(width);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const bool grey = bitmap.PixelFormat() == TPixelFormat::pf8bit;  // written in 24 bits all the same
    std::vector<std::uint8_t> chunk(std::max(kChunkSize, stride), 0);
    std::size_t used = 0;
    for (int y = empty ? -1 : height - 1; y >= 0; --y) {
        if (used + stride > chunk.size()) {
            file.write(chunk.data(), used);
            used = 0;
        }
        if (grey)
            widenGreyRow(bitmap.GetScanline(y), &chunk[used], width);
        else
            std::memcpy(&chunk[used], bitmap.GetScanline(y), rowBytes);
        std::memset(&chunk[used + rowBytes], 0, stride - rowBytes);
        used += stride;
    }
    file.write(chunk.data(), used);
    file.moveIntoPlace();
}

BmpRead readBmp24(const std::string& fileName, TBitmap& into) {
    FileReader file(fileName);
    std::uint8_t h[kHeadersSize];
    if (!file.readAt(0, h, kHeadersSize)) return BmpRead::OtherLayout;
    const bool ours = h[0] == 'B' && h[1] == 'M' && get32(&h[14]) == kInfoHeaderSize && get16(&h[26]) == 1 &&
                      get16(&h[28]) == 24 && get32(&h[30]) == 0;
    if (!ours) return BmpRead::OtherLayout;
    const auto width = static_cast<std::int32_t>(get32(&h[18]));
    const auto height = static_cast<std::int32_t>(get32(&h[22]));
    if (width == 0 || height == 0) failFile(fileName, "empty picture (0 x 0 pixels)");
    if (width < 0 || height == INT32_MIN) return BmpRead::OtherLayout;

    const bool topDown = height < 0;
    const int rows = topDown ? -height : height;
    if (static_cast<long long>(width) * rows > kMostPixels)
        failFile(fileName,
                 "picture too large (" + std::to_string(width) + " x " + std::to_string(rows) + " pixels)");
    const std::uint64_t offset = get32(&h[10]);
    const std::size_t stride = strideOf(width);
    if (offset < kHeadersSize || offset + stride * static_cast<std::uint64_t>(rows) > file.size())
        failFile(fileName, "file is cut short (" + std::to_string(width) + " x " + std::to_string(rows) +
                               " pixels announced)");

    TBitmap bitmap;
    bitmap.SetSize(width, rows);
    for (int i = 0; i < rows; ++i) {
        const int y = topDown ? i : rows - 1 - i;
        if (!file.readAt(offset + stride * static_cast<std::uint64_t>(i), bitmap.GetScanline(y), stride))
            failFile(fileName, "file is cut short");
    }
    into.Assign(bitmap);
    return BmpRead::Done;
}

}  // namespace platform
