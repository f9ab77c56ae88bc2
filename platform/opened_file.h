#pragma once
// Files as Linux has them: a name is bytes, whatever they decode to, and only a regular file is a
// picture or a stage file.
#include <cstdint>
#include <string>

class QString;

namespace platform {

// A file opened for reading. Opening never blocks (a FIFO named like a picture would wait for a
// writer for ever) and what was opened is checked on its descriptor, so a name swapped meanwhile
// cannot slip another file in. Throws Error naming the file as `shownName`: "no such file", "is a
// folder, not a picture", "not a regular file", or the system's reason.
class OpenedFile {
public:
    OpenedFile(const std::string& fileName, const std::string& shownName);
    ~OpenedFile();
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    int descriptor() const { return fd_; }
    std::uint64_t size() const { return size_; }
    const std::string& shownName() const { return shown_; }

    // Reads exactly `size` bytes at `offset`; false if the file ends first.
    bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) const;

private:
    std::string shown_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// The bytes of the file a name from Qt's file dialog stands for. Qt shows a name that is not UTF-8
// with replacement characters, so such a name is matched with the entries of its folder.
std::string localFileName(const QString& name);

// The file name's extension in ASCII lower case with its dot (".jpg"), or empty.
std::string lowerExtension(const std::string& fileName);

}  // namespace platform
