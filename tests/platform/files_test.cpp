// Picture files: the bytes of a stage file, refusals that name the file and the reason, the BMP
// suite, and the inputs the fuzzer starts from or found failing.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <map>

#include "fuzz/picture_check.h"
#include "support/test_support.h"

using namespace testing_support;
using Files = InTempDir;

namespace {
std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".md") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// A whole picture loads with the pixels Qt's reader gives it, whichever reader the loader took.
Pixels decodedByQt(const std::string& file) {
    const QImage image = QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_BGR888);
    Pixels p(image.width(), image.height());
    for (int y = 0; y < p.height; ++y) std::copy_n(image.constScanLine(y), 3 * p.width, &p.at(0, y).b);
    return p;
}

// Damaged pictures the readers notice only when asked, each with the bytes of its file.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> damagedPictures() {
    const Pixels picture = designedPicture(31, 17);
    std::vector<std::uint8_t> v5 = readFileBytes(savePicture(picture, "v5.bmp"));
    v5.insert(v5.begin() + 54, 84, 0);  // the 124-byte header of common tools, its extra fields zero
    v5[10] = 138;
    v5[14] = 124;
    std::vector<std::uint8_t> jpeg = readFileBytes(savePicture(picture, "p.jpg"));
    const std::uint8_t scan[] = {0xFF, 0xDA};
    jpeg.insert(std::search(jpeg.begin(), jpeg.end(), scan, scan + 2), 3, 0);
    std::vector<std::uint8_t> png = readFileBytes(savePicture(picture, "p.png"));
    png[png.size() / 2] ^= 0x55;
    std::vector<std::uint8_t> gif = readFileBytes(fs::path(EDGEPIPE_SOURCE_DIR) / "fuzz/seeds/gif-white-1x1");
    gif.erase(gif.begin());  // the fuzzer's selector byte
    gif[19] = 0x99;          // where the picture's block begins
    return {{"v5-cut.bmp", {v5.begin(), v5.begin() + static_cast<std::ptrdiff_t>(v5.size() * 4 / 10)}},
            {"extra-bytes.jpg", jpeg},
            {"altered.png", png},
            {"not-a-block.gif", gif}};
}
}  // namespace

// Every header byte, the bottom-up row order and the zero padding of an odd width, the same for the
// grey picture; other widths read back as written, a top-down file the right way up, a file cut
// short not at all; new files get the usual permissions; an empty picture writes the headers
// alone. The pixels per metre are zeroed before comparing: nothing reads them.
TEST_F(Files, StageFileBytes) {
    platform::TBitmap grey;
    grey.SetSize(3, 2, platform::TPixelFormat::pf8bit);
    for (int i = 0; i < 6; ++i) grey.GetScanline(i / 3)[i % 3] = static_cast<std::uint8_t>(10 + i);
    const std::vector<std::uint8_t> expected = {'B', 'M', 78, 0,  0,  0,  0,  0, 0, 0, 54, 0,  0,  0,
                                                40,  0,   0,  0,  3,  0,  0,  0, 2, 0, 0,  0,  1,  0,
                                                24,  0,   0,  0,  0,  0,  24, 0, 0, 0, 0,  0,  0,  0,
                                                0,   0,   0,  0,  0,  0,  0,  0, 0, 0, 0,  0,  13, 13,
                                                13,  14,  14, 14, 15, 15, 15, 0, 0, 0, 10, 10, 10, 11,
                                                11,  11,  12, 12, 12, 0,  0,  0};  // bottom row first
    const bool inputOpen = ::fcntl(STDIN_FILENO, F_GETFD) != -1;
    const mode_t mask = ::umask(022);
    const auto written = [](const platform::TBitmap& picture) {
        platform::writeBmp24(picture, "A.bmp");
        std::vector<std::uint8_t> bytes = readFileBytes("A.bmp");
        std::fill_n(bytes.begin() + 38, std::min<std::size_t>(8, bytes.size() - 38), 0);
        return bytes;
    };
    EXPECT_EQ(written(toBitmap(toPixels(grey))), expected);
    const std::vector<std::uint8_t> emptyFile = {'B', 'M', 54, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                                 0,   0,   0,  0, 0, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0,  0, 0, 0,
                                                 0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0};
    EXPECT_EQ(written(platform::TBitmap()), emptyFile);
    EXPECT_EQ(written(grey), expected);
    ::umask(mask);
    EXPECT_EQ(::fcntl(STDIN_FILENO, F_GETFD) != -1, inputOpen) << "the writer closes its own file only";
    EXPECT_EQ(fs::status("A.bmp").permissions() & fs::perms::all, fs::perms(0644));
    for (const int width :
         {2, 301}) {  // two bytes of padding; one, in a file larger than the writer's chunks
        platform::writeBmp24(toBitmap(randomPixels(width, 203, 1)), "B.bmp");
        EXPECT_TRUE(samePixels(stageFile("B.bmp"), randomPixels(width, 203, 1))) << width;
    }
    std::vector<std::uint8_t> topDown = expected;  // negative height, rows swapped
    std::swap_ranges(topDown.begin() + 54, topDown.begin() + 66, topDown.begin() + 66);
    const std::uint8_t minusTwo[] = {0xFE, 0xFF, 0xFF, 0xFF};
    std::copy_n(minusTwo, 4, topDown.begin() + 22);
    writeFileBytes("top-down.bmp", topDown);
    EXPECT_TRUE(samePixels(stageFile("top-down.bmp"), toPixels(grey)));
    writeFileBytes("cut.bmp", {expected.begin(), expected.end() - 1});
    EXPECT_TRUE(
        failureOf([] { platform::loadPicture("cut.bmp"); }).starts_with("cut.bmp: damaged or cut short"));
}

