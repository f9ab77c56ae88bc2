// Whole presses through the real window on the offscreen platform, in a temporary working
// directory: from the click (or the scroll-bar move) to the repainted result view, stage files
// read and written included, on the kernel sizes and on a 10000 x 8000 picture. The first and the
// second threshold preview right after loading a picture from a file are timed on their own. Before
// the timed runs, the peak memory each press adds over what the process held before it is measured
// once per size, in the order a person would press.
#include <benchmark/benchmark.h>

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
#include "platform/pixel_store.h"
#include "platform/bmp_file.h"

namespace {

namespace fs = std::filesystem;

// A window holding one picture in its source view.
struct Window {
    explicit Window(const platform::TBitmap& picture) : form(std::make_unique<TForm1>()) {
        form->Image1->Picture->Assign(picture);
        form->Image1->SetStretch(true);
        form->Show();
        QApplication::processEvents();
    }
    void click(platform::TButton* button) { QTest::mouseClick(button->widget(), Qt::LeftButton); }
    void repaintResult() { form->Image2->widget()->repaint(); }
    void grey() { click(form->Button4); repaintResult(); }
    void filter() { click(form->Button5); repaintResult(); }
    void sobel() { click(form->Button1); repaintResult(); }
    // Moves the threshold by one, so the scroll bar really changes and raises its event.
    void preview() {
        auto* bar = static_cast<QScrollBar*>(form->ScrollBar1->widget());
        bar->setValue(bar->value() == 128 ? 129 : 128);
        repaintResult();
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

void press(benchmark::State& state, const std::string& which, const bench::Size& size, const std::string& kind) {
    Window window(bench::picture(size, kind));
    window.grey();
    window.filter();  // A.bmp and B.bmp exist from here on
    const platform::TBitmap smoothed = window.form->Image2->Picture->Bitmap();
    for (auto _ : state) {
        if (which == "grey") {
            window.grey();
        } else if (which == "filter") {
            window.filter();
        } else if (which == "sobel") {
            state.PauseTiming();
            window.form->Image2->Picture->Assign(smoothed);  // SOBEL works on the smoothed picture
            state.ResumeTiming();
            window.sobel();
        } else if (which == "preview") {
            window.preview();
        } else {  // drawing the result view alone
            window.repaintResult();
        }
    }
}

// The picture saved once as a BMP file in the working directory, for the presses that load it.
std::string savedPicture(const bench::Size& size, const std::string& kind) {
    const std::string file = "load-" + size.name() + "-" + kind + ".bmp";
    if (!fs::exists(file)) platform::writeBmp24(bench::picture(size, kind), file);
    return file;
}

// The first (`steps` = 1) or second (2) threshold preview after LOAD put a picture into the window,
// as for the first picture of this size in a session: the result view is emptied and the pixel
// store holds nothing kept from earlier presses. The window has shown a preview before, so the
// time is not Qt's first drawing of the views.
void previewAfterLoad(benchmark::State& state, int steps, const bench::Size& size, const std::string& kind) {
    const std::string file = savedPicture(size, kind);
    Window window(bench::picture(bench::sizes().front(), kind));
    window.preview();
    for (auto _ : state) {
        state.PauseTiming();
        window.form->Image2->Picture->Assign(platform::TBitmap());
        platform::releaseStore();
        window.form->Image1->Picture->LoadFromFile(file);  // what LOAD does with the chosen file
        window.form->Image1->SetStretch(true);
        QApplication::processEvents();
        for (int step = 1; step < steps; ++step) window.preview();
        state.ResumeTiming();
        window.preview();
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

    const char* presses[] = {"grey", "filter", "sobel", "preview", "draw"};
    std::vector<bench::Size> sizes = bench::sizes();
    sizes.push_back(bench::largeSize());
    for (const bench::Size& size : sizes) {
        // A press on the large picture takes a good part of a second and its set-up seconds:
        // fewer repetitions keep the whole run within minutes.
        const bool large = size.width == bench::largeSize().width;
        for (const std::string& kind : bench::kinds()) {
            for (const char* which : presses) {
                const std::string id = std::string("press-") + which + "|ours|" + size.name() + "|" + kind;
                auto* b = benchmark::RegisterBenchmark(id.c_str(), press, std::string(which), size, kind)
                              ->Unit(benchmark::kMillisecond)
                              ->UseRealTime()
                              ->MinTime(large ? 0.5 : 0.3);
                if (large) b->Repetitions(3);
            }
            for (int steps : {1, 2}) {
                const std::string id = std::string(steps == 1 ? "press-firstpreview" : "press-secondpreview") +
                                       "|ours|" + size.name() + "|" + kind;
                auto* b = benchmark::RegisterBenchmark(id.c_str(), previewAfterLoad, steps, size, kind)
                              ->Unit(benchmark::kMillisecond)
                              ->UseRealTime()
                              ->Iterations(large ? 1 : 3);
                if (large) b->Repetitions(3);
            }
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
