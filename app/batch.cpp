#include "app/batch.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
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
#include "platform/stage_folder.h"
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
            Job job{given, absolutePath(given), "", output_.path()};
            if (pictures.size() > 1) {
                job.name = freeName(folderName(fs::path(given).stem().string()));
                nameAs(job, job.name);
            }
            jobs.push_back(std::move(job));
        }
        return jobs;
    }

    // The job's folder, open, made if missing. A name there that is not a folder is never written
    // through: the picture takes the next free name, as when two pictures share one.
    platform::PictureFolder open(Job& job) {
        const std::string plain = folderName(fs::path(job.given).stem().string());
        for (;;) {
            if (std::optional<platform::PictureFolder> folder = output_.open(job.name, job.shown))
                return std::move(*folder);
            nameAs(job, freeName(plain));
        }
    }

    // Starts writing out what the batch wrote so far while the next picture is worked.
    void startFlush() { output_.startFlush(); }
    // Waits until the disk holds what the batch wrote, so that what the summary calls done is there.
    void flush() {
        platform::awaitOldFiles();
        output_.flush();
    }

private:
    std::string freeName(const std::string& plain) {
        std::string name = plain;
        for (int n = 2; !taken_.insert(name).second; ++n) name = plain + "-" + std::to_string(n);
        return name;
    }
    void nameAs(Job& job, const std::string& name) {
        job.name = name;
        job.shown = (fs::path(output_.path()) / name).lexically_normal().string();
        job.renamed = name != fs::path(job.given).stem().string();
    }

    platform::OutputFolder output_;
    std::set<std::string> taken_;
};

// Holds the picture's folder while its stage files are written, saying so while another run holds
// it. False when asked to stop while waiting.
bool holdFolder(const platform::PictureFolder& folder, const Job& job) {
    return folder.hold(
        job.shown,
        [&] {
            say("edgepipe: " + translate("Batch", "waiting for another edgepipe run writing into %1")
                                   .arg(platform::printable(job.shown)));
        },
        [] { return Application->EndRequest() != 0; });
}

// What a person does in a fresh window: the scroll bar to T first (its preview, with no picture yet,
// draws nothing), then LOAD, 灰階, 濾波 and SOBEL, with the picture's folder for the stage files.
// The folder is made once the picture is in, so a picture that cannot be read leaves none. False when
// asked to stop between two steps, so that every stage file written is whole; `written` lists them.
bool runPicture(Job& job, Folders& folders, int threshold, std::vector<std::string>& written) {
    TForm1 form;
    form.ScrollBar1->SetPosition(threshold);
    form.OpenPicture(job.picture);
    const platform::PictureFolder folder = folders.open(job);
    if (!holdFolder(folder, job)) return false;
    folder.enter();
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
