#include "platform/bmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/opened_file.h"
#include "platform/picture_reader.h"
#include "platform/rows/widening.h"
#include "platform/translation.h"

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

// "A.bmp: cannot write in /home/ana (reason)": the file by its own name, the folder in full.
std::string cannotWrite(const std::string& target, const std::string& reason) {
    const std::filesystem::path path(target);
    const std::string folder = cleanPath(path.has_parent_path() ? path.parent_path().string() : ".");
    return aboutFile(path.filename().string(),
                     folder == "."
                         ? translate("Files", "cannot write in the working folder (%1)").arg(reason)
                         : translate("Files", "cannot write in %1 (%2)").arg(printable(folder), reason));
}
[[noreturn]] void failWrite(const std::string& target, int error) {
    throw Error(cannotWrite(target, systemReason(error)));
}

// A name that is there but not a regular file (a folder, a FIFO, a device) is not replaced.
void refuseOtherKinds(const std::string& target) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return;
    const std::string name = printable(std::filesystem::path(target).filename().string());
    //: %1 is the file's name, in the folder the message names before
    throw Error(cannotWrite(target, S_ISDIR(st.st_mode)
                                        ? translate("Files", "%1 there is a folder").arg(name)
                                        : translate("Files", "%1 there is not a regular file").arg(name)));
}

// Closing the last descriptor of a removed file is what frees its cached pages and its blocks: for
// the stage file of a large photo, longer than writing the new one took. The writer keeps the old
// file open while it removes its name, and its descriptor is closed here, on a thread of its own,
// off the press's path; the process waits for it at exit. Nothing is left under any name meanwhile.
class OldFiles {
public:
    ~OldFiles() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }
    void release(Descriptor file) {
        if (!file) return;
        {
            const std::lock_guard lock(mutex_);
            open_.push_back(file.release());
            if (!thread_.joinable()) thread_ = std::thread([this] { closeAll(); });
        }
        wake_.notify_one();
    }
    void await() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        wake_.notify_one();
        done_.wait(lock, [this] { return open_.empty() && closing_ == 0; });
        --waiting_;
    }

private:
    // Freeing starts a moment after the file is handed over, when the press that replaced it has
    // ended: at once, it took the core from the end of the press. Whoever waits for it ends the wait.
    static constexpr std::chrono::milliseconds kGrace{5};

    void closeAll() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !open_.empty(); });
            wake_.wait_for(lock, kGrace, [this] { return stopping_ || waiting_ > 0; });
            while (!open_.empty()) {
                const int fd = open_.back();
                open_.pop_back();
                ++closing_;
                lock.unlock();
                ::close(fd);
                lock.lock();
                --closing_;
            }
            done_.notify_all();
            if (stopping_) return;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<int> open_;
    int closing_ = 0;
    int waiting_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
OldFiles oldFiles;

// The old file under `path`, held open so that removing its name is quick; none if there is none.
Descriptor holdOldFile(const std::string& path) {
    return Descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY));
}

// "A.bmp.k3Xq9Z": a name beside the target that no other file has.
std::string temporaryName(const std::string& target) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    // Seeded once a thread: asking the system for each name took longer than writing a small file.
    thread_local std::minstd_rand random(std::random_device{}());
    std::string name = target + ".";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

