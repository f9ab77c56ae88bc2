#include "app/batch.h"

#include <algorithm>
#include <cctype>
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
#include "platform/console.h"
#include "platform/errors.h"
#include "platform/picture_reader.h"
#include "platform/pixel_store.h"
#include "platform/prompts.h"

namespace {

namespace fs = std::filesystem;
using platform::Application;
using platform::console::say;

struct Job {
    std::string given;     // the picture as named on the command line
    std::string picture;   // its absolute name
    fs::path folder;       // where its stage files go, absolute
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

// One picture writes into the output folder itself; several each into a folder of their own under
// it (see folderName). A name already taken by an earlier picture gets "-2", "-3" ... appended,
// the first that is free.
std::vector<Job> plan(const CommandLine& request) {
    const fs::path output = fs::path(absolutePath(request.output)).lexically_normal();
    std::set<std::string> taken;
    std::vector<Job> jobs;
    for (const std::string& given : request.pictures) {
        Job job{given, absolutePath(given), output, request.output};
        if (request.pictures.size() > 1) {
            const std::string stem = fs::path(given).stem().string(), plain = folderName(stem);
            std::string name = plain;
            for (int n = 2; !taken.insert(name).second; ++n) name = plain + "-" + std::to_string(n);
            job.folder /= name;
            job.shown = (fs::path(request.output) / name).lexically_normal().string();
            job.renamed = name != stem;
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

void makeFolder(const Job& job) {
    std::error_code error;
    fs::create_directories(job.folder, error);
    if (error) platform::failFile(job.shown, "cannot hold the stage files (" + error.message() + ")");
}

// What a person does in a fresh window: the scroll bar to T first, while its preview has no
// picture to work on, then LOAD, 灰階, 濾波 and SOBEL, with the picture's folder for the stage
// files. The preview is called as the presses are, so that its failure is the picture's too. The
// folder is made once the picture is in, so a picture that cannot be read leaves none. False when
// asked to stop between two steps, so that every stage file written is whole; `written` lists them.
bool runPicture(const Job& job, int threshold, std::vector<std::string>& written) {
    TForm1 form;
    form.stageFolder = job.folder;
    const platform::TNotifyEvent preview = std::exchange(form.ScrollBar1->OnChange, nullptr);
    form.ScrollBar1->SetPosition(threshold);
    form.ScrollBar1->OnChange = preview;
    form.ScrollBar1Change(form.ScrollBar1);
    form.OpenPicture(job.picture);
    makeFolder(job);
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
    std::string extension = fs::path(next.picture).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::vector<std::string>& bmp = platform::pictureKinds().front().extensions;
    if (std::find(bmp.begin(), bmp.end(), extension) == bmp.end()) return false;
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

// "[3/40] ": how far the batch is.
std::string counter(std::size_t at, std::size_t total) {
    char text[48];
    std::snprintf(text, sizeof text, "[%zu/%zu] ", at, total);
    return text;
}

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, s < 10 ? "%.2f s" : "%.0f s", s);
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
        std::string line = counter(finished + 1, total_) + std::to_string(done_) + " done, " +
                           std::to_string(failed_) + " failed; now " + job.given;
        if (finished > 0) {
            const double each = spent_ / finished;
            line +=
                "; " + seconds(each) + " a picture, about " + seconds(each * (total_ - finished)) + " left";
        }
        platform::console::showLive(line);
    }
    void done(const Job& job, double took) {
        ++done_;
        spent_ += took;
        if (!quiet_ && (!live_ || job.renamed))
            say(count() + job.given + ": done in " + seconds(took) + ", stage files in " + job.shown);
    }
    void failed(const Job& job, const std::string& message, double took) {
        ++failed_;
        spent_ += took;
        say(count() + job.given + ": failed: " + message);
    }
    // The summary line; the exit status. It names the folder of the last picture, or, when the
    // batch was stopped in a picture, that picture and the stage files it wrote.
    int finish(int signal, const Job* last, const Job* stoppedIn, const std::vector<std::string>& written) {
        if (live_) platform::console::showLive("");
        std::string summary = std::to_string(total_) + (total_ == 1 ? " picture: " : " pictures: ") +
                              std::to_string(done_) + " done, " + std::to_string(failed_) + " failed";
        if (signal != 0)
            summary += ", " + std::to_string(total_ - done_ - failed_) + " not done (stopped by " +
                       (signal == SIGINT ? "Ctrl-C" : "SIGTERM") +
                       (stoppedIn ? where(*stoppedIn, written) : "") + ")";
        if (last && !stoppedIn)
            summary += (total_ == 1 ? "; its folder: " : "; the last one's folder: ") + last->shown;
        if (!quiet_) say(summary);
        if (signal != 0) return 128 + signal;
        return failed_ == 0 ? 0 : 1;
    }

private:
    // " in [2/30] big.bmp, with A.bmp and B.bmp written in out/big-2"
    std::string where(const Job& job, const std::vector<std::string>& written) const {
        std::string text = " in " + counter(done_ + failed_ + 1, total_) + job.given;
        if (written.empty()) return text + ", before its first stage file";
        for (std::size_t i = 0; i < written.size(); ++i)
            text += (i == 0 ? ", with " : i + 1 == written.size() ? " and " : ", ") + written[i];
        return text + " written in " + job.shown;
    }
    std::string count() const { return counter(done_ + failed_, total_); }

    std::size_t total_, done_ = 0, failed_ = 0;
    double spent_ = 0;
    bool quiet_, live_;
};

}  // namespace

int runBatch(const CommandLine& request) {
    const std::vector<Job> jobs = plan(request);
    Application->InitializeWithoutDisplay({request.qtArguments.front()});
    platform::setPrompts(std::make_unique<BatchPrompts>());
    Progress progress(jobs.size(), request.quiet);
    const Job* last = nullptr;
    const Job* stoppedIn = nullptr;
    std::vector<std::string> written;
    for (std::size_t i = 0; i < jobs.size() && !stoppedIn; ++i) {
        const Job& job = jobs[i];
        written.clear();
        if (Application->EndRequest() != 0) {
            stoppedIn = &job;
            break;
        }
        last = &job;
        progress.starting(job);
        const auto start = std::chrono::steady_clock::now();
        const auto took = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        try {
            if (runPicture(job, request.threshold, written))
                progress.done(job, took());
            else
                stoppedIn = &job;
        } catch (const std::exception& failure) {
            progress.failed(job, failure.what(), took());
        } catch (...) {
            progress.failed(job, "", took());
        }
        if (i + 1 == jobs.size() || !sameBlocksServe(jobs[i + 1], job)) platform::releaseStore();
    }
    return progress.finish(Application->EndRequest(), last, stoppedIn, written);
}
