// The program's command line, pictures dropped on the window, and starting without a display.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "app/Unit1.h"
#include "platform/application.h"
#include "platform/prompts.h"

// Records every box; the open dialog answers `file`. record() installs a fresh one.
struct Recorder : platform::Prompts {
    void message(const std::string& text) override { said.push_back(text); }
    void error(const std::string& text) override { said.push_back(text), onError(); }
    std::optional<std::string> openPicture(const std::string&, const std::string&) override { return file; }
    std::string file;
    std::vector<std::string> said;
    std::function<void()> onError = [] {};
};
Recorder& record() {
    platform::setPrompts(std::make_unique<Recorder>());
    return static_cast<Recorder&>(platform::prompts());
}

// What the window says to LOAD of `picture` with the scroll bar at `threshold`, then (with
// `press`) to 灰階, 濾波 and SOBEL, which write their stage files into `folder` (made if missing).
std::vector<std::string> runWindow(const std::string& picture, int threshold, bool press,
                                   const std::string& folder = ".") {
    const QString before = QDir::currentPath();
    QDir().mkpath(QString::fromStdString(folder)), QDir::setCurrent(QString::fromStdString(folder));
    TForm1 form;
    Recorder& recorder = record();
    recorder.file = picture;
    form.ScrollBar1->SetPosition(threshold);
    for (TButton* b : {form.Button2, form.Button4, form.Button5, form.Button1})
        if (b == form.Button2 || press) QTest::mouseClick(b->widget(), Qt::LeftButton);
    QDir::setCurrent(before);
    return recorder.said;
}

// The built program in `dir`, its environment changed by `env` ("NAME=value", or "NAME" to remove
// it): exit status (-1 for a crash), standard output, standard error. One that stays up is ended
// with SIGTERM after `upMs`; with `upMs` < 0, once it has said its first line.
using Ran = std::tuple<int, std::string, std::string>;
Ran runEdgepipe(const QStringList& arguments, const QString& dir, const QStringList& env = {}, int upMs = 0) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // In the sanitizer build, the leak checker's list of suppressions would follow the program's words.
    environment.insert("LSAN_OPTIONS", environment.value("LSAN_OPTIONS") + ":print_suppressions=0");
    for (const QString& e : env)
        e.contains('=') ? environment.insert(e.section('=', 0, 0), e.section('=', 1)) : environment.remove(e);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir);
    program.start(EDGEPIPE_BINARY, arguments);
    program.setReadChannel(QProcess::StandardError);
    while (upMs < 0 && !program.canReadLine() && program.waitForReadyRead(60000)) {
    }
    if (upMs != 0 && !program.waitForFinished(std::max(upMs, 0)))
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    program.waitForFinished(120000);
    return {program.exitStatus() == QProcess::CrashExit ? -1 : program.exitCode(),
            program.readAllStandardOutput().toStdString(), program.readAllStandardError().toStdString()};
}

// A picture of `width` x `height`, its colours changing from pixel to pixel; a ".jpg" is a
// misnamed PNG.
std::string savePicture(const QString& file, int width, int height = 9) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x * y * 13) % 256));
    EXPECT_TRUE(image.save(file, file.endsWith(".jpg") ? "PNG" : nullptr));
    return file.toStdString();
}

