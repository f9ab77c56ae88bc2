#pragma once
// What the command-line and batch tests share: the window driven as a person drives it, and the
// built program run as a process.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <csignal>

#include "app/Unit1.h"
#include "platform/prompts.h"

// Records every box; the open dialog answers `file`. record() installs a fresh one.
struct Recorder : platform::Prompts {
    void message(const std::string& text) override { said.push_back(text); }
    void error(const std::string& text) override {
        said.push_back(text);
        onError();
    }
    std::optional<std::string> openPicture(const std::string&, const std::string&) override { return file; }
    std::string file;
    std::vector<std::string> said;
    std::function<void()> onError = [] {};
};
inline Recorder& record() {
    platform::setPrompts(std::make_unique<Recorder>());
    return static_cast<Recorder&>(platform::prompts());
}

// What the window says to LOAD of `picture` with the scroll bar at `threshold`, then (with
// `press`) to 灰階, 濾波 and SOBEL, which write their stage files into `folder` (made if missing).
inline std::vector<std::string> runWindow(const std::string& picture, int threshold, bool press,
                                          const std::string& folder = ".") {
    const QString before = QDir::currentPath();
    QDir().mkpath(QString::fromStdString(folder));
    QDir::setCurrent(QString::fromStdString(folder));
    TForm1 form;
    Recorder& recorder = record();
    recorder.file = picture;
    form.ScrollBar1->SetPosition(threshold);
    QTest::mouseClick(form.Button2->widget(), Qt::LeftButton);
    for (TButton* b : {form.Button4, form.Button5, form.Button1})
        if (press) QTest::mouseClick(b->widget(), Qt::LeftButton);
    QDir::setCurrent(before);
    return recorder.said;
}

// The built program in `dir`, its environment changed by `env` ("NAME=value", or "NAME" to remove
// it), ended by `signal` after `upMs`, or with `upMs` < 0 once it has said its first line.
struct Run {
    QStringList arguments;
    QString dir;
    QStringList env = {};
    int upMs = 0;
    int signal = SIGTERM;
};
// What it did: exit status (-1 for a crash), standard output, standard error.
using Ran = std::tuple<int, std::string, std::string>;
inline Ran runEdgepipe(const Run& run) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // In the sanitizer build, the leak checker's list of suppressions would follow the program's words.
    environment.insert("LSAN_OPTIONS", environment.value("LSAN_OPTIONS") + ":print_suppressions=0");
    for (const QString& e : run.env) {
        if (e.contains('='))
            environment.insert(e.section('=', 0, 0), e.section('=', 1));
        else
            environment.remove(e);
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(run.dir);
    program.start(EDGEPIPE_BINARY, run.arguments);
    program.setReadChannel(QProcess::StandardError);
    while (run.upMs < 0 && !program.canReadLine() && program.waitForReadyRead(60000)) {
    }
    if (run.upMs != 0 && !program.waitForFinished(std::max(run.upMs, 0)))
        ::kill(static_cast<pid_t>(program.processId()), run.signal);
    program.waitForFinished(120000);
    return {program.exitStatus() == QProcess::CrashExit ? -1 : program.exitCode(),
            program.readAllStandardOutput().toStdString(), program.readAllStandardError().toStdString()};
}

// A picture of `width` x `height`, its colours changing from pixel to pixel; a ".jpg" is a
// misnamed PNG.
inline std::string savePicture(const QString& file, int width, int height = 9) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x * y * 13) % 256));
    EXPECT_TRUE(image.save(file, file.endsWith(".jpg") ? "PNG" : nullptr)) << file.toStdString();
    return file.toStdString();
}

inline bool matches(const std::string& text, const std::string& pattern) {
    return QRegularExpression(QString::fromStdString(pattern)).match(QString::fromStdString(text)).hasMatch();
}
