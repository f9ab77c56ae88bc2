// Whole presses through the real window on the offscreen platform, in a temporary working
// directory: from the click (or the scroll-bar move) to the repainted result view, stage files
// read and written included, on the kernel sizes and on a 10000 x 8000 picture. The first and the
// second threshold preview right after loading a picture from a file are timed on their own. Before
// the timed runs, the peak memory each press adds over what the process held before it is measured
// once per size, in the order a person would press.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/Unit1.h"
#include "pictures.h"
#include "platform/bmp_file.h"
#include "platform/pixel_store.h"

namespace {

namespace fs = std::filesystem;

// A window holding one picture in its source view.
struct Window {
    // The picture put into the source view directly.
    explicit Window(const platform::TBitmap& picture) : form(std::make_unique<TForm1>()) {
        form->Image1->Picture->Assign(picture);
        form->Image1->SetStretch(true);
        show();
    }
    // The picture opened from `file` by LOAD's own step, so that the presses start from what a
    // person's first press meets, the buffers loading keeps ready included.
    explicit Window(const std::string& file) : form(std::make_unique<TForm1>()) {
        form->OpenPicture(file);
        show();
    }
    void show() {
        form->Show();
        QApplication::processEvents();
    }
    void click(platform::TButton* button) { QTest::mouseClick(button->widget(), Qt::LeftButton); }
    void repaintResult() { form->Image2->widget()->repaint(); }
    // The event loop's turn after an event: it draws what the event left to draw.
    static void paintPending() { QApplication::processEvents(); }
    void grey() {
        click(form->Button4);
        paintPending();
    }
    void filter() {
        click(form->Button5);
        paintPending();
    }
    void sobel() {
        click(form->Button1);
        paintPending();
    }
    // Moves the threshold by one, so the scroll bar really changes and raises its event.
    void preview() {
        auto* bar = static_cast<QScrollBar*>(form->ScrollBar1->widget());
        bar->setValue(bar->value() == 128 ? 129 : 128);
        paintPending();
    }
    std::unique_ptr<TForm1> form;
};

// Kilobytes from /proc/self/status: VmRSS now, or VmHWM, the peak since the last reset.
long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return -1;
}

// Peak resident memory a step adds over the resident memory before it, in bytes.
template <class Step>
long peakExtraBytes(Step&& step) {
    { std::ofstream("/proc/self/clear_refs") << "5"; }  // the peak starts again from here
    const long before = statusKb("VmRSS");
    step();
    return (statusKb("VmHWM") - before) * 1024;
}

// The picture is put into the view directly, not loaded: the buffers that loading keeps ready would
// already be resident before the first press and hide what the presses need.
void measureMemory(std::FILE* out) {
    for (const bench::Size& size : bench::sizes()) {
        Window window(bench::picture(size, "photo"));
        const double pictureBytes = double(platform::strideOf(size.width)) * size.height;
        auto report = [&](const char* press, long bytes) {
            std::fprintf(out, "%s %s %ld %.2f\n", press, size.name().c_str(), bytes, bytes / pictureBytes);
        };
        report("grey", peakExtraBytes([&] { window.grey(); }));
        report("filter", peakExtraBytes([&] { window.filter(); }));
        report("sobel", peakExtraBytes([&] { window.sobel(); }));
        report("preview", peakExtraBytes([&] { window.preview(); }));
    }
}

// The picture saved once as a BMP file in the working directory, for the presses that load it.
std::string savedPicture(const bench::Size& size, const std::string& kind) {
    const std::string file = "load-" + size.name() + "-" + kind + ".bmp";
    if (!fs::exists(file)) platform::writeBmp24(bench::picture(size, kind), file);
    return file;
}

// Writes out and forgets a file's cached pages, then removes it; nothing when it is not there.
void dropFile(const char* file) {
    const int fd = ::open(file, O_RDONLY);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    fs::remove(file);
}

