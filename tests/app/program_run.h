#pragma once
// What the command-line and batch tests share: the window driven as a person drives it, and the
// built program run as a process in the test's folder.
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <csignal>

#include "app/Unit1.h"
#include "support/test_support.h"

namespace testing_support {

// What the window says to LOAD of `picture` with the scroll bar at `threshold`, then (with
// `press`) to 灰階, 濾波 and SOBEL, which write their stage files into `folder` (made if missing).
inline std::vector<std::string> runWindow(const std::string& picture, int threshold, bool press,
                                          const fs::path& folder = ".") {
    const fs::path before = fs::current_path();
    ScriptedPrompts& prompts = scriptPrompts();
    prompts.answers.push_back(fs::absolute(picture).string());
    fs::create_directories(folder);
    fs::current_path(folder);
    TForm1 form;
    form.ScrollBar1->SetPosition(threshold);
    QTest::mouseClick(form.Button2->widget(), Qt::LeftButton);
    for (TButton* b : {form.Button4, form.Button5, form.Button1})
        if (press) QTest::mouseClick(b->widget(), Qt::LeftButton);
    fs::current_path(before);
    return prompts.said;
}

// The built program, run in this folder with its environment changed by `env` ("NAME=value", or
// "NAME" to remove it) and sent `signal` after `upMs`, or with `upMs` < 0 once it has said its
// first line.
struct Run {
    QStringList arguments;
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

inline bool matches(const std::string& text, const std::string& pattern) {
    return QRegularExpression(QString::fromStdString(pattern)).match(QString::fromStdString(text)).hasMatch();
}

}  // namespace testing_support
