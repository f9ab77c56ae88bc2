#include "app/batch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <set>
#include <thread>
#include <tuple>
#include <utility>

#include "app/Unit1.h"
#include "app/frame.h"
#include "platform/application.h"
#include "platform/bmp_file.h"
#include "platform/console.h"
#include "platform/errors.h"
#include "platform/opened_file.h"
#include "platform/picture_reader.h"
#include "platform/pixel_store.h"
#include "platform/prompts.h"
#include "platform/translation.h"

namespace {

namespace fs = std::filesystem;
using platform::Application;
using platform::translate;
using platform::console::say;

struct Job {
    std::string given;     // the picture as named on the command line, or found in a folder named there
    std::string picture;   // its absolute name
    std::string name;      // its folder's name inside the output folder; empty: the output folder itself
    std::string shown;     // that folder as the user named it
    bool renamed = false;  // its folder's name is not the picture's plain name
};

// A picture's folder name: its file name without the extension and without leading dots (a dot
// would hide the folder; "." and ".." are the output folder and its parent); "picture" when
// nothing is left. A file name holds no separator.
std::string folderName(const std::string& stem) {
    const std::size_t start = stem.find_first_not_of('.');
    return start == std::string::npos ? "picture" : stem.substr(start);
}

// A folder named on the command line stands for the pictures directly inside it, in name order.
std::vector<std::string> picturesGiven(const std::vector<std::string>& given) {
    std::vector<std::string> pictures;
    for (const std::string& name : given) {
        std::error_code error;
        if (!fs::is_directory(name, error)) {
            pictures.push_back(name);
            continue;
        }
        std::vector<std::string> inside;
        for (const fs::directory_entry& entry : fs::directory_iterator(name, error))
            if (platform::kindForExtension(platform::lowerExtension(entry.path().filename().string())) &&
                !entry.is_directory(error))
                inside.push_back((fs::path(name) / entry.path().filename()).string());
        std::sort(inside.begin(), inside.end());
        pictures.insert(pictures.end(), inside.begin(), inside.end());
    }
    return pictures;
}

// One picture writes into the output folder itself; several each into a folder of their own under
// it (see folderName). A name already taken by an earlier picture gets "-2", "-3" ... appended,
// the first that is free.
class Folders {
public:
    explicit Folders(const std::string& output) : output_(output) {}

    std::vector<Job> plan(const std::vector<std::string>& pictures) {
        std::vector<Job> jobs;
        for (const std::string& given : pictures) {
            Job job{given, absolutePath(given), "", output_};
            if (pictures.size() > 1) {
                job.name = freeName(folderName(fs::path(given).stem().string()));
                nameAs(job, job.name);
            }
            jobs.push_back(std::move(job));
        }
        return jobs;
    }

    // The job's folder, open, made if missing. A name there that is not a folder (a file, or a
    // link that may point anywhere, planted in a shared output folder) is never written through:
    // the picture takes the next free name, as when two pictures share one. Works through the
    // output folder's descriptor, so that no link on the way is followed after it was checked.
    int open(Job& job) {
        if (outputFd_ < 0) openOutput();
        if (job.name.empty()) return ::fcntl(outputFd_, F_DUPFD_CLOEXEC, 0);
        const std::string plain = folderName(fs::path(job.given).stem().string());
        for (;;) {
            if (::mkdirat(outputFd_, job.name.c_str(), 0777) != 0 && errno != EEXIST) cannotHold(job, errno);
            const int fd =
                ::openat(outputFd_, job.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) return fd;
            if (errno != ENOTDIR && errno != ELOOP) cannotHold(job, errno);
            nameAs(job, freeName(plain));
        }
    }

