#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>

#include "support/test_support.h"

using namespace testing_support;

class Program : public InTempDir {};

TEST_F(Program, StartsAndEndsCleanlyWhenAskedTo) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(QString::fromStdString(dir().string()));
    program.start(EDGEPIPE_BINARY, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    EXPECT_FALSE(program.waitForFinished(1500)) << "the window stays up until it is closed";
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir())) << "nothing is written by starting and closing";
}

TEST_F(Program, WithoutADisplaySaysSoInOneLine) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(EDGEPIPE_BINARY, {});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(program.readAllStandardError()).trimmed();
    EXPECT_TRUE(said.endsWith("edgepipe: no display to show the window on (DISPLAY is not set); start it from a "
                              "desktop session, or without a display: xvfb-run edgepipe"))
        << said.toStdString();
}
