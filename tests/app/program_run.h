#pragma once
// What the command-line and batch tests share: the window driven as a person drives it, and the
// built program run as a process in the test's folder.
#include <sys/prctl.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <csignal>

#include "app/Unit1.h"
#include "support/test_support.h"

namespace testing_support {

// What the window says to LOAD of `picture` with the scroll bar at `threshold`, then to 灰階, 濾波
// and SOBEL, which write their stage files into `folder` (made if missing).
inline std::vector<std::string> runWindow(const std::string& picture, int threshold, const fs::path& folder) {
    ScriptedPrompts& prompts = scriptPrompts();
    prompts.answers.push_back(fs::absolute(picture).string());
    fs::create_directories(folder);
    TForm1 form;
    form.stageFolder = folder;
    form.ScrollBar1->SetPosition(threshold);
    QTest::mouseClick(form.Button2->widget(), Qt::LeftButton);
    for (TButton* b : {form.Button4, form.Button5, form.Button1})
        QTest::mouseClick(b->widget(), Qt::LeftButton);
    return prompts.said;
}

// The built program, run in this folder with its environment changed by `env` ("NAME=value"; an
// empty value is as good as none to the program and to Qt) and sent `signal` after `upMs`, or with `upMs` < 0
// once it has said its first line and `made` exists; a program that ends before it is to be signalled has
// the status -2.
struct Run {
    QStringList arguments;
    QStringList env = {};
    int upMs = 0;
    int signal = SIGTERM;
    fs::path made = {};
};
// What it did: exit status (-1 for a crash), standard output, standard error.
using Ran = std::tuple<int, std::string, std::string>;
inline Ran runEdgepipe(const Run& run) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // In the sanitizer build, the leak checker's list of suppressions would follow the program's words.
    environment.insert("LSAN_OPTIONS", environment.value("LSAN_OPTIONS") + ":print_suppressions=0");
    for (const QString& e : run.env) environment.insert(e.section('=', 0, 0), e.section('=', 1));
    QProcess program;
    program.setProcessEnvironment(environment);
    // A program that hangs must not outlive a test that ctest ends at its timeout.
    program.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    program.start(EDGEPIPE_BINARY, run.arguments);
    program.setReadChannel(QProcess::StandardError);
    while (run.upMs < 0 && !program.canReadLine() && program.waitForReadyRead(60000)) {
    }
    while (!run.made.empty() && !fs::exists(run.made) && !program.waitForFinished(1)) {
    }
    const bool endedEarly = run.upMs != 0 && program.waitForFinished(std::max(run.upMs, 0));
    if (run.upMs != 0 && !endedEarly) ::kill(static_cast<pid_t>(program.processId()), run.signal);
    program.waitForFinished(120000);
    const int status = program.exitStatus() == QProcess::CrashExit ? -1 : program.exitCode();
    return {endedEarly ? -2 : status, program.readAllStandardOutput().toStdString(),
            program.readAllStandardError().toStdString()};
}

inline bool matches(const std::string& text, const std::string& pattern) {
    return QRegularExpression(QString::fromStdString(pattern)).match(QString::fromStdString(text)).hasMatch();
}

}  // namespace testing_support
