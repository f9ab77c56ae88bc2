// Picture files: the bytes of a stage file, refusals that name the file and the reason, the BMP
// suite, and the inputs the fuzzer starts from or found failing.
#include <fcntl.h>
#include <sys/stat.h>

#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
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
        if (entry.path().extension() != ".md") files.push_back(entry.path());
    return files;
}

// Stands for one of the writer's system calls, failing with `Error`.
template <int Error, class R, class... Args>
R failing(Args...) {
    errno = Error;
    return -1;
}

// A close that says EIO: on Linux the file is closed all the same.
int closeFailing(int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
}

// Whether this process holds open a file whose path, as /proc shows it (with " (deleted)" after a
// removed one), `matches` says.
template <class Match>
bool holdsOpen(Match matches) {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code gone;  // the descriptor that reads the folder ends meanwhile
        if (matches(fs::read_symlink(entry.path(), gone).string())) return true;
    }
    return false;
}

// A FUSE file system on a full volume: a file still open cannot be removed.
int refusingOpenFiles(const char* path) {
    if (!holdsOpen([&](const std::string& open) { return open == fs::absolute(path).string(); }))
        return ::unlink(path);
    errno = ENOSPC;
    return -1;
}

// A disk without room for the first write, nor while an old A.bmp replaced a moment ago is held
// open: its blocks are freed when it closes.
ssize_t fullUntilOldFilesFreed(int fd, const void* data, size_t size) {
    static bool refusedOnce = false;
    const auto oldFile = [](const std::string& open) {
        return open.find("A.bmp") != std::string::npos && open.ends_with(" (deleted)");
    };
    if (refusedOnce && !holdsOpen(oldFile)) return ::write(fd, data, size);
    refusedOnce = true;
    errno = ENOSPC;
    return -1;
}

// A whole picture loads with the pixels Qt's reader gives it, whichever reader the loader took, those
// with transparent parts blended over white (the seeds and the suite's good files have no picture
// that is clear everywhere).
Pixels decodedByQt(const std::string& file) {
    QImageReader reader(QString::fromStdString(file));
    reader.setDecideFormatFromContent(true);  // ".dib" is no name Qt knows
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    Pixels p(image.width(), image.height());
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const auto overWhite = [&](int channel) {
                return std::uint8_t((channel * qAlpha(pixel) + 255 * (255 - qAlpha(pixel)) + 127) / 255);
            };
            p.at(x, y) = {overWhite(qBlue(pixel)), overWhite(qGreen(pixel)), overWhite(qRed(pixel))};
        }
    return p;
}

}  // namespace

// Every header byte (96 pixels per inch, which other programs show as the picture's size in print),
// the bottom-up row order and the zero padding of an odd width, the same for the grey picture, which
// a copy written through leaves alone; new files get the usual permissions, the writer closes
// the file it wrote alone, and rows longer than its chunks go out whole. (A file cut short: the refusals
// below; a top-down file: the seeds; a file larger than the writer's chunks: the writer's faults; an empty
// picture: the pipeline tests.)
TEST_F(Files, StageFileBytes) {
    platform::TBitmap grey;
    grey.SetSize(3, 2, platform::TPixelFormat::pf8bit);
    for (int i = 0; i < 6; ++i) grey.GetScanline(i / 3)[i % 3] = static_cast<std::uint8_t>(10 + i);
    platform::TBitmap copy;
    copy.Assign(grey);
    copy.GetScanline(1)[0] = 99;
    EXPECT_EQ(copy.GetScanline(0)[1], 11) << "the written copy keeps its other pixels";
    const std::vector<std::uint8_t> expected = {
        'B', 'M', 78,   0,    0, 0, 0,  0,  0,  0,  54, 0,  0,  0,  40, 0,  0,  0,  3,    0,
        0,   0,   2,    0,    0, 0, 1,  0,  24, 0,  0,  0,  0,  0,  24, 0,  0,  0,  0xC4, 0x0E,
        0,   0,   0xC4, 0x0E, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  13, 13, 13, 14, 14,   14,
        15,  15,  15,   0,    0, 0, 10, 10, 10, 11, 11, 11, 12, 12, 12, 0,  0,  0};  // bottom row first
    const bool inputOpen = ::fcntl(STDIN_FILENO, F_GETFD) != -1;
    const mode_t mask = ::umask(027);
    for (const platform::TBitmap& picture : {toBitmap(toPixels(grey)), grey}) {
        platform::writeBmp24(picture, "A.bmp");
        EXPECT_EQ(readFileBytes("A.bmp"), expected)
            << (picture.PixelFormat() == grey.PixelFormat() ? "grey" : "24-bit");
    }
    ::umask(mask);
    platform::TBitmap read;
    EXPECT_EQ(platform::readBmp24("A.bmp", read), platform::BmpRead::Done) << "read by our own reader";
    EXPECT_EQ(::fcntl(STDIN_FILENO, F_GETFD) != -1, inputOpen) << "the writer closes its own file only";
    EXPECT_EQ(fs::status("A.bmp").permissions() & fs::perms::all, fs::perms(0640)) << "the umask applies";
    // A panorama's rows, each longer than the writer's chunks, go out whole.
    const Pixels wide = randomPixels(50000, 2, 5);
    platform::writeBmp24(toBitmap(wide), "wide.bmp");
    EXPECT_TRUE(samePixels(stageFile("wide.bmp"), wide));
}

