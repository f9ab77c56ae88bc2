// The program's command line, pictures dropped on the window, and starting without a display.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <regex>

#include "app/Unit1.h"
#include "platform/application.h"
#include "platform/prompts.h"

// Records every box; the open dialog answers `file`.
struct Recorder : platform::Prompts {
    void message(const std::string& text) override { said.push_back(text); }
    void error(const std::string& text) override { said.push_back(text), onError(); }
    std::optional<std::string> openPicture(const std::string&, const std::string&) override { return file; }
    std::string file;
    std::vector<std::string> said;
    std::function<void()> onError = [] {};
};
Recorder& record() {
    auto* recorder = new Recorder;
    platform::setPrompts(std::unique_ptr<platform::Prompts>(recorder));
    return *recorder;
}

// What the window says to LOAD of `picture`, the scroll bar at `threshold`, then (with `press`)
// 灰階, 濾波 and SOBEL, writing its stage files into the working directory.
std::vector<std::string> runWindow(const std::string& picture, int threshold, bool press) {
    TForm1 form;
    Recorder& recorder = record();
    recorder.file = picture;
    form.ScrollBar1->SetPosition(threshold);
    for (TButton* b : {form.Button2, form.Button4, form.Button5, form.Button1})
        if (b == form.Button2 || press) QTest::mouseClick(b->widget(), Qt::LeftButton);
    return recorder.said;
}

struct Ran {
    int status;
    bool crashed;
    std::string out, err;
};
using Env = std::map<QString, std::optional<QString>>;  // nullopt: removed
// The built program in `dir`; one that stays up is ended with SIGTERM after `upMs`.
Ran runEdgepipe(const QStringList& arguments, const QString& dir, Env env, int upMs) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    env.emplace("QT_QPA_PLATFORM", "offscreen");
    for (const auto& [name, value] : env) value ? environment.insert(name, *value) : environment.remove(name);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir);
    program.start(EDGEPIPE_BINARY, arguments);
    if (upMs > 0 && !program.waitForFinished(upMs)) ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    program.waitForFinished(120000);
    return {program.exitCode(), program.exitStatus() == QProcess::CrashExit,
            program.readAllStandardOutput().toStdString(), program.readAllStandardError().toStdString()};
}

// A picture of `width` x 9 with a different colour in every pixel.
std::string savePicture(const QString& file, int width) {
    QImage image(width, 9, QImage::Format_RGB888);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x * y * 13) % 256));
    EXPECT_TRUE(image.save(file, file.endsWith(".jpg") ? "PNG" : nullptr));  // a ".jpg" is a misnamed PNG
    return file.toStdString();
}

TEST(CommandLine, OptionsAndAPictureToOpen) {
    QTemporaryDir dir;
    savePicture(dir.filePath("photo.jpg"), 5), savePicture(dir.filePath("b.png"), 5);
    const std::string hint = "Try \"edgepipe --help\" for the options.\n";
    struct Case { QStringList arguments; int status; std::string out, err; };
    for (const Case& c : {Case{{"--help"}, 0, "Batch mode needs no window and no display", ""},
                          {{"-style", "fusion", "--version"}, 0, "", ""},
                          {{"--frobnicate", "--help"}, 2, "", "edgepipe: unknown option \"--frobnicate\"\n" + hint},
                          {{"--threshold", "7", "b.png"}, 2, "", "edgepipe: --threshold, --output and --quiet go with --batch\n" + hint},
                          // The misnamed picture is refused in a box, not on the terminal, and the window stays up.
                          {{"photo.jpg", "b.png"}, 0, "", "edgepipe: opens one picture at a time; ignored: b.png\n"}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Ran ran = runEdgepipe(c.arguments, dir.path(), {}, 2000);
        EXPECT_EQ(std::tuple(ran.status, ran.crashed, ran.err), std::tuple(c.status, false, c.err));
        EXPECT_NE(ran.out.find(c.out), std::string::npos) << ran.out;
    }
    const Ran version = runEdgepipe({"--version"}, dir.path(), {}, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("edgepipe \\d+\\.\\d+\\.\\d+\n"))) << version.out;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no stage file is written";

    // In the window, the given picture loads once the window is up: a refusal shows over it.
    bool shownWhenRefused = false;
    record().onError = [&] { shownWhenRefused = Form1->window()->isVisible(), Form1->Close(); };
    platform::Application->CreateForm(Form1);
    platform::Application->Run([&] { Form1->OpenPicture(dir.filePath("photo.jpg").toStdString()); });
    EXPECT_TRUE(shownWhenRefused);
}

TEST(CommandLine, DropsOfFilesOnTheWindow) {
    QTemporaryDir dir;
    const std::string five = savePicture(dir.filePath("five.png"), 5), seven = savePicture(dir.filePath("seven.bmp"), 7),
                      bad = savePicture(dir.filePath("bad.jpg"), 3);
    const std::string loadSays = runWindow(bad, 128, false).at(0);
    TForm1 form;
    Recorder& recorder = record();
    struct Case { std::vector<QUrl> urls; bool accepted; int width; std::vector<std::string> said; };
    for (const Case& c : {Case{{QUrl::fromLocalFile(QString::fromStdString(five))}, true, 5, {}},
                          {{QUrl::fromLocalFile(QString::fromStdString(bad))}, true, 5, {loadSays}},
                          {{QUrl::fromLocalFile(QString::fromStdString(seven)), QUrl::fromLocalFile(QString::fromStdString(five))}, true, 7, {}},
                          {{QUrl("https://example.org/five.png")}, false, 7, {}},
                          {{}, false, 7, {}}}) {
        SCOPED_TRACE(c.urls.empty() ? "text" : c.urls.front().toString().toStdString());
        recorder.said.clear();
        QMimeData data;
        c.urls.empty() ? data.setText("five.png") : data.setUrls(QList<QUrl>(c.urls.begin(), c.urls.end()));
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.client(), &enter);
        QApplication::sendEvent(form.client(), &drop);
        QApplication::processEvents();
        EXPECT_EQ(std::tuple(enter.isAccepted(), drop.isAccepted()), std::tuple(c.accepted, c.accepted));
        EXPECT_EQ(std::tuple(form.Image1->Picture->Bitmap().Width(), form.Image1->Stretch(), recorder.said),
                  std::tuple(c.width, true, c.said));
    }
}

TEST(CommandLine, WithoutADisplayOneLineAndStatusOne) {
    QTemporaryDir dir;
    const Env noPlatform = {{"QT_QPA_PLATFORM", std::nullopt}};
    struct Case { Env env; std::string reason; };
    for (const Case& c : {Case{{{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}}, "DISPLAY is not set"},
                          {{{"DISPLAY", ":4711"}, {"WAYLAND_DISPLAY", std::nullopt}}, "the X display \":4711\" cannot be opened"},
                          {{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "wayland-9"}, {"XDG_SESSION_TYPE", "wayland"}},
                           "the Wayland display \"wayland-9\" cannot be used, and DISPLAY is not set"}}) {
        SCOPED_TRACE(c.reason);
        Env env = c.env;
        env.insert(noPlatform.begin(), noPlatform.end());
        const Ran ran = runEdgepipe({}, dir.path(), env, 0);
        EXPECT_EQ(std::tuple(ran.status, ran.crashed, ran.out), std::tuple(1, false, std::string()));
        EXPECT_EQ(ran.err, "edgepipe: no display to show the window on (" + c.reason +
                               "); start it from a desktop session, or without a display: xvfb-run edgepipe\n");
    }
}
