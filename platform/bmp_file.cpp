#include "platform/bmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "platform/errors.h"

namespace platform {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
constexpr std::uint32_t kPixelsPerMetre = 3780;  // 96 pixels per inch
constexpr std::size_t kChunkSize = 128 << 10;

WriterCalls calls;

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

// The umask, read once: setting it and putting it back around each write would race with any
// thread that creates a file meanwhile.
mode_t processUmask() {
    static const mode_t mask = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
        const mode_t old = ::umask(022);  // no /proc: setting it is the only way to read it
        ::umask(old);
        return old;
    }();
    return mask;
}

// "A.bmp: cannot write in /home/ana (reason)": the file by its own name, the folder in full.
[[noreturn]] void failWrite(const std::string& target, int error) {
    const std::filesystem::path path(target);
    const std::string folder = cleanPath(path.has_parent_path() ? path.parent_path().string() : ".");
    failFile(path.filename().string(), "cannot write in " + (folder == "." ? "the working folder" : folder) +
                                           " (" + systemReason(error) + ")");
}

// An open temporary file beside the target, closed on exec so that no program started meanwhile
// keeps it open; removed unless it was moved into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : target_(target), path_(target + ".XXXXXX") {
        fd_ = calls.makeTemporary(path_.data(), O_CLOEXEC);
        if (fd_ < 0) {
            const int error = errno;
            path_.clear();
            failWrite(target_, error);
        }
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = calls.write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) failWrite(target_, n < 0 ? errno : ENOSPC);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    void moveIntoPlace() {
        // mkostemp makes the file private; a stage file gets the permissions any new file gets.
        if (calls.fchmod(fd_, 0666 & ~processUmask()) != 0) failWrite(target_, errno);
        if (calls.close(std::exchange(fd_, -1)) != 0) failWrite(target_, errno);
        // Exchanging the two files keeps a whole file under the name at every instant, and spares
        // what renaming over the old file costs: ext4's replace guard sends the whole new file to
        // the disk before the rename returns (36 MB: 43 to 52 ms in all, against 27 to 33 for
        // exchanging and then removing the old file). The old file is removed under the temporary
        // name; if it cannot be, the exchange is undone.
        if (calls.exchange(path_.c_str(), target_.c_str()) == 0) {
            if (calls.unlink(path_.c_str()) == 0) {
                path_.clear();
                return;
            }
            const int error = errno;
            calls.exchange(path_.c_str(), target_.c_str());
            failWrite(target_, error);
        }
        // No old file, or a file system that cannot exchange: a plain rename.
        if (errno != ENOENT && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            failWrite(target_, errno);
        if (calls.rename(path_.c_str(), target_.c_str()) != 0) failWrite(target_, errno);
        path_.clear();
    }

private:
    std::string target_;
    std::string path_;  // empty once there is no temporary file to remove
    int fd_ = -1;
};

class FileReader {
public:
    FileReader(const std::string& fileName, const std::string& shownName) : name_(shownName) {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            failFile(name_, errno == ENOENT ? "no such file" : "cannot read (" + systemReason(errno) + ")");
        struct stat st {};
        if (::fstat(fd_, &st) != 0) failFile(name_, "cannot read (" + systemReason(errno) + ")");
        if (S_ISDIR(st.st_mode)) failFile(name_, "is a folder, not a picture");
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

// Why `rows` rows of `width` pixels of `bits` bits, starting at byte `offset`, do not fit in a file
// of `fileSize` bytes; empty when they do.
std::string rowsProblem(std::int64_t width, std::int64_t rows, int bits, std::uint64_t offset,
                        std::uint64_t fileSize) {
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    const std::uint64_t end = offset + stride * static_cast<std::uint64_t>(rows);
    if (end <= fileSize) return {};
    return std::to_string(width) + " x " + std::to_string(rows) + " pixels announced, " +
           std::to_string(end) + " bytes needed, the file has " + std::to_string(fileSize);
}

}  // namespace

int WriterCalls::exchangeFiles(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}
void setWriterCalls(const WriterCalls& replaced) { calls = replaced; }
const WriterCalls& writerCalls() { return calls; }
void setWriteFunction(WriteFunction write) {
    calls = WriterCalls{};
    if (write) calls.write = write;
}

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

BmpRead readBmp24(const std::string& fileName, TBitmap& into, const std::string& shownName) {
    const std::string& shown = shownName.empty() ? fileName : shownName;
    FileReader file(fileName, shown);
    std::uint8_t h[kHeadersSize];
    if (!file.readAt(0, h, kHeadersSize)) return BmpRead::OtherLayout;
    const bool ours = h[0] == 'B' && h[1] == 'M' && get32(&h[14]) == kInfoHeaderSize && get16(&h[26]) == 1 &&
                      get16(&h[28]) == 24 && get32(&h[30]) == 0;
    if (!ours) return BmpRead::OtherLayout;
    const auto width = static_cast<std::int32_t>(get32(&h[18]));
    const auto height = static_cast<std::int32_t>(get32(&h[22]));
    if (width == 0 || height == 0) failFile(shown, "empty picture (0 x 0 pixels)");
    if (width < 0 || height == INT32_MIN) return BmpRead::OtherLayout;

    const bool topDown = height < 0;
    const int rows = topDown ? -height : height;
    if (static_cast<long long>(width) * rows > kMostPixels)
        failFile(shown,
                 "picture too large (" + std::to_string(width) + " x " + std::to_string(rows) + " pixels)");
    const std::uint64_t offset = get32(&h[10]);
    const std::size_t stride = strideOf(width);
    if (offset < kHeadersSize) failFile(shown, "damaged or cut short (the pixels start inside the header)");
    if (const std::string problem = rowsProblem(width, rows, 24, offset, file.size()); !problem.empty())
        failFile(shown, "damaged or cut short (" + problem + ")");

    TBitmap bitmap;
    bitmap.SetSize(width, rows);
    for (int i = 0; i < rows; ++i) {
        const int y = topDown ? i : rows - 1 - i;
        if (!file.readAt(offset + stride * static_cast<std::uint64_t>(i), bitmap.GetScanline(y), stride))
            failFile(shown, "damaged or cut short (the file shrank while it was read)");
    }
    into.Assign(bitmap);
    return BmpRead::Done;
}

std::string bmpRowsProblem(const std::string& fileName) {
    FileReader file(fileName, fileName);
    std::uint8_t h[kHeadersSize] = {};
    if (!file.readAt(0, h, 30) || h[0] != 'B' || h[1] != 'M') return {};
    const std::uint32_t headerSize = get32(&h[14]);
    const bool os2 = headerSize == 12;  // 16-bit sizes and no compression field
    const std::int64_t width = os2 ? get16(&h[18]) : static_cast<std::int32_t>(get32(&h[18]));
    const std::int64_t height = os2 ? get16(&h[20]) : static_cast<std::int32_t>(get32(&h[22]));
    const int bits = os2 ? get16(&h[24]) : get16(&h[28]);
    // Compressed rows (run lengths, embedded JPEG or PNG) have no size to check ahead; Qt's reader
    // notices when they end early.
    const std::uint32_t compression = headerSize >= 20 && file.readAt(30, &h[30], 4) ? get32(&h[30]) : 0;
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || width <= 0 || height == 0 || bits <= 0 || bits > 64) return {};
    if (width * std::llabs(height) > kMostPixels) return {};  // refused as too large anyway
    return rowsProblem(width, std::llabs(height), bits, get32(&h[10]), file.size());
}

}  // namespace platform