namespace {
// What loading a file should do: -1 be refused with a message that starts with `message`, 0 either,
// 1 load the pixels Qt's reader gives.
struct Outcome {
    std::string file, message;
    int expect;
};

// A refusal names the file and the reason and leaves the picture as it was, and no file stays
// open. Crashes, hangs and leaks on such files are the fuzzer's and the sanitizer build's to find.
void expectOutcomes(const std::vector<Outcome>& cases) {
    platform::awaitOldFiles();
    const auto openFiles = std::distance(fs::directory_iterator("/proc/self/fd"), {});
    for (const Outcome& c : cases) {
        platform::TPicture picture;
        picture.Assign(toBitmap(designedPicture(3, 3)));
        const std::string failure = failureOf([&] { picture.LoadFromFile(c.file); });
        SCOPED_TRACE(c.file + ": " + failure);
        if (failure == "(no failure)") {
            EXPECT_GE(c.expect, 0) << "loaded";
            if (c.expect == 1) {
                EXPECT_TRUE(samePixels(toPixels(picture.Bitmap()), decodedByQt(c.file)));
            }
        } else {
            EXPECT_LE(c.expect, 0) << "refused";
            EXPECT_THAT(failure, testing::StartsWith(c.message));
            EXPECT_TRUE(samePixels(toPixels(picture.Bitmap()), designedPicture(3, 3)));
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("/proc/self/fd"), {}), openFiles) << "a file left open";
}
}  // namespace

