// Batch mode through the built program, against the window on the same pictures.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "app/program_run.h"

using namespace testing_support;
using Batch = InTempDir;

// Two kinds, widths that pad their rows differently, a threshold not the default; several pictures
// each get a folder inside the output folder, the first free of NAME, NAME-2, NAME-3 ..., NAME
// without leading dots ("picture" when none is left, so that "..bmp" never writes beside the output
// folder). (One picture writes straight into the output folder: the command-line table.)
TEST_F(Batch, StageFilesAreTheWindowsByteForByteInAFolderEach) {
    fs::create_directory("x");
    const QStringList pictures = {"odd.bmp", "odd.png", "x/odd-2.png", "...bmp", "..bmp", ".odd.png"};
    const std::vector<std::string> folders = {"odd", "odd-2", "odd-2-2", "picture", "picture-2", "odd-3"};
    for (int i = 0; i < pictures.size(); ++i)
        savePicture(designedPicture(37 - 5 * i, 9), pictures[i].toStdString());
    const auto [status, out, err] = runEdgepipe(
        {.arguments = QStringList{"--batch", "--threshold=255", "--output", "dots/o"} + pictures,
         .env = {"QT_QPA_PLATFORM=xcb", "DISPLAY="}});  // no display, and one asked for that needs it
    EXPECT_EQ(std::tuple(status, out), std::tuple(0, "")) << err;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string picture = pictures[i].toStdString();
        const fs::path folder = "dots/o/" + folders[i];
        EXPECT_TRUE(matches(err, picture + ": done in [0-9.]+ s, stage files in " + folder.string() + "\n"))
            << err;
        EXPECT_EQ(runWindow(picture, 255, "window" / folder), std::vector<std::string>());
        for (const char* stage : {"A.bmp", "B.bmp", "C.bmp"})
            EXPECT_TRUE(readFileBytes("window" / folder / stage) == readFileBytes(folder / stage))
                << folder / stage;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("dots"), {}), 1) << "dots holds the output folder alone";
}

// SIGTERM at logout, SIGHUP from a closed terminal and Ctrl-C at the terminal end the batch after
// a whole stage file (here once the output folder is made, and Ctrl-C once the third picture's
// A.bmp is written); the first picture cannot be read, and the summary counts it as failed, not as
// not done, and names only the stage files of the picture it stopped in.
TEST_F(Batch, SignalsStopAfterAWholeStageFileWithTheSummarySoFar) {
    savePicture(designedPicture(2000, 2000), "big.bmp");
    savePicture(designedPicture(4, 9), "big.jpg", "PNG");
    const std::string someDone = "[0-9]+ done, 1 failed, [1-9][0-9]* not done \\(stopped by ";
    for (const auto& [signal, status, made, stoppedIn] :
         {std::tuple{SIGTERM, 143, "stop",
                     someDone + "SIGTERM in \\[[0-9]+/30\\] big\\.bmp, (before its first|with )"},
          {SIGHUP, 129, "stop", someDone + "SIGHUP in \\[[0-9]+/30\\] big\\.bmp, (before its first|with )"},
          {SIGINT, 130, "stop/big-3/A.bmp",
           "1 done, 1 failed, 28 not done \\(stopped by Ctrl-C in \\[3/30\\] big\\.bmp, with A\\.bmp( and "
           "B\\.bmp)? written in stop/big-3\\)\n$"}}) {
        SCOPED_TRACE(stoppedIn);
        fs::remove_all("stop");
        const auto [exitStatus, out, err] = runEdgepipe(
            {.arguments = QStringList{"--batch", "--output", "stop", "big.jpg"} + QStringList(29, "big.bmp"),
             .upMs = -1,
             .signal = signal,
             .made = made});
        EXPECT_EQ(exitStatus, status) << err;
        EXPECT_TRUE(matches(err, "\n30 pictures: " + stoppedIn)) << err;
        for (const auto& entry : fs::recursive_directory_iterator("stop"))
            if (entry.is_regular_file()) {
                EXPECT_EQ(entry.file_size(), 54 + 6000 * 2000u) << entry.path() << " is whole";
            }
    }
}