// Starts from a working directory without stage files and a pixel store that keeps nothing, as a
// session's first picture does, whatever rows ran before, and leaves the rows before nothing to
// charge to this one: their stage files' pages (dropping a 240 MB file's pages costs the press that
// replaces it about 20 ms), dirty pages of any file still waiting to be written out (the pictures
// saved for loading; the system writes them out in the background, in some later row's time), and
// heap memory freed but kept by the allocator.
void startSession() {
    for (const char* stage : {"A.bmp", "B.bmp", "C.bmp"}) dropFile(stage);
    ::sync();
    platform::releaseStore();
    ::malloc_trim(0);
}

// What a person's next press finds, seconds after the last one: the stage files written before are
// on the disk (a press that replaces a file still being written out waits for that: a second or
// more for 240 MB on a busy disk, depending on the presses and rows that ran before), and the old
// files they replaced are freed (a 36 MB file's pages take milliseconds of a core to free, taken from
// whichever press runs next when presses follow each other at once).
void settle() {
    ::sync();
    platform::awaitOldFiles();
}

// Repeated presses of one kind, after LOAD, 灰階 and 濾波 in a window of their own.
void press(benchmark::State& state, const std::string& which, const bench::Size& size,
           const std::string& kind) {
    startSession();
    const std::string file = savedPicture(size, kind);
    Window window(file);
    window.grey();
    window.filter();  // A.bmp and B.bmp exist from here on
    // SOBEL works on the smoothed picture; only its row keeps a second owner of those pixels, which
    // would otherwise make every other press need one more picture-sized buffer than a person's.
    platform::TBitmap smoothed;
    if (which == "sobel") smoothed = window.form->Image2->Picture->Bitmap();
    // Warm presses: one untimed press first, so that every buffer the press needs is kept in the
    // pixel store and the times do not depend on how fast the system hands out fresh memory (the
    // first presses after LOAD, the "first" rows, time that apart). 灰階 needs two: its grey plane
    // is on screen while the next press makes another, so presses alternate between two planes.
    if (which == "grey") window.grey();
    if (which == "grey") window.grey();
    if (which == "filter") window.filter();
    if (which == "sobel") window.sobel();
    if (which == "preview") window.preview();
    // Each press that writes a stage file starts from what a person's next press finds.
    const bool writes = which == "grey" || which == "filter" || which == "sobel";
    for (auto _ : state) {
        if (writes) {
            state.PauseTiming();
            settle();
            if (which == "sobel") {
                window.form->Image2->Picture->Assign(smoothed);
                QApplication::processEvents();  // its repaint is the set-up's, not the press's
            }
            state.ResumeTiming();
        }
        if (which == "grey") {
            window.grey();
        } else if (which == "filter") {
            window.filter();
        } else if (which == "sobel") {
            window.sobel();
        } else if (which == "preview") {
            window.preview();
        } else if (which == "load") {  // reading the picture again, as the batch does for each one
            window.form->OpenPicture(file);
        } else {  // drawing the result view alone
            window.repaintResult();
        }
    }
}

// A press's floor: its stage file written from memory with nothing computed, by the writer the press
// uses, from the press's own result (a grey picture for 灰階, widened as it is written), replacing the
// file the press before wrote, each write from what a person's next press finds, as the presses are.
void floorOf(benchmark::State& state, const std::string& which, const bench::Size& size,
             const std::string& kind) {
    startSession();
    Window window(savedPicture(size, kind));
    window.grey();
    if (which != "grey") window.filter();
    if (which == "sobel") window.sobel();
    const platform::TBitmap result = window.form->Image2->Picture->Bitmap();
    const char* const file = which == "grey" ? "A.bmp" : which == "filter" ? "B.bmp" : "C.bmp";
    for (auto _ : state) {
        state.PauseTiming();
        settle();
        state.ResumeTiming();
        platform::writeBmp24(result, file);
    }
}