// Refused files name the file and the reason and leave the picture as it was: unknown names,
// damaged and mislabelled copies of the fuzzer's seeds, pictures too large, and the BMP suite's
// doubtful and invalid files, which may also load. Crashes, hangs and leaks on such files are the
// fuzzer's and the sanitizer build's to find.
TEST_F(Files, BadFilesAreRefusedNamingTheFileAndTheReason) {
    struct Case {
        std::string file, message;
        int expect;
    };  // expect -1: refused, 0: either, 1: loads
    std::vector<Case> cases = {
        {"notes.txt", "notes.txt: unknown picture kind \".txt\"", -1},
        {"noextension", "noextension: unknown picture kind (the name has no extension)", -1},
        {"missing.png", "missing.png: no such file", -1},
        {"folder.png", "folder.png: is a folder, not a picture", -1},
        {"huge.bmp", "huge.bmp: picture too large (100000 x 100000 pixels)", -1},
        {"huge.jpg", "huge.jpg: picture too large (32639 x 32639 pixels)", -1}};
    fs::create_directory("folder.png");
    const char* seeds[] = {"bmp-stage-3x2", "png-rgb-5x4", "jpg-baseline-9x7", "gif-transparent-3x2"};
    const char* wrongNames[] = {"bmp-as.jfif", "png-as.JPEG", "jpg-as.gif", "gif-as.dib"};
    for (int k = 0; k < 4; ++k) {
        auto bytes = readFileBytes(fs::path(EDGEPIPE_SOURCE_DIR) / "fuzz/seeds" / seeds[k]);
        bytes.erase(bytes.begin());  // the fuzzer's selector byte
        const std::string kind = std::string(seeds[k]).substr(0, 3);
        // Cut in half, every kind is refused as damaged; without its last byte, a GIF's trailer or a
        // PNG's end marker may be all that is missing.
        for (const auto& [name, size, reason, expect] :
             {std::tuple{"empty", std::size_t{0}, "", -1},
              {"one-byte", 1, "", -1},
              {"header-only", 13, "", -1},
              {"half", bytes.size() / 2, "damaged or cut short (", -1},
              {"short", bytes.size() - 1, "", 0},
              {"whole", bytes.size(), "", 1}}) {
            cases.push_back(
                {kind + "-" + name + "." + kind, kind + "-" + name + "." + kind + ": " + reason, expect});
            writeFileBytes(cases.back().file,
                           {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)});
        }
        cases.push_back({wrongNames[k], std::string(wrongNames[k]) + ": cannot read as a ", -1});
        writeFileBytes(wrongNames[k], bytes);
        for (const char* copy : {"notes.txt", "noextension"}) writeFileBytes(copy, bytes);
        if (kind == "bmp") {  // its header made to say 100000 x 100000 pixels
            const std::uint8_t size[] = {0xA0, 0x86, 0x01, 0, 0xA0, 0x86, 0x01, 0};
            std::copy_n(size, 8, bytes.begin() + 18);
            writeFileBytes("huge.bmp", bytes);
        }
        const std::uint8_t frame[] = {0xFF, 0xC0};  // a JPEG's frame header made to say 32639 x 32639
        if (kind == "jpg") {
            std::fill_n(std::search(bytes.begin(), bytes.end(), frame, frame + 2) + 5, 4, 0x7F);
            writeFileBytes("huge.jpg", bytes);
        }
    }
    // A folder is refused as one, whatever its name, and named by its clean full path.
    fs::create_directories("pics/sub");
    fs::create_directory("pics.jpg");
    cases.push_back({"pics", "pics: is a folder, not a picture", -1});
    cases.push_back(
        {"pics/sub/../../pics.jpg", dir().string() + "/pics.jpg: is a folder, not a picture", -1});
    // Damage the readers notice only when asked: rows a BMP with a 124-byte header announces but
    // lacks; bytes a JPEG has before its scan; a PNG's altered data;
    // a GIF block that is none.
    for (const auto& [file, damage] : damagedPictures()) {
        cases.push_back({file, file + ": damaged or cut short (", -1});
        writeFileBytes(file, damage);
    }
    for (const char* set : {"g", "q", "b", "x"})
        for (const fs::path& file : bmpSuite().empty() ? std::vector<fs::path>{} : filesIn(bmpSuite() / set))
            cases.push_back(
                {file.string(), fs::weakly_canonical(file).string() + ": ", set[0] == 'g' ? 1 : 0});
    for (const Case& c : cases) {
        platform::TPicture picture;
        picture.Assign(toBitmap(designedPicture(3, 3)));
        const std::string failure = failureOf([&] { picture.LoadFromFile(c.file); });
        SCOPED_TRACE(c.file + ": " + failure);
        if (failure == "(no failure)") {
            EXPECT_GE(c.expect, 0) << "loaded";
            EXPECT_FALSE(picture.Bitmap().Empty());
            if (c.expect == 1) {
                EXPECT_TRUE(samePixels(toPixels(picture.Bitmap()), decodedByQt(c.file)));
            }
        } else {
            EXPECT_LE(c.expect, 0) << "refused";
            EXPECT_TRUE(failure.starts_with(c.message));
            EXPECT_GT(failure.size(), c.file.size() + 2) << "a reason follows the name";
            EXPECT_TRUE(samePixels(toPixels(picture.Bitmap()), designedPicture(3, 3)));
        }
    }
    if (bmpSuite().empty())
        GTEST_SKIP() << "the made-up files passed; no ../shared/testdata/bmpsuite beside this checkout";
}

