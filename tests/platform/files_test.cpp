// Picture files: the bytes of a stage file, refusals that name the file and the reason, the BMP
// suite, and the inputs the fuzzer starts from or found failing.
#include <fcntl.h>
#include <sys/stat.h>

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
        failureOf([] { platform::loadPicture("cut.bmp"); }).starts_with("cut.bmp: file is cut short"));
}

// Refused files name the file and the reason and leave the picture as it was: unknown names,
// a cut file, a picture under another kind's name, pictures too large, and the BMP suite's doubtful
// and invalid files, which may also load. Crashes, hangs and leaks on damaged files are the
// fuzzer's and the sanitizer build's to find.
TEST_F(Files, BadFilesAreRefusedNamingTheFileAndTheReason) {
    struct Case {
        std::string file, message;
        bool mayLoad = false;
    };
    std::vector<Case> cases = {
        {"notes.txt", "notes.txt: unknown picture kind \".txt\""},
        {"noextension", "noextension: unknown picture kind (the name has no extension)"},
        {"missing.png", "missing.png: no such file"},
        {"folder.png", "folder.png: is a directory, not a picture"},
        {"cut.png", "cut.png: "},
        {"png-as.JPEG", "png-as.JPEG: cannot read as a JPEG picture"},
        {"huge.bmp", "huge.bmp: picture too large (100000 x 100000 pixels)"},
        {"huge.jpg", "huge.jpg: picture too large (32639 x 32639 pixels)"}};
    fs::create_directory("folder.png");
    for (const char* copy : {"notes.txt", "noextension", "png-as.JPEG"})
        savePicture(designedPicture(5, 4), copy, "PNG");
    const auto png = readFileBytes("notes.txt");
    writeFileBytes("cut.png", {png.begin(), png.begin() + 13});
    auto bmp = readFileBytes(savePicture(designedPicture(5, 4), "huge.bmp"));
    const std::uint8_t size[] = {0xA0, 0x86, 0x01, 0, 0xA0, 0x86, 0x01, 0};  // 100000 x 100000 pixels
    std::copy_n(size, 8, bmp.begin() + 18);
    writeFileBytes("huge.bmp", bmp);
    auto jpg = readFileBytes(savePicture(designedPicture(5, 4), "huge.jpg"));
    const std::uint8_t frame[] = {0xFF, 0xC0};  // the frame header made to say 32639 x 32639
    std::fill_n(std::search(jpg.begin(), jpg.end(), frame, frame + 2) + 5, 4, 0x7F);
    writeFileBytes("huge.jpg", jpg);
    for (const char* set : {"q", "b", "x"})
        for (const fs::path& file : bmpSuite().empty() ? std::vector<fs::path>{} : filesIn(bmpSuite() / set))
            cases.push_back({file.string(), file.string() + ": ", true});
    for (const Case& c : cases) {
        platform::TPicture picture;
        picture.Assign(toBitmap(designedPicture(3, 3)));
        const std::string failure = failureOf([&] { picture.LoadFromFile(c.file); });
        SCOPED_TRACE(c.file + ": " + failure);
        if (failure == "(no failure)") {
            EXPECT_TRUE(c.mayLoad) << "loaded";
            continue;
        }
        EXPECT_TRUE(failure.starts_with(c.message));
        EXPECT_GT(failure.size(), c.file.size() + 2) << "a reason follows the name";
        EXPECT_TRUE(samePixels(toPixels(picture.Bitmap()), designedPicture(3, 3)));
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