// A picture that cannot be read and a stage file that cannot be written each fail their picture
// only, said as the window says them; --quiet says nothing else. A link planted where a picture's
// folder would be is not followed: the picture's folder is named as in a clash. On a
// terminal: one live line, with the time per picture, cut to the terminal's width and erased before
// a failure or a changed folder name is said; the summary names the last folder, and no live line
// comes back after it (the sanitizer build may add its own lines there).
TEST_F(Batch, FailuresAreSaidAsTheWindowSaysThemAndOnATerminalOneLiveLine) {
    savePicture(designedPicture(4, 9), "bad.jpg", "PNG");
    fs::create_directories("out/a/A.bmp");
    for (const char* name : {"a.png", "b.png", "c.png", "out/a.png"})
        savePicture(designedPicture(6, 9), name);
    fs::create_directory("elsewhere");
    fs::create_directory_symlink("../elsewhere", "out/c");
    const std::string unreadable = runWindow("bad.jpg", 128, ".").at(0);
    const std::string unwritable = runWindow("a.png", 128, "out/a").at(0);
    const QStringList pictures = {"bad.jpg", "a.png", "b.png", "c.png", "out/a.png"};
    const auto [status, out, err] =
        runEdgepipe({.arguments = QStringList{"--batch", "--quiet", "--output", "out"} + pictures});
    EXPECT_EQ(std::tuple(status, out), std::tuple(1, ""));
    EXPECT_EQ(err, "[1/5] bad.jpg: failed: " + unreadable + "\n[2/5] a.png: failed: " + unwritable + "\n");
    EXPECT_TRUE(fs::exists("out/a-2/C.bmp"));
    EXPECT_TRUE(fs::exists("out/c-2/C.bmp"));
    EXPECT_TRUE(fs::is_empty("elsewhere")) << "written through a link";

    if (QStandardPaths::findExecutable("script").isEmpty())
        GTEST_SKIP() << "no `script` (bsdutils) to give the batch a terminal";
    QProcess terminal;
    terminal.start(
        "script",
        {"-qefc",
         QString("stty cols 59; exec %1 --batch --output tty %2").arg(EDGEPIPE_BINARY, pictures.join(' ')),
         "/dev/null"});
    terminal.closeWriteChannel();
    ASSERT_TRUE(terminal.waitForFinished(60000));
    const std::string shown = terminal.readAllStandardOutput().toStdString();
    for (const char* line :
         {"\\[1/5\\] 0 done, 0 failed; now bad\\.jpg\r", "\x1b\\[K\\[1/5\\] bad\\.jpg: failed: ",
          "\x1b\\[K\\[2/5\\] 0 done, 1 failed; now a\\.png; [0-9]\\.[0-9]{2} s a picture, about\r",
          "\x1b\\[K\\[5/5\\] out/a\\.png: done in [0-9.]+ s, stage files in tty/a-2\r?\n",
          "\x1b\\[K5 pictures: 4 done, 1 failed; the last one's folder: tty/a-2\r?\n(?!\\[)"})
        EXPECT_TRUE(matches(shown, line)) << line << " in " << shown;
}

// Where users keep pictures: a folder named for the pictures directly in it (any case of extension,
// in name order), a name that is not UTF-8 (its folder keeps the bytes, messages escape them), a FIFO
// named like a picture (refused at once, never waited on); an output folder another run holds is
// waited for, saying so, until Ctrl-C.
TEST_F(Batch, FoldersOddNamesFifosAndAFolderAnotherRunHolds) {
    fs::create_directories("pics/sub.png");
    savePicture(designedPicture(5, 4), "pics/b.JPG", "JPEG");
    savePicture(designedPicture(6, 4), "pics/a.jpeg", "JPEG");
    savePicture(designedPicture(7, 4), "pics/caf\xE9.bmp");
    std::ofstream("pics/notes.txt") << "not a picture";
    ASSERT_EQ(::mkfifo("pics/fifo.bmp", 0600), 0);
    const auto [status, out, err] = runEdgepipe({.arguments = {"--batch", "--output", "out", "pics"}});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(matches(err,
                        "^\\[1/4\\] pics/a.jpeg: done in [0-9.]+ s, stage files in out/a\n"
                        "\\[2/4\\] pics/b.JPG: done in [0-9.]+ s, stage files in out/b\n"
                        "\\[3/4\\] pics/caf\\\\xE9.bmp: done in [0-9.]+ s, stage files in out/caf\\\\xE9\n"
                        "\\[4/4\\] pics/fifo.bmp: failed: \\S+/pics/fifo.bmp: not a regular file\n"
                        "4 pictures: 3 done, 1 failed; the last one's folder: out/caf\\\\xE9\n$"))
        << err;
    EXPECT_TRUE(fs::exists("out/caf\xE9/C.bmp"));

    fs::create_directory("held");
    const int held = ::open("held", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const auto [stopped, nothing, said] = runEdgepipe(
        {.arguments = {"--batch", "--output", "held", "pics/a.jpeg"}, .upMs = -1, .signal = SIGINT});
    ::close(held);
    EXPECT_EQ(stopped, 130);
    EXPECT_EQ(
        said,
        "edgepipe: waiting for another edgepipe run writing into held\n1 picture: 0 done, 0 failed, 1 not "
        "done (stopped by Ctrl-C in [1/1] pics/a.jpeg, before its first stage file)\n");
    EXPECT_TRUE(fs::is_empty("held"));
}
