#pragma once
// The folders a batch writes stage files into, worked through descriptors: the output folder is
// opened once and each picture's folder is made and opened relative to it without following a
// link, so that no name checked once is looked up again on the way to a stage file.
#include <functional>
#include <future>
#include <optional>
#include <string>

#include "platform/opened_file.h"

namespace platform {

// A picture's folder, open.
class PictureFolder {
public:
    explicit PictureFolder(Descriptor folder) : fd_(std::move(folder)) {}

    // Holds the folder against other runs while this one writes into it, so that two runs writing
    // into one folder leave the three files of one picture: an advisory lock on the folder itself,
    // kept until the folder is closed. When another run holds it, `waiting` is called once and the
    // lock tried ten times a second (a request to stop that came just before a blocking wait would
    // not end it) until `stopRequested`; false then. A file system that keeps no locks leaves it
    // unheld; any other refusal throws naming `shown`.
    bool hold(const std::string& shown, const std::function<void()>& waiting,
              const std::function<bool()>& stopRequested) const;

    // Makes it the working folder, where the window writes its stage files. Nothing else of the
    // batch depends on the working folder: pictures are named in full, folders through descriptors.
    void enter() const;

private:
    Descriptor fd_;
};

// Tests make the lock fail: `lock` stands for flock(2); nullptr puts back the system's.
using LockCall = int (*)(int fd, int operation);
void setLockCall(LockCall lock);

// The folder the batch writes into, made with its parents when first needed.
class OutputFolder {
public:
    explicit OutputFolder(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }  // as given

    // The folder `name` inside it (an empty name: the output folder itself), made if missing.
    // Nothing when the name holds something that is not a folder (a file, or a link that may point
    // anywhere, planted in a shared output folder): it is never written through. Throws naming
    // `shown` when the folder can be neither made nor opened.
    std::optional<PictureFolder> open(const std::string& name, const std::string& shown);

    // Starts writing out what was written into it so far, in the background, unless that is still
    // going on: the flush at the end then finds little left.
    void startFlush();
    // Waits until the disk holds everything written into it.
    void flush();

private:
    std::string path_;
    Descriptor fd_;
    std::future<void> flushing_;  // goes first, waiting for a flush under way (a future of std::async)
};

}  // namespace platform