    // Starts writing out what the batch wrote so far, in the background, while the next picture is
    // worked, unless that is still going on: the flush before the summary then finds little left.
    void startFlush() {
        using namespace std::chrono_literals;
        if (outputFd_ < 0 || (flushing_.valid() && flushing_.wait_for(0s) != std::future_status::ready))
            return;
        flushing_ = std::async(std::launch::async, [fd = outputFd_] { ::syncfs(fd); });
    }
    // Waits until the disk holds what the batch wrote, so that what the summary calls done is there.
    void flush() {
        if (flushing_.valid()) flushing_.wait();
        platform::awaitOldFiles();
        if (outputFd_ >= 0) ::syncfs(outputFd_);
    }
    ~Folders() {
        if (flushing_.valid()) flushing_.wait();
        ::close(outputFd_);
    }

private:
    std::string freeName(const std::string& plain) {
        std::string name = plain;
        for (int n = 2; !taken_.insert(name).second; ++n) name = plain + "-" + std::to_string(n);
        return name;
    }
    void nameAs(Job& job, const std::string& name) {
        job.name = name;
        job.shown = (fs::path(output_) / name).lexically_normal().string();
        job.renamed = name != fs::path(job.given).stem().string();
    }
    void openOutput() {
        std::error_code error;
        fs::create_directories(output_, error);
        outputFd_ = ::open(output_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (outputFd_ < 0) cannotHold(output_, errno);
    }
    [[noreturn]] static void cannotHold(const Job& job, int error) { cannotHold(job.shown, error); }
    [[noreturn]] static void cannotHold(const std::string& folder, int error) {
        platform::failFile(folder,
                           translate("Batch", "cannot hold the stage files (%1)").arg(std::strerror(error)));
    }

    std::string output_;
    int outputFd_ = -1;
    std::future<void> flushing_;
    std::set<std::string> taken_;
};

// Holds a picture's folder while its stage files are written, so that two runs writing into one
// folder leave the three files of one picture: an advisory lock on the folder itself, waited for
// (saying so) while another run holds it. False when asked to stop while waiting. The lock is tried
// ten times a second: a request to stop that comes just before a blocking wait would not end it.
bool holdFolder(int folder, const Job& job) {
    if (::flock(folder, LOCK_EX | LOCK_NB) == 0) return true;
    say("edgepipe: " + translate("Batch", "waiting for another edgepipe run writing into %1")
                           .arg(platform::printable(job.shown)));
    while (Application->EndRequest() == 0) {
        if (::flock(folder, LOCK_EX | LOCK_NB) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// The picture's folder as the working folder, where the window writes its stage files, while the
// picture is worked; the batch's own working folder again after.
class InFolder {
public:
    explicit InFolder(int folder)
        : folder_(folder), before_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (folder_ < 0 || ::fchdir(folder_) != 0) throw platform::Error(std::strerror(errno));
    }
    int descriptor() const { return folder_; }
    ~InFolder() {
        if (before_ >= 0) {
            [[maybe_unused]] const int ignored = ::fchdir(before_);
            ::close(before_);
        }
        ::close(folder_);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    int folder_, before_;
};

// What a person does in a fresh window: the scroll bar to T first, while its preview has no
// picture to work on, then LOAD, 灰階, 濾波 and SOBEL, with the picture's folder for the stage
// files. The preview is called as the presses are, so that its failure is the picture's too. The
// folder is made once the picture is in, so a picture that cannot be read leaves none. False when
// asked to stop between two steps, so that every stage file written is whole; `written` lists them.
bool runPicture(Job& job, Folders& folders, int threshold, std::vector<std::string>& written) {
    TForm1 form;
    const platform::TNotifyEvent preview = std::exchange(form.ScrollBar1->OnChange, nullptr);
    form.ScrollBar1->SetPosition(threshold);
    form.ScrollBar1->OnChange = preview;
    form.ScrollBar1Change(form.ScrollBar1);
    form.OpenPicture(job.picture);
    const InFolder folder(folders.open(job));
    if (!holdFolder(folder.descriptor(), job)) return false;
    using Handler = void (TForm1::*)(TObject*);
    const std::tuple<TButton*, Handler, const char*> presses[] = {
        {form.Button4, &TForm1::Button4Click, frame::kStageGrey},
        {form.Button5, &TForm1::Button5Click, frame::kStageSmooth},
        {form.Button1, &TForm1::Button1Click, frame::kStageEdges}};
    for (const auto& [button, handler, stageFile] : presses) {
        if (Application->EndRequest() != 0) return false;
        (form.*handler)(button);
        written.push_back(stageFile);
    }
    return true;
}

// Whether the buffers kept from `done`'s presses serve `next` as they are: when it is a BMP file of
// the same size, read straight into them. Any other picture would leave them idle under its own (a
// JPEG's decoding goes through Qt's buffers), so they are given back first and the peak stays one
// picture's. Keeping them saves each picture of a run of photos from one camera about a sixth of its
// time, spent getting fresh memory from the system.
bool sameBlocksServe(const Job& next, const Job& done) {
    const platform::PictureKind* kind = platform::kindForExtension(platform::lowerExtension(next.picture));
    if (kind != &platform::pictureKinds().front()) return false;
    const platform::AnnouncedSize a = platform::announcedSize(next.picture),
                                  b = platform::announcedSize(done.picture);
    return a.width > 0 && a.width == b.width && a.height == b.height;
}

// No box ever opens in a batch: what the window would show is said on the terminal.
class BatchPrompts : public platform::Prompts {
public:
    void message(const std::string& text) override { say("edgepipe: " + text); }
    void error(const std::string& text) override { say("edgepipe: " + text); }
    std::optional<std::string> openPicture(const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

// "3.25 s", "41 s"
std::string seconds(double s) {
    char number[32];
    std::snprintf(number, sizeof number, s < 10 ? "%.2f" : "%.0f", s);
    //: A time in seconds
    return translate("Batch", "%1 s").arg(number);
}

// "A.bmp", "A.bmp and B.bmp", "A.bmp, B.bmp and C.bmp"
std::string listed(const std::vector<std::string>& names) {
    std::string text = names.empty() ? "" : names.front();
    for (std::size_t i = 1; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        //: A list of stage files: the names before, then the next one
        text = (last ? translate("Batch", "%1 and %2") : translate("Batch", "%1, %2")).arg(text, names[i]);
    }
    return text;
}

// Progress on standard error: one live line on a terminal, one plain line a picture elsewhere;
// failures, and on a terminal the pictures whose folder name had to be changed, always on a line
// of their own.
class Progress {
public:
    Progress(std::size_t total, bool quiet)
        : total_(total), quiet_(quiet), live_(!quiet && platform::console::liveLinePossible()) {}

    void starting(const Job& job) {
        if (!live_) return;
        const std::size_t finished = done_ + failed_;
        const std::string now = platform::printable(job.given);
        //: %1 is the picture's number of %2, %5 its name
        if (finished == 0)
            return platform::console::showLive(
                translate("Batch", "[%1/%2] %3 done, %4 failed; now %5").arg(1, total_, done_, failed_, now));
        const double each = spent_ / finished;
        platform::console::showLive(
            translate("Batch", "[%1/%2] %3 done, %4 failed; now %5; %6 a picture, about %7 left")
                .arg(finished + 1, total_, done_, failed_, now, seconds(each),
                     seconds(each * (total_ - finished))));
    }
    void done(const Job& job, double took) {
        ++done_;
        spent_ += took;
        //: %1 is the picture's number of %2, %3 its name, %4 the time, %5 its folder
        if (!quiet_ && (!live_ || job.renamed))
            say(translate("Batch", "[%1/%2] %3: done in %4, stage files in %5")
                    .arg(done_ + failed_, total_, platform::printable(job.given), seconds(took),
                         platform::printable(job.shown)));
    }
    void failed(const Job& job, const std::string& message, double took) {
        ++failed_;
        spent_ += took;
        //: %1 is the picture's number of %2, %3 its name, %4 why it failed
        say(translate("Batch", "[%1/%2] %3: failed: %4")
                .arg(done_ + failed_, total_, platform::printable(job.given), message));
    }
    // The summary line; the exit status. It names the folder of the last picture done, or, when the
    // batch was stopped in a picture, that picture and the stage files it wrote.
    int finish(int signal, const Job* last, const Job* stoppedIn, const std::vector<std::string>& written) {
        if (live_) platform::console::showLive("");
        std::string summary = (total_ == 1 ? translate("Batch", "%1 picture: %2 done, %3 failed")
                                           : translate("Batch", "%1 pictures: %2 done, %3 failed"))
                                  .arg(total_, done_, failed_);
        if (stoppedIn) summary = stopped(summary, signal, *stoppedIn, written);
        //: %1 is the line so far, with the count of pictures done and failed
        if (last && !stoppedIn)
            summary = (total_ == 1 ? translate("Batch", "%1; its folder: %2")
                                   : translate("Batch", "%1; the last one's folder: %2"))
                          .arg(summary, platform::printable(last->shown));
        if (!quiet_) say(summary);
        if (signal != 0) return 128 + signal;
        return failed_ == 0 ? 0 : 1;
    }

private:
    // "..., 28 not done (stopped by Ctrl-C in [2/30] big.bmp, with A.bmp and B.bmp written in out/big-2)"
    std::string stopped(const std::string& summary, int signal, const Job& job,
                        const std::vector<std::string>& written) const {
        const std::string name = signal == SIGINT ? "Ctrl-C" : signal == SIGHUP ? "SIGHUP" : "SIGTERM";
        const std::size_t at = done_ + failed_ + 1;
        const std::size_t notDone = total_ - done_ - failed_;
        const std::string given = platform::printable(job.given);
        //: %1 is the line so far, with the count of pictures done and failed; %3 what stopped the batch
        if (written.empty())
            return translate("Batch",
                             "%1, %2 not done (stopped by %3 in [%4/%5] %6, before its first stage file)")
                .arg(summary, notDone, name, at, total_, given);
        //: As the one before; %7 names the stage files written, %8 their folder
        return translate("Batch", "%1, %2 not done (stopped by %3 in [%4/%5] %6, with %7 written in %8)")
            .arg(summary, notDone, name, at, total_, given, listed(written), platform::printable(job.shown));
    }

    std::size_t total_, done_ = 0, failed_ = 0;
    double spent_ = 0;
    bool quiet_, live_;
};

}  // namespace

int runBatch(const CommandLine& request) {
    Folders folders(request.output);
    std::vector<Job> jobs = folders.plan(picturesGiven(request.pictures));
    Application->InitializeWithoutDisplay({request.qtArguments.front()});
    platform::setPrompts(std::make_unique<BatchPrompts>());
    Progress progress(jobs.size(), request.quiet);
    const Job* lastDone = nullptr;
    const Job* stoppedIn = nullptr;
    std::vector<std::string> written;
    for (std::size_t i = 0; i < jobs.size() && !stoppedIn; ++i) {
        Job& job = jobs[i];
        written.clear();
        if (Application->EndRequest() != 0) {
            stoppedIn = &job;
            break;
        }
        progress.starting(job);
        const auto start = std::chrono::steady_clock::now();
        const auto took = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        try {
            if (runPicture(job, folders, request.threshold, written)) {
                progress.done(job, took());
                folders.startFlush();
                lastDone = &job;
            } else {
                stoppedIn = &job;
            }
        } catch (const std::exception& failure) {
            progress.failed(job, failure.what(), took());
        } catch (...) {
            progress.failed(job, "", took());
        }
        if (i + 1 == jobs.size() || !sameBlocksServe(jobs[i + 1], job)) platform::releaseStore();
    }
    folders.flush();
    // A request that came once every picture was done stopped nothing.
    return progress.finish(stoppedIn ? Application->EndRequest() : 0, lastDone, stoppedIn, written);
}