// Unknown names (the kind said in lower case), a missing file and a folder, and damaged, mislabelled and
// oversized copies of the fuzzer's seeds are refused.
TEST_F(Files, RefusalsNameTheFileAndTheReason) {
    std::vector<Outcome> cases = {
        {"notes.TxZ", "notes.TxZ: unknown picture kind \".txz\"", -1},
        {"./noextension", dir().string() + "/noextension: unknown picture kind (the name has no extension)",
         -1},
        {"photo.", "photo.: unknown picture kind (the name has no extension)", -1},
        {"missing.png", "missing.png: no such file", -1},
        {"huge.bmp", "huge.bmp: picture too large (100000 x 100000 pixels; ", -1},
        {"huge.jpg",
         "huge.jpg: picture too large (32639 x 32639 pixels; edgepipe reads up to 134 megapixels)", -1},
        {"damaged.bmp", "damaged.bmp: damaged or cut short (", -1},
        {"cut.bmp",
         "cut.bmp: damaged or cut short (3 x 2 pixels announced, 78 bytes needed, the file has 66)", -1},
        {"damaged.jpg", "damaged.jpg: damaged or cut short (", -1},
        {"damaged.gif", "damaged.gif: damaged or cut short (unknown block 0 at byte 25)", -1}};
    const char* seeds[] = {"bmp-stage-3x2", "png-rgb-5x4", "jpg-baseline-9x7", "gif-transparent-3x2"};
    // Each seed under the name of another kind, and that kind's reader.
    const std::pair<std::string, std::string> misnamed[] = {
        {"bmp-as.jfif", "JPEG"}, {"png-as.JPEG", "JPEG"}, {"jpg-as.gif", "GIF"}, {"gif-as.dib", "BMP"}};
    const std::string notOne = " picture (not one, or of a layout not read here)";
    for (int k = 0; k < 4; ++k) {
        auto bytes = readFileBytes(fs::path(EDGEPIPE_SOURCE_DIR) / "fuzz/seeds" / seeds[k]);
        bytes.erase(bytes.begin());  // the fuzzer's selector byte
        const std::string kind = std::string(seeds[k]).substr(0, 3);
        // Cut in half, every kind is refused as damaged.
        for (const auto& [name, size, reason, expect] :
             {std::tuple{"header-only", std::size_t{13}, "damaged or cut short (", -1},
              {"half", bytes.size() / 2, "damaged or cut short (", -1}}) {
            cases.push_back(
                {kind + "-" + name + "." + kind, kind + "-" + name + "." + kind + ": " + reason, expect});
            writeFileBytes(cases.back().file,
                           {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)});
        }
        const auto& [wrongName, readAs] = misnamed[k];
        cases.push_back({wrongName, wrongName + ": cannot read as a " + readAs + notOne, -1});
        writeFileBytes(wrongName, bytes);
        for (const char* copy : {"notes.TxZ", "./noextension", "photo."}) writeFileBytes(copy, bytes);
        // Damage the readers notice only when asked, and headers that announce too many pixels.
        std::vector<std::uint8_t> damaged = bytes, huge = bytes;
        if (kind == "bmp") {
            // The 124-byte header of common tools, its extra fields zero, with rows it lacks.
            damaged.insert(damaged.begin() + 54, 84, 0);
            damaged[10] = 138;
            damaged[14] = 124;
            damaged.pop_back();
            writeFileBytes("cut.bmp", {bytes.begin(), bytes.end() - 12});  // our own layout, a row short
            const std::uint8_t size[] = {0xA0, 0x86, 0x01, 0, 0xA0, 0x86, 0x01, 0};  // 100000 x 100000
            std::copy_n(size, 8, huge.begin() + 18);
        } else if (kind == "jpg") {
            // Bytes before the scan; a frame header that says 32639 x 32639.
            const std::uint8_t scan[] = {0xFF, 0xDA}, frame[] = {0xFF, 0xC0};
            damaged.insert(std::search(damaged.begin(), damaged.end(), scan, scan + 2), 3, 0);
            std::fill_n(std::search(huge.begin(), huge.end(), frame, frame + 2) + 5, 4, 0x7F);
        } else if (kind == "gif") {
            damaged[25] = 0;  // where the first block begins, after the colours
        }
        if (damaged != bytes) writeFileBytes("damaged." + kind, damaged);
        if (huge != bytes) writeFileBytes("huge." + kind, huge);
    }
    // A folder is refused as one before its name is looked at, and named by its clean full path.
    fs::create_directories("pics/sub");
    cases.push_back({"pics/sub/../../pics", dir().string() + "/pics: is a folder, not a picture", -1});
    expectOutcomes(cases);
}

// The suite's good files load; of the others, those the program's own checks refuse are pinned,
// and the rest are what Qt's reader makes of them.
TEST_F(Files, BmpSuite) {
    if (bmpSuite().empty()) GTEST_SKIP() << "no ../shared/testdata/bmpsuite beside this checkout";
    const std::map<std::string, std::string> refusedHere = {
        {"reallybig.bmp", "picture too large (3000000 x 2000000 pixels"},
        {"shortfile.bmp", "damaged or cut short (127 x 64 pixels announced"},
        {"ba-bm.bmp", "cannot read as a BMP picture (not one, or of a layout not read here)"}};
    std::vector<Outcome> cases;
    for (const char* set : {"g", "q", "b", "x"})
        for (const fs::path& file : filesIn(bmpSuite() / set)) {
            const auto pinned = refusedHere.find(file.filename().string());
            const std::string reason = pinned == refusedHere.end() ? "" : pinned->second;
            cases.push_back({file.string(), fs::absolute(file).lexically_normal().string() + ": " + reason,
                             set[0] == 'g'    ? 1
                             : reason.empty() ? 0
                                              : -1});
        }
    // An OS/2 file, whose header holds its sizes in 16 bits, cut short.
    const std::vector<std::uint8_t> os2 = readFileBytes(bmpSuite() / "g/pal8os2.bmp");
    writeFileBytes("os2-cut.bmp", {os2.begin(), os2.end() - 1});
    cases.push_back({"os2-cut.bmp", "os2-cut.bmp: damaged or cut short (127 x 64 pixels announced", -1});
    expectOutcomes(cases);
}