// Photos larger than the reader's default allocation limit (128 MB) load.
TEST_F(Files, FortyMegapixelPhotoLoads) {
    QImage photo(6400, 6400, QImage::Format_RGB32);
    photo.fill(qRgb(200, 200, 200));
    ASSERT_TRUE(photo.save("photo.jpg", nullptr, 30));
    const platform::TBitmap loaded = platform::loadPicture("photo.jpg");
    EXPECT_EQ(std::pair(loaded.Width(), loaded.Height()), std::pair(6400, 6400));
    EXPECT_NEAR(loaded.GetScanline(6399)[3 * 6399 + 2], 200, 4);
}

// A copy of a picture shares its pixels; writing through one must not change the other.
TEST(Bitmap, CopiesKeepTheirPixelsWhenAnotherWrites) {
    const platform::TBitmap a = toBitmap(randomPixels(700, 500, 1));
    platform::TBitmap b;
    b.Assign(a);
    b.GetScanline(499)[0] = 99;
    Pixels changed = randomPixels(700, 500, 1);
    changed.at(0, 499).b = 99;
    EXPECT_TRUE(samePixels(toPixels(a), randomPixels(700, 500, 1)));
    EXPECT_TRUE(samePixels(toPixels(b), changed));
    EXPECT_THROW(b.SetPixelFormat(platform::TPixelFormat::pf8bit), std::invalid_argument);
}

// The fuzzer's seeds and the failures it found, through its own checks (load, write, read back), in
// every build, so a fixed failure stays fixed where clang is not at hand.
TEST_F(Files, FuzzSeedsLoadAndKeptFailuresAreHandled) {
    for (const char* folder : {"fuzz/seeds", "tests/fuzz_regressions"})
        for (const fs::path& input : filesIn(fs::path(EDGEPIPE_SOURCE_DIR) / folder)) {
            fs::create_directory("scratch");
            const std::vector<std::uint8_t> bytes = readFileBytes(input);
            const fuzzing::Result result = fuzzing::checkPictureBytes(bytes.data(), bytes.size(), "scratch");
            SCOPED_TRACE(input);
            EXPECT_EQ(result.problem, "");
            EXPECT_TRUE(fs::is_empty("scratch"));
            if (std::string(folder) == "fuzz/seeds") {
                EXPECT_EQ(result.outcome, fuzzing::Outcome::Loaded) << "a seed loads";
            }
            fs::remove("scratch");
        }
}

