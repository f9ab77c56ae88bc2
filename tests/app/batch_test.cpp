// Batch mode through the built program, against the window on the same pictures.
#include "app/program_run.h"

using namespace testing_support;
using Batch = InTempDir;

namespace {
std::vector<std::vector<std::uint8_t>> stageFiles(const fs::path& folder) {
    return {readFileBytes(folder / "A.bmp"), readFileBytes(folder / "B.bmp"),
            readFileBytes(folder / "C.bmp")};
}
}  // namespace

// Two kinds, odd widths, two thresholds; several pictures each get a folder inside the output
// folder, the first free of NAME, NAME-2, NAME-3 ..., NAME without leading dots ("picture" when
// none is left); one picture writes straight into the output folder.
TEST_F(Batch, StageFilesAreTheWindowsByteForByteInAFolderEach) {
    savePicture(designedPicture(37, 9), "odd.bmp");
    savePicture(designedPicture(21, 9), "odd.png");
    fs::create_directory("x");
    savePicture(designedPicture(9, 9), "x/odd-2.png");
    savePicture(designedPicture(7, 9), "...bmp");
    savePicture(designedPicture(6, 9), "..bmp");
    savePicture(designedPicture(5, 9), ".odd.png");
    struct Case {
        QStringList arguments;
        int threshold;
        std::vector<std::string> folders;
    };
    for (const Case& c : {Case{{"--output", "all", "odd.bmp", "odd.png", "x/odd-2.png"},
                               128,
                               {"all/odd", "all/odd-2", "all/odd-2-2"}},
                          {{"--threshold=255", "odd.png"}, 255, {"."}},
                          {{"--output", "dots/o", "...bmp", "..bmp", ".odd.png", "odd.png"},
                           128,
                           {"dots/o/picture", "dots/o/picture-2", "dots/o/odd", "dots/o/odd-2"}}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto [status, out, err] = runEdgepipe({.arguments = QStringList("--batch") + c.arguments});
        EXPECT_EQ(std::tuple(status, out), std::tuple(0, ""));
        for (std::size_t i = 0; i < c.folders.size(); ++i) {
            const std::string picture = c.arguments[c.arguments.size() - c.folders.size() + i].toStdString();
            EXPECT_TRUE(matches(err, picture + ": done in [0-9.]+ s, stage files in " + c.folders[i] + "\n"))
                << err;
            const fs::path windowFolder = "window" / fs::path(c.folders[i]);
            EXPECT_EQ(runWindow(picture, c.threshold, true, windowFolder), std::vector<std::string>());
            EXPECT_TRUE(stageFiles(windowFolder) == stageFiles(c.folders[i])) << c.folders[i];
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("dots"), {}), 1) << "dots holds the output folder alone";
}

TEST_F(Batch, FailuresAreSaidAsTheWindowSaysThemAndTheBatchGoesOn) {
    savePicture(designedPicture(4, 9), "bad.jpg", "PNG");
    savePicture(designedPicture(6, 9), "a.png");
    savePicture(designedPicture(5, 9), "b.png");
    std::ofstream("file") << "a file where a folder should be";
    fs::create_directories("blocked/A.bmp");
    const std::string unreadable = runWindow("bad.jpg", 128, false).at(0);
    const std::string unwritable = runWindow("a.png", 128, true, "blocked").at(0);
    struct Case {
        QStringList arguments;
        std::string err;
    };
    for (const Case& c :
         {Case{{"a.png", "bad.jpg", "b.png"}, "[2/3] bad.jpg: failed: " + unreadable + "\n[3/3] b.png: done"},
          {{"--quiet", "a.png", "bad.jpg", "b.png"}, "[2/3] bad.jpg: failed: " + unreadable + "\n"},
          {{"--output", "blocked", "a.png"},
           "[1/1] a.png: failed: " + unwritable + "\n1 picture: 0 done, 1 failed; its folder: blocked\n"},
          {{"--output", "file/x", "a.png"}, "[1/1] a.png: failed: file/x: cannot hold the stage files ("}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto [status, out, err] = runEdgepipe({.arguments = QStringList("--batch") + c.arguments});
        EXPECT_EQ(std::tuple(status, out), std::tuple(1, ""));
        if (c.arguments.contains("--quiet"))
            EXPECT_EQ(err, c.err) << "quiet says failures only";
        else
            EXPECT_NE(err.find(c.err), std::string::npos) << err;
    }
    EXPECT_TRUE(fs::exists("b/C.bmp"));
    EXPECT_FALSE(fs::exists("bad"));
    EXPECT_FALSE(fs::exists("blocked/B.bmp"));
}

// SIGTERM at logout and Ctrl-C at the terminal end the batch after a whole stage file.
TEST_F(Batch, SignalsStopAfterAWholeStageFileWithTheSummarySoFar) {
    savePicture(designedPicture(1000, 1000), "big.bmp");
    for (const auto& [signal, status, name] :
         {std::tuple{SIGTERM, 143, "SIGTERM"}, {SIGINT, 130, "Ctrl-C"}}) {
        SCOPED_TRACE(name);
        const QString output = QString("stop-") + name;
        const auto [exitStatus, out, err] =
            runEdgepipe({.arguments = QStringList{"--batch", "--output", output} + QStringList(30, "big.bmp"),
                         .upMs = -1,
                         .signal = signal});
        EXPECT_EQ(exitStatus, status) << err;
        const QRegularExpressionMatch stop =
            QRegularExpression(
                QString("\n30 pictures: [0-9]+ done, 0 failed, [1-9][0-9]* not done \\(stopped by ") + name +
                " in \\[[0-9]+/30\\] big\\.bmp, (before its first stage file|with (.*) written in "
                "(stop-.*/big[-0-9]*))\\)\n")
                .match(QString::fromStdString(err));
        ASSERT_TRUE(stop.hasMatch()) << err;
        for (const auto& entry : fs::recursive_directory_iterator(output.toStdString()))
            if (entry.is_regular_file()) {
                EXPECT_EQ(entry.file_size(), 54 + 3000 * 1000u) << entry.path() << " is whole";
            }
        std::string written;  // the stage files in the folder the summary names, as it lists them
        for (const char* stage : {"A.bmp", "B.bmp", "C.bmp"})
            if (fs::exists(stop.captured(3).toStdString() + "/" + stage))
                written += (written.empty() ? "" : " and ") + std::string(stage);
        EXPECT_EQ(written, stop.captured(2).toStdString());
    }
}

// On a terminal: one live line, with the time per picture, cut to the terminal's width and erased
// before a failure or a changed folder name is said; the summary names the last folder.
TEST_F(Batch, OnATerminalOneLiveLineCutToItsWidth) {
    if (QStandardPaths::findExecutable("script").isEmpty())
        GTEST_SKIP() << "no `script` (bsdutils) to give the batch a terminal";
    savePicture(designedPicture(4, 9), "bad.jpg", "PNG");
    savePicture(designedPicture(6, 9), "a.png");
    savePicture(designedPicture(5, 9), "b.png");
    fs::create_directory("x");
    savePicture(designedPicture(3, 9), "x/a.png");
    QProcess terminal;
    terminal.start(
        "script",
        {"-qefc", QString("stty cols 59; exec %1 --batch bad.jpg a.png b.png x/a.png").arg(EDGEPIPE_BINARY),
         "/dev/null"});
    terminal.closeWriteChannel();
    ASSERT_TRUE(terminal.waitForFinished(60000));
    const std::string shown = terminal.readAllStandardOutput().toStdString();
    EXPECT_TRUE(matches(shown, "\x1b\\[K\\[1/4\\] bad\\.jpg: failed: ")) << shown;
    EXPECT_TRUE(matches(
        shown, "\x1b\\[K\\[2/4\\] 0 done, 1 failed; now a\\.png; [0-9]\\.[0-9]{2} s a picture, about\r"))
        << shown;
    EXPECT_TRUE(matches(shown, "\x1b\\[K\\[4/4\\] x/a\\.png: done in [0-9.]+ s, stage files in a-2\r?\n"))
        << shown;
    EXPECT_TRUE(matches(shown, "\x1b\\[K4 pictures: 3 done, 1 failed; the last one's folder: a-2\r?\n"))
        << shown;
}