// The first press of a kind right after LOAD put a picture into the window, as for the first
// picture of a session: the views are emptied, and neither stage files nor kept buffers are left
// from earlier presses (the planes the operations keep between presses have grown already, as after
// any earlier picture of this size). "firstpreview" and "secondpreview" time the first and second
// threshold step after loading, "firstgrey" 灰階, "firstfilter" 濾波 right after 灰階 and
// "firstsobel" SOBEL right after both: the cold presses, with fresh memory from the system. The
// window has shown a preview before, so the time is not Qt's first drawing of the views.
void pressAfterLoad(benchmark::State& state, const std::string& which, const bench::Size& size,
                    const std::string& kind) {
    const std::string file = savedPicture(size, kind);
    Window window(bench::picture(bench::sizes().front(), kind));
    window.preview();
    for (auto _ : state) {
        state.PauseTiming();
        window.form->Image1->Picture->Assign(platform::TBitmap());
        window.form->Image2->Picture->Assign(platform::TBitmap());
        startSession();
        window.form->OpenPicture(file);
        QApplication::processEvents();
        if (which == "secondpreview") window.preview();
        if (which == "firstfilter" || which == "firstsobel") window.grey();
        if (which == "firstsobel") window.filter();
        settle();
        state.ResumeTiming();
        if (which == "firstgrey") {
            window.grey();
        } else if (which == "firstfilter") {
            window.filter();
        } else if (which == "firstsobel") {
            window.sobel();
        } else {
            window.preview();
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::string pattern = (fs::temp_directory_path() / "edgepipe-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    const fs::path dir = pattern, previous = fs::current_path();
    fs::current_path(dir);

    // --memory=FILE writes the peak-memory lines there before the timed runs.
    std::string memoryFile;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--memory=", 0) == 0) memoryFile = previous / (argv[i] + 9);
    if (!memoryFile.empty()) {
        std::FILE* out = std::fopen(memoryFile.c_str(), "w");
        if (!out) return 1;
        measureMemory(out);
        std::fclose(out);
    }

    const char* presses[] = {"load", "grey", "filter", "sobel", "preview", "draw"};
    std::vector<bench::Size> sizes = bench::sizes();
    sizes.push_back(bench::largeSize());
    for (const bench::Size& size : sizes) {
        // A press on the large picture takes a good part of a second and its set-up (loading the
        // picture, 灰階 and 濾波) about a second more: five repetitions instead of seven keep the
        // whole run within minutes.
        const bool large = size.width == bench::largeSize().width;
        for (const std::string& kind : bench::kinds()) {
            // `row` names the row, `which` the press it times (or whose floor it times).
            auto add = [&](const std::string& row, auto function, const char* which = nullptr) {
                const std::string id = "press-" + row + "|ours|" + size.name() + "|" + kind;
                auto* b = benchmark::RegisterBenchmark(id.c_str(), function, std::string(which ? which : row),
                                                       size, kind)
                              ->Unit(benchmark::kMillisecond)
                              ->UseRealTime();
                return large ? b->Repetitions(5) : b;
            };
            for (const char* which : presses) add(which, press)->MinTime(large ? 0.5 : 0.3);
            for (const char* which : {"grey", "filter", "sobel"})
                add(std::string("floor-") + which, floorOf, which)->MinTime(large ? 0.5 : 0.3);
            for (const char* which :
                 {"firstpreview", "secondpreview", "firstgrey", "firstfilter", "firstsobel"})
                add(which, pressAfterLoad)->Iterations(large ? 1 : 3);
        }
    }
    int benchArgc = 0;
    std::vector<char*> benchArgv;
    for (int i = 0; i < argc; ++i)
        if (std::string(argv[i]).rfind("--memory=", 0) != 0) benchArgv.push_back(argv[i]), ++benchArgc;
    benchmark::Initialize(&benchArgc, benchArgv.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
