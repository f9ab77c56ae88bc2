#pragma once
// Files as Linux has them: a name is bytes, whatever they decode to, and only a regular file is a
// picture or a stage file.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>

class QString;

namespace platform {

// An open file descriptor, or none (-1), closed when it goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Hands the descriptor over: this one has none after.
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// A file opened for reading. Opening never blocks (a FIFO named like a picture would wait for a
// writer for ever) and what was opened is checked on its descriptor, so a name swapped meanwhile
// cannot slip another file in. Throws Error naming the file as `shownName`: "no such file", "is a
// folder, not a picture", "not a regular file", or the system's reason.
class OpenedFile {
public:
    OpenedFile(const std::string& fileName, const std::string& shownName);

    int descriptor() const { return fd_.get(); }
    std::uint64_t size() const { return size_; }
    const std::string& shownName() const { return shown_; }

    // Reads exactly `size` bytes at `offset`; false if the file ends first.
    bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) const;
    // Reads `size` bytes at `offset` as readAt does, failing where it fails, without keeping them.
    bool readThrough(std::uint64_t offset, std::uint64_t size) const;

private:
    std::string shown_;
    Descriptor fd_;
    std::uint64_t size_ = 0;
};

// The bytes of the file a name from Qt's file dialog stands for. Qt shows a name that is not UTF-8
// with replacement characters, so such a name is matched with the entries of its folder.
std::string localFileName(const QString& name);

// The file name's extension in ASCII lower case with its dot (".jpg"), or empty.
std::string lowerExtension(const std::string& fileName);

}  // namespace platform