// Quirks every viewer shows load, whatever the decoder remarks and whatever the logging rules turn
// on; a picture whose pixels are cut short is refused. (A progressive JPEG, an interlaced PNG, a GIF
// with extension blocks and a BMP with a colour profile are among the fuzzer's seeds, below.)
TEST_F(Files, QuirksThatLoseNoPixelLoad) {
    QLoggingCategory::setFilterRules("*.debug=true");  // as QT_LOGGING_RULES may
    const QtMessageHandler handler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(handler);
    savePicture(designedPicture(16, 12), "photo.jpg", "JPEG");
    const std::vector<std::uint8_t> photo = readFileBytes("photo.jpg");
    const auto edited = [&](std::size_t at, std::size_t end, const std::string& inserted) {
        std::vector<std::uint8_t> bytes(photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(end));
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), inserted.begin(), inserted.end());
        return bytes;
    };
    const std::size_t end = photo.size();
    const std::string profile("\xFF\xE2\x00\x16ICC_PROFILE\0\x01\x01not a profile", 24);
    const std::tuple<const char*, std::vector<std::uint8_t>, std::string> cases[] = {
        // the start of what is said
        {"padding before the end marker", edited(end - 2, end, std::string(3, '\0')), "(no failure)"},
        {"a colour profile that cannot be used", edited(2, end, profile), "(no failure)"},
        {"cut short", edited(0, end * 2 / 3, ""), "quirk.jpg: damaged or cut short ("},
    };
    for (const auto& [quirk, bytes, refusal] : cases) {
        SCOPED_TRACE(quirk);
        writeFileBytes("quirk.jpg", bytes);
        EXPECT_THAT(failureOf([] { platform::loadPicture("quirk.jpg"); }), testing::StartsWith(refusal));
    }
    // A phone photo comes the right way up, as its EXIF orientation says (6: a quarter turn right).
    // The APP1 block's length, 0x22, is the '"'.
    const std::string exif(
        "\xFF\xE1\x00\"Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 36);
    writeFileBytes("quirk.jpg", edited(2, end, exif));
    EXPECT_EQ(platform::loadPicture("quirk.jpg").Width(), 12);
    // A picture with transparent parts shows on white, as viewers show it, whatever colour the file
    // keeps under them: opaque red, clear black, half-clear black and a fifth-opaque orange.
    QImage clear(4, 1, QImage::Format_ARGB32);
    const QRgb colours[] = {qRgba(255, 0, 0, 255), qRgba(0, 0, 0, 0), qRgba(0, 0, 0, 128),
                            qRgba(200, 100, 50, 51)};
    const Bgr shown[] = {{0, 0, 255}, {255, 255, 255}, {127, 127, 127}, {214, 224, 244}};
    for (int x = 0; x < 4; ++x) clear.setPixel(x, 0, colours[x]);
    ASSERT_TRUE(clear.save("clear.png"));
    const Pixels loaded = toPixels(platform::loadPicture("clear.png"));
    for (int x = 0; x < 4; ++x) EXPECT_EQ(loaded.at(x, 0), shown[x]) << "pixel " << x;
    // A picture clear everywhere left its opacity unused, as some writers of 32-bit BMP files do.
    clear.fill(qRgba(200, 100, 50, 0));
    ASSERT_TRUE(clear.save("unused.png"));
    EXPECT_EQ(toPixels(platform::loadPicture("unused.png")).at(3, 0), (Bgr{50, 100, 200}));
    // A PNG of 16 bits a channel, which Qt decodes at 8 bytes a pixel: 80 megapixels are 640 MB, far
    // over Qt's own limit. Qt's messages go back to the handler they had once a picture is read.
    QImage deep(10000, 8000, QImage::Format_RGBX64);
    deep.fill(Qt::gray);
    QImageWriter writer("deep.png");
    writer.setCompression(1);
    ASSERT_TRUE(writer.write(deep));
    EXPECT_EQ(failureOf([] { platform::loadPicture("deep.png"); }), "(no failure)");
    EXPECT_EQ(platform::announcedSize("deep.png").height, 8000) << "the height its header announces";
    EXPECT_EQ(qInstallMessageHandler(handler), handler) << "the reader kept Qt's messages";
    QLoggingCategory::setFilterRules("");
}

