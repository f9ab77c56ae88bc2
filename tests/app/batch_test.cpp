// Batch mode through the built program, against the window on the same pictures.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

// In command_line_test.cpp.
using Ran = std::tuple<int, std::string, std::string>;
Ran runEdgepipe(const QStringList& arguments, const QString& dir, const QStringList& env = {}, int upMs = 0);
std::string savePicture(const QString& file, int width, int height = 9);
std::vector<std::string> runWindow(const std::string& picture, int threshold, bool press,
                                   const std::string& folder = ".");

static bool matches(const std::string& text, const std::string& pattern) {
    return QRegularExpression(QString::fromStdString(pattern)).match(QString::fromStdString(text)).hasMatch();
}
static std::vector<std::string> stageFiles(const fs::path& folder) {
    std::vector<std::string> files;
    for (const char* name : {"A.bmp", "B.bmp", "C.bmp"}) {
        std::ifstream in(folder / name, std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

// Two kinds, odd widths, three thresholds; several pictures each get a folder, the first free
// of NAME, NAME-2, NAME-3 ...; one picture writes straight into the output folder.
TEST(Batch, StageFilesAreTheWindowsByteForByteInAFolderEach) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    savePicture(dir.filePath("odd.bmp"), 37), savePicture(dir.filePath("odd.png"), 21);
    QDir(dir.path()).mkpath("x"), savePicture(dir.filePath("x/odd-2.png"), 9);
    struct Case {
        QStringList arguments;
        int threshold;
        std::vector<std::string> folders;
    };
    for (const Case& c :
         {Case{{"--output", "all", "odd.bmp", "odd.png", "x/odd-2.png"},
               128,
               {"all/odd", "all/odd-2", "all/odd-2-2"}},
          {{"--threshold=40", "--output=t40", "odd.bmp", "odd.png"}, 40, {"t40/odd", "t40/odd-2"}},
          {{"--threshold", "200", "odd.png"}, 200, {"."}}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto [status, out, err] = runEdgepipe(QStringList("--batch") + c.arguments, dir.path());
        EXPECT_EQ(std::tuple(status, out), std::tuple(0, ""));
        for (std::size_t i = 0; i < c.folders.size(); ++i) {
            const std::string picture = c.arguments[c.arguments.size() - c.folders.size() + i].toStdString();
            EXPECT_TRUE(matches(err, picture + ": done in [0-9.]+ s, stage files in " + c.folders[i] + "\n"))
                << err;
            EXPECT_EQ(runWindow((root / picture).string(), c.threshold, true,
                                (root / "window" / c.folders[i]).string()),
                      std::vector<std::string>());
            EXPECT_EQ(stageFiles(root / "window" / c.folders[i]), stageFiles(root / c.folders[i]));
        }
    }
    EXPECT_NE(stageFiles(root / "all/odd"), stageFiles(root / "t40/odd")) << "the threshold reaches SOBEL";
}

TEST(Batch, FailuresAreSaidAsTheWindowSaysThemAndTheBatchGoesOn) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const std::string bad = savePicture(dir.filePath("bad.jpg"), 4),
                      a = savePicture(dir.filePath("a.png"), 6);
    savePicture(dir.filePath("b.png"), 5);
    std::ofstream(root / "file") << "a file where a folder should be";
    fs::create_directories(root / "blocked/A.bmp"), fs::create_directories(root / "window/A.bmp");
    const std::string unreadable = runWindow(bad, 128, false).at(0),
                      unwritable = runWindow(a, 128, true, (root / "window").string()).at(0);
    struct Case {
        QStringList arguments;
        int status;
        std::string err;
    };
    for (const Case& c :
         {Case{{"a.png", "bad.jpg", "b.png"},
               1,
               "[2/3] bad.jpg: failed: " + unreadable + "\n[3/3] b.png: done"},
          {{"--quiet", "a.png", "bad.jpg", "b.png"}, 1, "[2/3] bad.jpg: failed: " + unreadable + "\n"},
          {{"--output", "blocked", "a.png"},
           1,
           "[1/1] a.png: failed: " + unwritable + "\n1 picture: 0 done, 1 failed; its folder: blocked\n"},
          {{"--output", "file/x", "a.png"}, 1, "[1/1] a.png: failed: file/x: cannot hold the stage files ("},
          {{"--threshold", "256", "a.png"},
           2,
           "edgepipe: the threshold is a whole number from 0 to 255, not \"256\"\n"},
          {{"--threshold=-1", "a.png"}, 2, "not \"-1\"\n"},
          {{"--threshold", "1x", "a.png"}, 2, "not \"1x\"\n"},
          {{"--output", "x"}, 2, "edgepipe: --batch needs at least one picture\n"},
          {{"--bogus", "a.png"}, 2, "edgepipe: unknown option \"--bogus\"\n"}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const auto [status, out, err] = runEdgepipe(QStringList("--batch") + c.arguments, dir.path());
        EXPECT_EQ(std::tuple(status, out), std::tuple(c.status, ""));
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
        EXPECT_TRUE(!c.arguments.contains("--quiet") || err == c.err) << "quiet says failures only";
    }
    EXPECT_TRUE(fs::exists(root / "b/C.bmp") && !fs::exists(root / "bad") &&
                !fs::exists(root / "blocked/B.bmp"));
}

TEST(Batch, SigtermStopsAfterAWholeStageFileWithTheSummarySoFar) {
    QTemporaryDir dir;
    savePicture(dir.filePath("big.bmp"), 1000, 1000);
    const auto [status, out, err] = runEdgepipe(
        QStringList{"--batch", "--output", "stop"} + QStringList(30, "big.bmp"), dir.path(), {}, -1);
    EXPECT_EQ(status, 143) << err;
    const QRegularExpressionMatch stop =
        QRegularExpression(
            "\n30 pictures: [0-9]+ done, 0 failed, [1-9][0-9]* not done \\(stopped by SIGTERM in "
            "\\[[0-9]+/30\\] big\\.bmp, (before its first stage file|with (.*) written in "
            "(stop/big[-0-9]*))\\)\n")
            .match(QString::fromStdString(err));
    ASSERT_TRUE(stop.hasMatch()) << err;
    for (const auto& entry : fs::recursive_directory_iterator(dir.filePath("stop").toStdString()))
        EXPECT_TRUE(entry.is_directory() || fs::file_size(entry) == 54 + 3000 * 1000u)
            << entry.path() << " is whole";
    std::string written;  // the stage files in the folder named, as the summary lists them
    for (const char* stage : {"A.bmp", "B.bmp", "C.bmp"})
        if (fs::exists(dir.filePath(stop.captured(3) + "/" + stage).toStdString()))
            written += (written.empty() ? "" : " and ") + std::string(stage);
    EXPECT_EQ(written, stop.captured(2).toStdString());
}

// On a terminal: one live line, with the time per picture, cut to the terminal's width and erased
// before a failure is said.
TEST(Batch, OnATerminalOneLiveLineCutToItsWidth) {
    QTemporaryDir dir;
    savePicture(dir.filePath("bad.jpg"), 4), savePicture(dir.filePath("a.png"), 6),
        savePicture(dir.filePath("b.png"), 5);
    QProcess terminal;
    terminal.setWorkingDirectory(dir.path());
    terminal.start(
        "script", {"-qefc", QString("stty cols 59; exec %1 --batch bad.jpg a.png b.png").arg(EDGEPIPE_BINARY),
                   "/dev/null"});
    terminal.closeWriteChannel();
    ASSERT_TRUE(terminal.waitForFinished(60000));
    const std::string shown = terminal.readAllStandardOutput().toStdString();
    EXPECT_TRUE(matches(shown, "\x1b\\[K\\[1/3\\] bad\\.jpg: failed: ")) << shown;
    EXPECT_TRUE(matches(
        shown, "\x1b\\[K\\[2/3\\] 0 done, 1 failed; now a\\.png; [0-9]\\.[0-9]{2} s a picture, about\r"))
        << shown;
}

// Pictures named with leading dots write into folders inside --output; on a terminal each picture
// whose folder name had to be changed keeps a plain line, and the summary names the last folder.
TEST(Batch, FolderNamesStayInsideTheOutputAndChangedOnesAreSaid) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    std::set<std::string> files, expected = {"...bmp", "..bmp", ".odd.png", "odd.png"};
    for (const std::string& picture : expected) savePicture(dir.filePath(QString::fromStdString(picture)), 5);
    QProcess terminal;
    terminal.setWorkingDirectory(dir.path());
    terminal.start(
        "script",
        {"-qefc", QString("exec %1 --batch --output o/x ...bmp ..bmp .odd.png odd.png").arg(EDGEPIPE_BINARY),
         "/dev/null"});
    terminal.closeWriteChannel();
    ASSERT_TRUE(terminal.waitForFinished(60000));
    const std::string shown = terminal.readAllStandardOutput().toStdString();
    for (const std::string folder : {"picture", "picture-2", "odd", "odd-2"}) {
        EXPECT_TRUE(matches(shown, ": done in [0-9.]+ s, stage files in o/x/" + folder + "\r\n")) << shown;
        for (const char* stage : {"/A.bmp", "/B.bmp", "/C.bmp"}) expected.insert("o/x/" + folder + stage);
    }
    EXPECT_NE(shown.find("4 pictures: 4 done, 0 failed; the last one's folder: o/x/odd-2"), std::string::npos)
        << shown;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).string());
    EXPECT_EQ(files, expected);
}
