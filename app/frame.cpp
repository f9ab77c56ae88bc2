#include "app/frame.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/bmp_file.h"
#include "platform/errors.h"
#include "platform/picture_reader.h"
#include "platform/prompts.h"
#include "platform/translation.h"

namespace frame {
namespace {

namespace fs = std::filesystem;

// The press that writes a stage file that a later press reads, by its button's caption.
const char* makerOf(const char* stageFile) {
    return std::strcmp(stageFile, kStageGrey) == 0 ? "灰階" : "濾波";
}

// A thread kept for the whole run that runs the jobs handed to it one after the other: starting and
// ending a thread for each press took longer than writing a small stage file.
class KeptThread {
public:
    KeptThread() : thread_([this] { serve(); }) {}
    ~KeptThread() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    KeptThread(const KeptThread&) = delete;
    KeptThread& operator=(const KeptThread&) = delete;

    std::future<void> run(std::function<void()> job) {
        keepOffCallersCore();
        std::packaged_task<void()> task(std::move(job));
        std::future<void> done = task.get_future();
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(task));
        }
        wake_.notify_one();
        return done;
    }

private:
    // The job runs beside the caller, which goes on working: woken on a machine whose other core was
    // idle, the thread was still often put on the caller's core, and its job waited a millisecond or
    // more for the caller to pause. Nothing changes when the caller's core is the only one allowed.
    void keepOffCallersCore() {
        cpu_set_t cores;
        const int callers = ::sched_getcpu();
        if (callers < 0 || ::sched_getaffinity(0, sizeof cores, &cores) != 0) return;
        CPU_CLR(callers, &cores);
        if (CPU_COUNT(&cores) == 0) return;
        ::pthread_setaffinity_np(thread_.native_handle(), sizeof cores, &cores);
    }

    void serve() {
        for (;;) {
            std::packaged_task<void()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                task = std::move(jobs_.front());
                jobs_.pop_front();
            }
            task();  // its failure goes to the job's future
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

// Returns once `job` is done, or after half a millisecond. A job that is soon done is seen at once,
// where waiting for it to wake the caller took a tenth of a millisecond more.
void awaitSoon(const std::future<void>& job) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
    while (job.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < until) {
    }
}

// A press writes one stage file while it reads another through: one kept thread for each.
KeptThread& writerThread() {
    static KeptThread thread;
    return thread;
}
KeptThread& checkerThread() {
    static KeptThread thread;
    return thread;
}

}  // namespace

void guardSourcePicture(const platform::TPicture& source) {
    if (source.Bitmap().Empty()) platform::ShowMessage(kLoadPictureMessage);
}

platform::TBitmap workCopyOf(const platform::TPicture& picture) {
    platform::TBitmap copy;
    copy.Assign(picture.Bitmap());
    copy.SetPixelFormat(platform::TPixelFormat::pf24bit);
    return copy;
}

fs::path workingFolder() {
    std::error_code error;
    fs::path folder = fs::current_path(error);
    return error ? fs::path(".") : folder;
}

namespace {

// The stage file's name in `folder`; throws, naming it, when there is no such file.
fs::path existingStageFile(const fs::path& folder, const char* stageFile) {
    const fs::path path = folder / stageFile;
    std::error_code error;
    if (!fs::exists(path, error) && !error)
        //: %2 is the caption of the button that writes the file
        platform::failFile(stageFile, platform::translate("Files", "no such file in %1; %2 makes it")
                                          .arg(platform::cleanPath(folder.string()), makerOf(stageFile)));
    return path;
}

void show(const platform::TBitmap& copy, platform::TImage& resultView) {
    resultView.SetStretch(true);
    resultView.Picture->Assign(copy);
}

}  // namespace

StageWriting::StageWriting(const platform::TBitmap& picture, const fs::path& folder, const char* stageFile)
    : writing_(writerThread().run([&picture, this, path = (folder / stageFile).string()] {
          platform::writeBmp24(picture, path, made_);
      })) {}

StageWriting::~StageWriting() {
    if (!writing_.valid()) return;
    made_.abandon();
    writing_.wait();  // its MakingFailed says nothing the maker's own failure does not
}

void StageWriting::publish(const platform::TBitmap& copy, platform::TImage& resultView) {
    made_.finish();
    show(copy, resultView);
    resultView.PaintNow();  // while the writer, some rows behind the maker, finishes the file
    awaitSoon(writing_);    // the drawing took about as long as the writer still needed
    writing_.get();
}

StageCheck startCheckingStageFile(const fs::path& folder, const char* stageFile) {
    return checkerThread().run(
        [path = existingStageFile(folder, stageFile)] { platform::readBmpThrough(path.string()); });
}

void computeWhileChecking(StageCheck& checking, const std::function<void()>& compute,
                          const std::function<void(bool computed)>& onceChecked) {
    try {
        compute();
    } catch (...) {
        checking.get();
        onceChecked(false);
        throw;
    }
    checking.get();
    onceChecked(true);
}

void showStageFile(platform::TImage& resultView, const fs::path& folder, const char* stageFile) {
    platform::TBitmap read;
    read.LoadFromFile((folder / stageFile).string());
    resultView.Picture->Assign(read);
}

void publishWhileMaking(platform::TBitmap& copy, platform::TImage& resultView, const fs::path& folder,
                        const char* stageFile, const std::function<void(platform::RowsMade&)>& make) {
    StageWriting writing(copy, folder, stageFile);
    make(writing.made());
    writing.publish(copy, resultView);
}

}  // namespace frame