namespace {
// Makes the writer's call of `Call` fail once with `error`, then behave as the system's again.
template <auto Call>
struct FailOnce;
template <class R, class... Args, R (*Call)(Args...)>
struct FailOnce<Call> {
    static inline int error = 0;
    static R call(Args... args) {
        if (error == 0) return Call(args...);
        errno = std::exchange(error, 0);
        return -1;
    }
};
template <auto Call>
auto failOnce(int error) {
    FailOnce<Call>::error = error;
    return &FailOnce<Call>::call;
}

// Records whether each file the writer writes to is closed on exec, then writes.
std::vector<bool> closedOnExec;
ssize_t recordCloseOnExec(int fd, const void* data, size_t size) {
    closedOnExec.push_back((::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0);
    return ::write(fd, data, size);
}
}  // namespace

// A stage file replaced while any one of the writer's system calls fails: the message names the
// file by its own name and its folder in full, and the folder holds the whole old file byte for
// byte (or nothing, when there was none) and no temporary file. A file system that cannot
// exchange gets the new file by a plain rename. Each file the writer opens is closed on exec. (A
// short or interrupted write, and a full disk at every byte of the headers: see the pipeline tests.)
TEST_F(Files, ReplacingAStageFileKeepsTheOldOneWhenAnyStepFails) {
    using platform::WriterCalls;
    struct Case {
        const char* step;
        std::function<void(WriterCalls&)> inject;
        int error;         // the errno the message gives, 0: no failure
        bool oldFile;      // whether a file is there before
        bool endsWithNew;  // whether the new file is there after (else the old one, if any)
    };
    const Case cases[] = {
        {"mkostemp", [](WriterCalls& c) { c.makeTemporary = failOnce<::mkostemp>(EACCES); }, EACCES, true,
         false},
        {"write", [](WriterCalls& c) { c.write = failOnce<::write>(EIO); }, EIO, true, false},
        {"fchmod", [](WriterCalls& c) { c.fchmod = failOnce<::fchmod>(EPERM); }, EPERM, true, false},
        {"close", [](WriterCalls& c) { c.close = failOnce<::close>(EIO); }, EIO, true, false},
        {"exchange", [](WriterCalls& c) { c.exchange = failOnce<WriterCalls::exchangeFiles>(EIO); }, EIO,
         true, false},
        {"unlink after the exchange", [](WriterCalls& c) { c.unlink = failOnce<::unlink>(EBUSY); }, EBUSY,
         true, false},
        {"rename of a first file", [](WriterCalls& c) { c.rename = failOnce<::rename>(EDQUOT); }, EDQUOT,
         false, false},
        {"exchange not supported",
         [](WriterCalls& c) { c.exchange = failOnce<WriterCalls::exchangeFiles>(EINVAL); }, 0, true, true},
        {"exchange not supported, rename",
         [](WriterCalls& c) {
             c.exchange = failOnce<WriterCalls::exchangeFiles>(EOPNOTSUPP);
             c.rename = failOnce<::rename>(EXDEV);
         },
         EXDEV, true, false},
    };
    const std::string names[] = {"A.bmp", "B.bmp", "C.bmp"};
    const platform::TBitmap oldPicture = toBitmap(designedPicture(7, 5));
    const platform::TBitmap newPicture = toBitmap(randomPixels(301, 203, 2));
    platform::writeBmp24(newPicture, "new.bmp");  // its bytes are pinned above
    const std::vector<std::uint8_t> newBytes = readFileBytes("new.bmp");
    fs::remove("new.bmp");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        // A bare name and a full path are both named by the file's own name.
        const std::string name = names[i % 3];
        const std::string target = i % 2 ? name : (dir() / name).string();
        SCOPED_TRACE(std::string(c.step) + ", " + target);
        if (c.oldFile) platform::writeBmp24(oldPicture, target);
        const std::vector<std::uint8_t> oldBytes = readFileBytes(name);
        WriterCalls calls;
        calls.write = recordCloseOnExec;
        c.inject(calls);
        platform::setWriterCalls(calls);
        closedOnExec.clear();
        const std::string failure = failureOf([&] { platform::writeBmp24(newPicture, target); });
        platform::setWriterCalls({});
        const std::string expected =
            name + ": cannot write in " + dir().string() + " (" + std::strerror(c.error) + ")";
        EXPECT_EQ(failure, c.error ? expected : "(no failure)");
        std::map<std::string, std::string> after, wanted;
        for (const auto& entry : fs::directory_iterator(dir())) {
            const std::vector<std::uint8_t> bytes = readFileBytes(entry);
            after[entry.path().filename()] = bytes == oldBytes ? "old" : bytes == newBytes ? "new" : "other";
        }
        if (c.oldFile) wanted[name] = "old";
        if (c.endsWithNew) wanted[name] = "new";
        EXPECT_EQ(after, wanted);
        EXPECT_EQ(std::count(closedOnExec.begin(), closedOnExec.end(), false), 0);
        fs::remove(name);
    }
}
