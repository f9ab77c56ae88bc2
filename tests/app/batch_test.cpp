// Batch mode through the built program, against the window on the same pictures.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

namespace fs = std::filesystem;

// From command_line_test.cpp.
struct Ran {
    int status;
    bool crashed;
    std::string out, err;
};
using Env = std::map<QString, std::optional<QString>>;
Ran runEdgepipe(const QStringList& arguments, const QString& dir, Env env, int upMs);
std::string savePicture(const QString& file, int width);
std::vector<std::string> runWindow(const std::string& picture, int threshold, bool press);

namespace {

std::string bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Ran batch(const QTemporaryDir& dir, QStringList arguments) {
    arguments.prepend("--batch");
    return runEdgepipe(arguments, dir.path(), {}, 0);
}

// The window's three stage files for `picture` at `threshold`, made in a folder of their own.
std::vector<std::string> windowFiles(const fs::path& where, const std::string& picture, int threshold) {
    fs::create_directories(where);
    const fs::path before = fs::current_path();
    fs::current_path(where);
    EXPECT_EQ(runWindow(picture, threshold, true), std::vector<std::string>());
    fs::current_path(before);
    return {bytes(where / "A.bmp"), bytes(where / "B.bmp"), bytes(where / "C.bmp")};
}

}  // namespace

TEST(Batch, StageFilesAreTheWindowsByteForByte) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    savePicture(dir.filePath("odd.bmp"), 37), savePicture(dir.filePath("odd.png"), 21);
    struct Case { QStringList options; int threshold; QStringList pictures; std::vector<std::string> folders; };
    for (const Case& c : {Case{{"--output", "all"}, 128, {"odd.bmp", "odd.png"}, {"all/odd", "all/odd-2"}},
                          {{"--threshold=40", "--output=t40"}, 40, {"odd.bmp", "odd.png"}, {"t40/odd", "t40/odd-2"}},
                          {{"--threshold", "200"}, 200, {"odd.png"}, {"."}}}) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const Ran ran = batch(dir, c.options + c.pictures);
        EXPECT_EQ(std::tuple(ran.status, ran.out), std::tuple(0, std::string()));
        for (int i = 0; i < c.pictures.size(); ++i) {
            const fs::path folder = root / c.folders[i];
            EXPECT_NE(ran.err.find(c.pictures[i].toStdString() + ": done in "), std::string::npos) << ran.err;
            EXPECT_EQ(windowFiles(root / "window" / c.folders[i], (root / c.pictures[i].toStdString()).string(), c.threshold),
                      std::vector<std::string>({bytes(folder / "A.bmp"), bytes(folder / "B.bmp"), bytes(folder / "C.bmp")}));
        }
    }
    EXPECT_NE(bytes(root / "all/odd/C.bmp"), bytes(root / "t40/odd/C.bmp")) << "the threshold reaches SOBEL";
}

TEST(Batch, FailuresAreSaidAsTheWindowSaysThemAndTheBatchGoesOn) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const std::string bad = savePicture(dir.filePath("bad.jpg"), 4);
    const std::string a = savePicture(dir.filePath("a.png"), 6);
    savePicture(dir.filePath("b.png"), 5);
    std::ofstream(root / "file") << "a file where a folder should be";
    fs::create_directories(root / "blocked/A.bmp");
    fs::create_directories(root / "window/A.bmp");
    fs::current_path(root / "window");
    const std::string unreadable = runWindow(bad, 128, false).at(0), unwritable = runWindow(a, 128, true).at(0);
    fs::current_path(root);
    struct Case { QStringList arguments; int status; std::string err; };
    for (const Case& c : {Case{{"a.png", "bad.jpg", "b.png"}, 1, "[2/3] bad.jpg: failed: " + unreadable + "\n[3/3] b.png: done"},
                          {{"--quiet", "a.png", "bad.jpg", "b.png"}, 1, "[2/3] bad.jpg: failed: " + unreadable + "\n"},
                          {{"--output", "blocked", "a.png"}, 1, "[1/1] a.png: failed: " + unwritable + "\n1 picture: 0 done, 1 failed\n"},
                          {{"--output", "file/x", "a.png"}, 1, "[1/1] a.png: failed: file/x: cannot hold the stage files ("},
                          {{"--threshold", "256", "a.png"}, 2, "edgepipe: the threshold is a whole number from 0 to 255, not \"256\"\n"},
                          {{"--threshold=-1", "a.png"}, 2, "not \"-1\"\n"},
                          {{"--threshold", "1x", "a.png"}, 2, "not \"1x\"\n"},
                          {{"--output", "x"}, 2, "edgepipe: --batch needs at least one picture\n"},
                          {{"--bogus", "a.png"}, 2, "edgepipe: unknown option \"--bogus\"\n"}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Ran ran = batch(dir, c.arguments);
        EXPECT_EQ(std::tuple(ran.status, ran.out), std::tuple(c.status, std::string()));
        EXPECT_NE(ran.err.find(c.err), std::string::npos) << ran.err;
        EXPECT_TRUE(!c.arguments.contains("--quiet") || ran.err == c.err) << "quiet says failures only";
    }
    EXPECT_TRUE(fs::exists(root / "b/C.bmp") && !fs::exists(root / "bad") && !fs::exists(root / "blocked/B.bmp"));
}

TEST(Batch, EachPictureGetsAFolderOfItsOwnAndAnInterruptStopsCleanly) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    QDir(dir.path()).mkpath("x"), QDir(dir.path()).mkpath("y");
    QStringList pictures;
    for (const QString name : {"x/a.png", "y/a.png", "a.bmp", "a-2.png"}) savePicture(dir.filePath(name), 3 + pictures.size()), pictures << name;
    const Ran ran = batch(dir, QStringList{"--output", "out"} + pictures);
    EXPECT_EQ(ran.status, 0) << ran.err;
    int width = 3;
    for (const char* folder : {"out/a", "out/a-2", "out/a-3", "out/a-2-2"}) {
        SCOPED_TRACE(folder);
        EXPECT_NE(ran.err.find(std::string("stage files in ") + folder + "\n"), std::string::npos) << ran.err;
        EXPECT_EQ(bytes(root / folder / "C.bmp").at(18), char(width++)) << "the picture's own width";
    }
    EXPECT_NE(ran.err.find("4 pictures: 4 done, 0 failed\n"), std::string::npos);

    // SIGTERM once the first picture is done: the batch stops with every stage file whole.
    QImage big(1000, 1000, QImage::Format_RGB888);
    big.fill(Qt::darkCyan);
    ASSERT_TRUE(big.save(dir.filePath("big.bmp")));
    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setReadChannel(QProcess::StandardError);
    program.start(EDGEPIPE_BINARY, QStringList{"--batch", "--output", "stop"} + QStringList(30, "big.bmp"));
    while (!program.readAll().contains("[1/30]") && program.waitForReadyRead(60000)) {}
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(60000));
    const std::string said = program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitCode(), 143) << said;
    EXPECT_TRUE(std::regex_search(said, std::regex("30 pictures: [0-9]+ done, 0 failed, [1-9][0-9]* not done \\(stopped by SIGTERM\\)\n$")))
        << said;
    for (const auto& entry : fs::recursive_directory_iterator(root / "stop"))
        EXPECT_TRUE(entry.is_directory() || fs::file_size(entry) == 54 + 3000 * 1000u) << entry.path() << " is whole";
}