// The fuzzer's seeds and the failures it found, through its own checks (load, write, read back), in
// every build, so a fixed failure stays fixed where clang is not at hand; the seeds (a top-down BMP
// among them) load with the pixels Qt's readers give them.
TEST_F(Files, FuzzSeedsLoadAndKeptFailuresAreHandled) {
    fs::create_directory("scratch");
    for (const char* folder : {"fuzz/seeds", "tests/fuzz_regressions"})
        for (const fs::path& input : filesIn(fs::path(EDGEPIPE_SOURCE_DIR) / folder)) {
            const std::vector<std::uint8_t> bytes = readFileBytes(input);
            const fuzzing::Result result = fuzzing::checkPictureBytes(bytes.data(), bytes.size(), "scratch");
            SCOPED_TRACE(input);
            EXPECT_EQ(result.problem, "");
            if (std::string(folder) == "fuzz/seeds") {
                const std::string file = "seed" + fuzzing::extensionFor(bytes[0]);
                writeFileBytes(file, {bytes.begin() + 1, bytes.end()});
                EXPECT_TRUE(samePixels(toPixels(platform::loadPicture(file)), decodedByQt(file)));
            }
        }
}

// A stage file replaced while any one of the writer's system calls fails: the message names the
// file by its own name and its folder in full, and the folder holds the whole old file byte for
// byte (or nothing, when there was none) and no temporary file. A file system that cannot
// exchange gets the new file by a plain rename; a full disk, once the old files replaced before
// are freed, the new file. (Short and interrupted writes, a full disk and a
// write of nothing: see the pipeline tests.)
TEST_F(Files, ReplacingAStageFileKeepsTheOldOneWhenAnyStepFails) {
    struct Case {
        const char* step;
        platform::WriterCalls calls;
        int error;         // the errno the message gives, 0: no failure
        bool oldFile;      // whether a file is there before
        bool endsWithNew;  // whether the new file is there after (else the old one, if any)
    };
    const Case cases[] = {
        {"create", {.create = failing<EROFS>}, EROFS, true, false},
        {"write", {.write = failing<EIO>}, EIO, true, false},
        {"close", {.close = closeFailing}, EIO, true, false},
        {"exchange", {.exchange = failing<EIO>}, EIO, true, false},
        {"unlink of the old file, held open", {.unlink = refusingOpenFiles}, ENOSPC, true, false},
        {"rename of a first file", {.rename = failing<EDQUOT>}, EDQUOT, false, false},
        {"no exchange", {.exchange = failing<EINVAL>}, 0, true, true},
        {"rename instead", {.exchange = failing<EOPNOTSUPP>, .rename = failing<EXDEV>}, EXDEV, true, false},
        {"write, full NTFS", {.write = failing<ENOSPC>, .unlink = refusingOpenFiles}, ENOSPC, true, false},
        {"write; room once freed", {.write = fullUntilOldFilesFreed}, 0, true, true},
    };
    // Larger than the writer's chunks, with one byte of padding.
    const platform::TBitmap newPicture = toBitmap(randomPixels(301, 203, 2));
    platform::writeBmp24(newPicture, "A.bmp");  // the first case writes the old file over it
    ASSERT_TRUE(samePixels(stageFile("A.bmp"), randomPixels(301, 203, 2)));
    const std::vector<std::uint8_t> newBytes = readFileBytes("A.bmp");
    platform::awaitOldFiles();
    const auto openFiles = std::distance(fs::directory_iterator("/proc/self/fd"), {});
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        // A bare name and a full path are both named by the file's own name.
        const std::string target = i % 2 ? "A.bmp" : (dir() / "A.bmp").string();
        SCOPED_TRACE(std::string(c.step) + ", " + target);
        if (c.oldFile) platform::writeBmp24(toBitmap(designedPicture(7, 5)), target);
        const std::vector<std::uint8_t> oldBytes = readFileBytes("A.bmp");  // empty when there is none
        platform::setWriterCalls(c.calls);
        const std::string failure = failureOf([&] { platform::writeBmp24(newPicture, target); });
        platform::setWriterCalls({});
        EXPECT_EQ(failure,
                  c.error ? "A.bmp: cannot write in " + dir().string() + " (" + std::strerror(c.error) + ")"
                          : "(no failure)");
        EXPECT_TRUE(readFileBytes("A.bmp") == (c.endsWithNew ? newBytes : oldBytes))
            << (c.endsWithNew ? "the new file" : "the old file") << " is under the name";
        EXPECT_EQ(std::distance(fs::directory_iterator(dir()), {}), c.oldFile || c.endsWithNew ? 1 : 0)
            << "no temporary file is left";
        fs::remove("A.bmp");
    }
    platform::awaitOldFiles();
    EXPECT_EQ(std::distance(fs::directory_iterator("/proc/self/fd"), {}), openFiles) << "a file left open";
    // When the exchange cannot be undone either, the new file stays and the old one is kept, not
    // removed, under the name the message gives.
    platform::writeBmp24(toBitmap(designedPicture(7, 5)), "A.bmp");
    const std::vector<std::uint8_t> oldBytes = readFileBytes("A.bmp");
    static int exchanges;
    exchanges = 0;  // again when the test repeats
    platform::setWriterCalls({.exchange =
                                  [](const char* from, const char* to) {
                                      return ++exchanges == 1 ? platform::WriterCalls::exchangeFiles(from, to)
                                                              : failing<EIO, int>();
                                  },
                              .unlink = failing<EBUSY>});
    const std::string failure = failureOf([&] { platform::writeBmp24(newPicture, "A.bmp"); });
    const std::string kept = failure.substr(failure.rfind(' ') + 1);
    EXPECT_THAT(failure, testing::StartsWith("A.bmp: cannot write in " + dir().string() +
                                             " (Device or resource busy); the old file is kept as A.bmp."));
    EXPECT_EQ(readFileBytes(kept), oldBytes) << kept;
    EXPECT_EQ(readFileBytes("A.bmp"), newBytes);
}