// An open temporary file beside the target, closed on exec so that no program started meanwhile
// keeps it open; removed unless it was moved into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) : target_(target) {
        refuseOtherKinds(target_);
        for (int attempt = 0; !fd_; ++attempt) {
            path_ = temporaryName(target_);
            fd_.reset(calls.create(path_.c_str()));
            if (!fd_ && (errno != EEXIST || attempt == 100)) {
                const int error = errno;
                path_.clear();
                failWrite(target_, error);
            }
        }
    }
    // Closed before its name is removed: a FUSE file system (NTFS through ntfs-3g) keeps a file
    // removed while open under a hidden name, which a full volume has no room for.
    ~TemporaryFile() {
        fd_.reset();
        if (!path_.empty()) calls.unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size) {
        bool oldFilesFreed = false;
        while (size > 0) {
            const ssize_t n = calls.write(fd_.get(), data, size);
            if (n < 0 && errno == EINTR) continue;
            // A nearly full disk may have room once the files replaced a moment ago are freed.
            if (n < 0 && (errno == ENOSPC || errno == EDQUOT) && !oldFilesFreed) {
                oldFiles.await();
                oldFilesFreed = true;
                continue;
            }
            if (n <= 0) failWrite(target_, n < 0 ? errno : ENOSPC);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    // No flush: a stage file is made again by pressing again, and waiting for the disk would make
    // every press wait (seconds for a large photo on a memory stick).
    void moveIntoPlace() {
        if (calls.close(fd_.release()) != 0) failWrite(target_, errno);
        // Exchanging the two files keeps a whole file under the name at every instant, and spares
        // what renaming over the old file costs on ext4, whose replace guard sends the whole new
        // file to the disk before the rename returns. The old file is then removed under the
        // temporary name; if it cannot be, the exchange is undone.
        if (calls.exchange(path_.c_str(), target_.c_str()) == 0) return removeOldFile();
        // No old file, or a file system that cannot exchange (FAT, many network file systems).
        if (errno != ENOENT && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            failWrite(target_, errno);
        Descriptor old = holdOldFile(target_);
        if (calls.rename(path_.c_str(), target_.c_str()) != 0) failWrite(target_, errno);
        path_.clear();
        oldFiles.release(std::move(old));
    }

private:
    // The old file is under the temporary name now.
    void removeOldFile() {
        Descriptor old = holdOldFile(path_);
        if (calls.unlink(path_.c_str()) == 0) {
            path_.clear();
            oldFiles.release(std::move(old));
            return;
        }
        const int error = errno;
        if (calls.exchange(path_.c_str(), target_.c_str()) == 0) failWrite(target_, error);
        // The new file stays under the name; the old one is kept, not removed, under the other.
        const std::string kept = std::filesystem::path(std::exchange(path_, {})).filename().string();
        //: %1 says why a file could not be written
        throw Error(translate("Files", "%1; the old file is kept as %2")
                        .arg(cannotWrite(target_, systemReason(error)), printable(kept)));
    }

    std::string target_;
    std::string path_;  // empty once there is no temporary file to remove
    Descriptor fd_;
};

// Why `rows` rows of `width` pixels of `bits` bits, starting at byte `offset`, do not fit in a file
// of `fileSize` bytes; nothing when they do.
std::optional<std::string> rowsProblem(std::int64_t width, std::int64_t rows, int bits, std::uint64_t offset,
                                       std::uint64_t fileSize) {
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    const std::uint64_t end = offset + stride * static_cast<std::uint64_t>(rows);
    if (end <= fileSize) return std::nullopt;
    return translate("Pictures", "%1 x %2 pixels announced, %3 bytes needed, the file has %4")
        .arg(width, rows, static_cast<long long>(end), static_cast<long long>(fileSize));
}

}  // namespace

void awaitOldFiles() { oldFiles.await(); }

int WriterCalls::createNew(const char* path) {
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
int WriterCalls::exchangeFiles(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}
void setWriterCalls(const WriterCalls& replaced) { calls = replaced; }

namespace {

// Writes the bitmap's rows, or with `made` each row once it is made (see writeBmp24 below).
void writeRows(const TBitmap& bitmap, const std::string& fileName, const RowsMade* made) {
    if (made && !made->awaitRows(1)) throw MakingFailed();
    TemporaryFile file(fileName);
    const int width = bitmap.Width(), height = bitmap.Height();
    const bool empty = bitmap.Empty();
    file.write(headersFor(empty ? 0 : width, empty ? 0 : height).data(), kHeadersSize);

    // Rows go out bottom-up, gathered into chunks; padding is written as zeros whatever the
    // bitmap's padding bytes hold.
    const std::size_t stride = strideOf(width);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const bool grey = bitmap.PixelFormat() == TPixelFormat::pf8bit;  // written in 24 bits all the same
    std::vector<std::uint8_t> chunk(std::max(kChunkSize, stride));
    std::size_t used = 0;
    for (int y = empty ? -1 : height - 1; y >= 0; --y) {
        if (made && !made->awaitRows(height - y)) throw MakingFailed();  // row y is the (height - y)th
        if (used + stride > chunk.size()) {
            file.write(chunk.data(), used);
            used = 0;
        }
        std::uint8_t* const row = chunk.data() + used;
        if (grey)
            rows::widenGreyRow(bitmap.GetScanline(y), row, width);
        else
            std::memcpy(row, bitmap.GetScanline(y), rowBytes);
        std::memset(row + rowBytes, 0, stride - rowBytes);
        used += stride;
    }
    file.write(chunk.data(), used);
    if (made && !made->awaitFinish()) throw MakingFailed();
    file.moveIntoPlace();
}

}  // namespace

void writeBmp24(const TBitmap& bitmap, const std::string& fileName) { writeRows(bitmap, fileName, nullptr); }

void writeBmp24(const TBitmap& bitmap, const std::string& fileName, const RowsMade& made) {
    writeRows(bitmap, fileName, &made);
}

BmpRead readBmp24(const std::string& fileName, TBitmap& into) {
    return readBmp24(OpenedFile(fileName, fileName), into);
}

namespace {

// Where the rows of a 24-bit uncompressed BMP file lie.
struct Bmp24Rows {
    int width;
    int rows;
    bool topDown;
    std::uint64_t offset;
    std::size_t stride;
};

// The rows of a file in this one layout, checked to fit in the file; nothing for another layout.
std::optional<Bmp24Rows> bmp24Rows(const OpenedFile& file) {
    const std::string& shown = file.shownName();
    std::uint8_t h[kHeadersSize];
    if (!file.readAt(0, h, kHeadersSize)) return std::nullopt;
    const bool ours = h[0] == 'B' && h[1] == 'M' && get32(&h[14]) == kInfoHeaderSize && get16(&h[26]) == 1 &&
                      get16(&h[28]) == 24 && get32(&h[30]) == 0;
    if (!ours) return std::nullopt;
    const auto width = static_cast<std::int32_t>(get32(&h[18]));
    const auto height = static_cast<std::int32_t>(get32(&h[22]));
    if (width == 0 || height == 0) failFile(shown, emptyPictureReason());
    if (width < 0 || height == INT32_MIN) return std::nullopt;

    const bool topDown = height < 0;
    const int rows = topDown ? -height : height;
    if (static_cast<long long>(width) * rows > kMostPixels) failFile(shown, tooLargeReason(width, rows));
    const std::uint64_t offset = get32(&h[10]);
    const std::size_t stride = strideOf(width);
    if (offset < kHeadersSize)
        failFile(shown, damagedReason(translate("Pictures", "the pixels start inside the header")));
    if (const std::optional<std::string> problem = rowsProblem(width, rows, 24, offset, file.size()))
        failFile(shown, damagedReason(*problem));
    return Bmp24Rows{width, rows, topDown, offset, stride};
}

[[noreturn]] void failShrunk(const OpenedFile& file) {
    failFile(file.shownName(), damagedReason(translate("Pictures", "the file shrank while it was read")));
}

}  // namespace

BmpRead readBmp24(const OpenedFile& file, TBitmap& into) {
    const std::optional<Bmp24Rows> layout = bmp24Rows(file);
    if (!layout) return BmpRead::OtherLayout;
    TBitmap bitmap;
    bitmap.SetSize(layout->width, layout->rows);
    for (int i = 0; i < layout->rows; ++i) {
        const int y = layout->topDown ? i : layout->rows - 1 - i;
        if (!file.readAt(layout->offset + layout->stride * static_cast<std::uint64_t>(i),
                         bitmap.GetScanline(y), layout->stride))
            failShrunk(file);
    }
    into.Assign(bitmap);
    return BmpRead::Done;
}

BmpRead readBmp24Through(const OpenedFile& file) {
    const std::optional<Bmp24Rows> layout = bmp24Rows(file);
    if (!layout) return BmpRead::OtherLayout;
    if (!file.readThrough(layout->offset, layout->stride * static_cast<std::uint64_t>(layout->rows)))
        failShrunk(file);
    return BmpRead::Done;
}

std::optional<std::string> bmpRowsProblem(const OpenedFile& file) {
    std::uint8_t h[kHeadersSize] = {};
    if (!file.readAt(0, h, 2) || h[0] != 'B' || h[1] != 'M') return std::nullopt;
    if (!file.readAt(0, h, 30)) return translate("Pictures", "the file ends inside its header");
    const std::uint32_t headerSize = get32(&h[14]);
    const bool os2 = headerSize == 12;  // 16-bit sizes and no compression field
    const std::int64_t width = os2 ? get16(&h[18]) : static_cast<std::int32_t>(get32(&h[18]));
    const std::int64_t height = os2 ? get16(&h[20]) : static_cast<std::int32_t>(get32(&h[22]));
    const int bits = os2 ? get16(&h[24]) : get16(&h[28]);
    // Compressed rows (run lengths, embedded JPEG or PNG) have no size to check ahead; Qt's reader
    // notices when they end early.
    const std::uint32_t compression = headerSize >= 20 && file.readAt(30, &h[30], 4) ? get32(&h[30]) : 0;
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || width <= 0 || height == 0 || bits <= 0 || bits > 64) return std::nullopt;
    if (width * std::llabs(height) > kMostPixels) return std::nullopt;  // refused as too large anyway
    return rowsProblem(width, std::llabs(height), bits, get32(&h[10]), file.size());
}

}  // namespace platform
