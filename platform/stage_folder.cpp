#include "platform/stage_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "platform/errors.h"
#include "platform/translation.h"

namespace platform {

namespace {

[[noreturn]] void cannotHold(const std::string& folder, int error) {
    failFile(folder, translate("Batch", "cannot hold the stage files (%1)").arg(std::strerror(error)));
}

}  // namespace

bool PictureFolder::hold(const std::function<void()>& waiting,
                         const std::function<bool()>& stopRequested) const {
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return true;
    waiting();
    while (!stopRequested()) {
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void PictureFolder::enter() const {
    if (::fchdir(fd_.get()) != 0) throw Error(std::strerror(errno));
}

std::optional<PictureFolder> OutputFolder::open(const std::string& name, const std::string& shown) {
    if (!fd_) {
        std::error_code ignored;
        std::filesystem::create_directories(path_, ignored);
        fd_.reset(::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd_) cannotHold(path_, errno);
    }
    if (name.empty()) return PictureFolder(Descriptor(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0)));
    if (::mkdirat(fd_.get(), name.c_str(), 0777) != 0 && errno != EEXIST) cannotHold(shown, errno);
    Descriptor folder(::openat(fd_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder) return PictureFolder(std::move(folder));
    if (errno != ENOTDIR && errno != ELOOP) cannotHold(shown, errno);
    return std::nullopt;
}

void OutputFolder::startFlush() {
    using namespace std::chrono_literals;
    if (!fd_) return;
    if (flushing_.valid() && flushing_.wait_for(0s) != std::future_status::ready) return;
    flushing_ = std::async(std::launch::async, [fd = fd_.get()] { ::syncfs(fd); });
}

void OutputFolder::flush() {
    if (flushing_.valid()) flushing_.wait();
    if (fd_) ::syncfs(fd_.get());
}

}  // namespace platform