TEST(CommandLine, OptionsAndAPictureToOpen) {
    QTemporaryDir dir;
    const std::string bad = savePicture(dir.filePath("photo.jpg"), 5),
                      hint = "Try \"edgepipe --help\" for the options.\n";
    savePicture(dir.filePath("b.png"), 5);
    struct Case {
        QStringList arguments;
        int status;
        const char* out;
        std::string err;
    };  // out: a pattern
    for (const Case& c :
         {Case{{"--help"}, 0, "edgepipe --batch \\[--threshold T\\]", ""},
          {{"-style", "fusion", "--version"}, 0, "^edgepipe \\d+\\.\\d+\\.\\d+\n$", ""},
          {{"-style", "fusion", "b.png"}, 0, "^$", ""},  // Qt takes the option's value, not the picture
          {{"--frobnicate", "--help"}, 2, "^$", "edgepipe: unknown option \"--frobnicate\"\n" + hint},
          {{"--threshold", "7", "b.png"},
           2,
           "^$",
           "edgepipe: --threshold, --output and --quiet go with --batch\n" + hint},
          {{"--output=o", "b.png"},
           2,
           "^$",
           "edgepipe: --threshold, --output and --quiet go with --batch\n" + hint},
          // Refused in a box, not on the terminal; the window stays up until SIGTERM.
          {{"photo.jpg", "b.png"}, 0, "^$", "edgepipe: opens one picture at a time; ignored: b.png\n"}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto [status, out, err] = runEdgepipe(c.arguments, dir.path(), {}, 2000);
        EXPECT_EQ(
            std::tuple(status, err, QRegularExpression(c.out).match(QString::fromStdString(out)).hasMatch()),
            std::tuple(c.status, c.err, true))
            << out;
    }

    // In the window, the given picture loads once the window is up, so a refusal shows over it.
    bool shownWhenRefused = false;
    record().onError = [&] { shownWhenRefused = Form1->window()->isVisible(), Form1->Close(); };
    platform::Application->CreateForm(Form1);
    platform::Application->Run([&] { Form1->OpenPicture(bad); });
    EXPECT_TRUE(shownWhenRefused);
}

TEST(CommandLine, DropsOfFilesOnTheWindow) {
    QTemporaryDir dir;
    const auto url = [&](const char* name, int width) {
        return QUrl::fromLocalFile(QString::fromStdString(savePicture(dir.filePath(name), width)));
    };
    const QUrl five = url("five.png", 5), seven = url("seven.bmp", 7), bad = url("bad.jpg", 3);
    const std::string loadSays = runWindow(bad.toLocalFile().toStdString(), 128, false).at(0);
    TForm1 form;
    Recorder& recorder = record();
    struct Case {
        QList<QUrl> urls;
        bool accepted;
        int width;
        std::vector<std::string> said;
    };
    for (const Case& c : {Case{{five}, true, 5, {}},
                          {{bad}, true, 5, {loadSays}},
                          {{seven, five}, true, 7, {}},
                          {{QUrl("https://example.org/five.png")}, false, 7, {}},
                          {{}, false, 7, {}}}) {
        SCOPED_TRACE(c.urls.empty() ? "text" : c.urls.front().toString().toStdString());
        recorder.said.clear();
        QMimeData data;
        c.urls.empty() ? data.setText("five.png") : data.setUrls(c.urls);
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.client(), &enter), QApplication::sendEvent(form.client(), &drop);
        QApplication::processEvents();
        EXPECT_EQ(std::tuple(enter.isAccepted(), drop.isAccepted(), form.Image1->Picture->Bitmap().Width(),
                             recorder.said),
                  std::tuple(c.accepted, c.accepted, c.width, c.said));
    }
    EXPECT_TRUE(form.Image1->Stretch());
}

TEST(CommandLine, WithoutADisplayOneLineAndStatusOne) {
    QTemporaryDir dir;
    struct Case {
        QStringList env;
        std::string reason;
    };
    for (const Case& c : {Case{{"DISPLAY", "WAYLAND_DISPLAY"}, "DISPLAY is not set"},
                          {{"DISPLAY=:4711", "WAYLAND_DISPLAY"}, "the X display \":4711\" cannot be opened"},
                          {{"DISPLAY=", "WAYLAND_DISPLAY=wayland-9", "XDG_SESSION_TYPE=wayland"},
                           "the Wayland display \"wayland-9\" cannot be used, and DISPLAY is not set"}}) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(runEdgepipe({}, dir.path(), c.env + QStringList{"QT_QPA_PLATFORM"}),
                  Ran(1, "",
                      "edgepipe: no display to show the window on (" + c.reason +
                          "); start it from a desktop session, or without a display: xvfb-run edgepipe\n"));
    }
}

// A platform Qt has no plugin for is named with the ones Qt has, whether -platform or
// QT_QPA_PLATFORM asked for it, rather than said to be a missing display.
TEST(CommandLine, UnknownPlatformNamedWithThePluginsQtHas) {
    QTemporaryDir dir;
    for (const auto& [arguments, env, by] :
         {std::tuple(QStringList{"-platform", "nosuch"}, QStringList{}, "-platform"),
          {{}, {"QT_QPA_PLATFORM=nosuch"}, "QT_QPA_PLATFORM"}}) {
        const auto [status, out, err] = runEdgepipe(arguments, dir.path(), env);
        const QRegularExpression says(
            QString("^edgepipe: Qt has no platform plugin \"nosuch\" \\(asked for by ") + by +
            "\\)\nedgepipe: the ones it has in /\\S+/platforms: [a-z, ]*offscreen[a-z, ]*\n$");
        EXPECT_EQ(std::pair(status, says.match(QString::fromStdString(err)).hasMatch()), std::pair(1, true))
            << err;
    }
}