// A name that is not a regular file is never written over: a folder, and a FIFO (a socket or a
// device is refused by the same test). (Read as pictures: the refusals and the batch tests.)
TEST_F(Files, OnlyRegularFilesAreReplaced) {
    fs::create_directory("A.bmp");
    ASSERT_EQ(::mkfifo("B.bmp", 0600), 0);
    for (const auto& [name, reason] :
         {std::pair{"A.bmp", "A.bmp there is a folder)"}, {"B.bmp", "B.bmp there is not a regular file)"}})
        EXPECT_EQ(failureOf([&] { platform::writeBmp24(toBitmap(designedPicture(2, 2)), name); }),
                  std::string(name) + ": cannot write in " + dir().string() + " (" + reason);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), {}), 2) << "a temporary file is left";
}

// A name shows as it is where it is UTF-8 (sequences of two, three and four bytes), and every byte of
// it that is not as \xHH: a cut sequence, which other programs would show as a replacement character.
TEST(Names, ShowTheirBytesThatAreNotUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xE9", "caf\\xE9"},
        {"\xC2\x80 \xE0\xA0\x80 \xF4\x8F\xBF\xBF", "\xC2\x80 \xE0\xA0\x80 \xF4\x8F\xBF\xBF"},
        {"\xE6\x97\x41", "\\xE6\\x97A"},
    };
    for (const auto& [bytes, shown] : cases) EXPECT_EQ(platform::printable(bytes), shown);
}

// A read the system refuses says so, naming the file, instead of being taken for the file's end. A
// folder on a file system that keeps no locks (a network share without its lock service) is written
// unheld; one that another run holds is taken once that run lets go. (Saying so, and Ctrl-C while
// waiting: the batch tests.)
TEST_F(Files, WhatTheSystemRefuses) {
    writeFileBytes("A.bmp", {0x42, 0x4D});
    const platform::OpenedFile file("A.bmp", "shown/A.bmp");
    std::uint8_t byte = 0;
    EXPECT_EQ(failureOf([&] { file.readAt(std::uint64_t{1} << 63, &byte, 1); }),
              "shown/A.bmp: cannot read (Invalid argument)");
    const platform::PictureFolder folder = *platform::OutputFolder("out").open("", "out");
    platform::setLockCall(failing<ENOLCK, int, int, int>);
    const std::function<void()> unsaid = [] {};
    EXPECT_TRUE(folder.hold("out", unsaid, [] { return true; }));
    static int held = 2;  // another run that lets go after two tries
    platform::setLockCall([](int, int) { return --held < 0 ? 0 : failing<EWOULDBLOCK, int>(); });
    EXPECT_TRUE(folder.hold("out", unsaid, [] { return false; }));
}
