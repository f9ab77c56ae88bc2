#include "platform/opened_file.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/errors.h"
#include "platform/translation.h"

namespace platform {
namespace {

std::string reasonOf(int error) {
    if (error == ENOENT) return translate("Files", "no such file");
    // A socket, or a device with nothing behind it.
    if (error == ENXIO) return translate("Files", "not a regular file");
    return translate("Files", "cannot read (%1)").arg(std::strerror(error));
}

}  // namespace

OpenedFile::OpenedFile(const std::string& fileName, const std::string& shownName) : shown_(shownName) {
    if (fileName.empty()) throw Error(translate("Files", "No file name given"));
    fd_.reset(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd_) failFile(shown_, reasonOf(errno));
    struct stat st {};
    const int statError = ::fstat(fd_.get(), &st) == 0 ? 0 : errno;
    const std::string problem = statError              ? reasonOf(statError)
                                : S_ISDIR(st.st_mode)  ? translate("Files", "is a folder, not a picture")
                                : !S_ISREG(st.st_mode) ? translate("Files", "not a regular file")
                                                       : std::string();
    if (!problem.empty()) failFile(shown_, problem);
    size_ = static_cast<std::uint64_t>(st.st_size);
}

bool OpenedFile::readAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) const {
    while (size > 0) {
        const ssize_t n = ::pread(fd_.get(), into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failFile(shown_, reasonOf(errno));
        if (n == 0) return false;
        into += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool OpenedFile::readThrough(std::uint64_t offset, std::uint64_t size) const {
    // Sent to /dev/null, the bytes are brought in as any read brings them (from the disk when they
    // are not cached, with its errors) but never copied to this process: for a large stage file,
    // several times quicker than reading it. A file system that cannot send is read the plain way.
    const Descriptor null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    auto at = static_cast<off_t>(offset);
    while (null && size > 0) {
        const ssize_t n = ::sendfile(null.get(), fd_.get(), &at, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EINVAL || errno == ENOSYS)) break;
        if (n < 0) failFile(shown_, reasonOf(errno));
        if (n == 0) return false;
        size -= static_cast<std::uint64_t>(n);
    }
    std::vector<std::uint8_t> piece(128 << 10);
    while (size > 0) {
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size, piece.size()));
        if (!readAt(static_cast<std::uint64_t>(at), piece.data(), part)) return false;
        at += static_cast<off_t>(part);
        size -= part;
    }
    return true;
}

std::string localFileName(const QString& name) {
    const std::string encoded = QFile::encodeName(name).toStdString();
    if (!name.contains(QChar::ReplacementCharacter)) return encoded;
    const QString shownName = QFileInfo(name).fileName();
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(encoded).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, error))
        if (QFile::decodeName(entry.path().filename().c_str()) == shownName) return entry.path().string();
    return encoded;
}

std::string lowerExtension(const std::string& fileName) {
    const std::size_t nameStart = fileName.rfind('/') == std::string::npos ? 0 : fileName.rfind('/') + 1;
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart || dot + 1 == fileName.size()) return {};
    std::string extension = fileName.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

}  // namespace platform
