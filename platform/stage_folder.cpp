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

[[noreturn]] void cannotMake(const std::string& folder, int error) {
    failFile(folder, translate("Batch", "cannot make or open this folder (%1)").arg(std::strerror(error)));
}

LockCall lockCall = ::flock;

// Whether the lock is now held; false while another run holds it. A file system that keeps no locks
// (a network share without its lock service) leaves the folder unheld: the batch works there as if no other
// run did.
bool tookLock(int fd, const std::string& folder) {
    if (lockCall(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EWOULDBLOCK) return false;
    if (errno == ENOLCK) return true;
    cannotHold(folder, errno);
}

}  // namespace

void setLockCall(LockCall lock) { lockCall = lock ? lock : ::flock; }

bool PictureFolder::hold(const std::string& shown, const std::function<void()>& waiting,
                         const std::function<bool()>& stopRequested) const {
    if (tookLock(fd_.get(), shown)) return true;
    waiting();
    while (!stopRequested()) {
        if (tookLock(fd_.get(), shown)) return true;
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
        if (!fd_) cannotMake(path_, errno);
    }
    if (name.empty()) {
        Descriptor itself(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
        if (!itself) cannotHold(path_, errno);
        return PictureFolder(std::move(itself));
    }
    if (::mkdirat(fd_.get(), name.c_str(), 0777) != 0 && errno != EEXIST) cannotMake(shown, errno);
    Descriptor folder(::openat(fd_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder) return PictureFolder(std::move(folder));
    if (errno != ENOTDIR && errno != ELOOP) cannotMake(shown, errno);
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
