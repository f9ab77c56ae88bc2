// Picture files: the bytes of a stage file, reading every picture kind, refusals that name the
// file and the reason, the BMP suite, and the inputs the fuzzer starts from or found failing.
#include <sys/stat.h>

#include "fuzz/picture_check.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

class Files : public InTempDir {};

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".md") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The largest difference in any channel of any pixel; 999 for pictures of other sizes.
int farthest(const Pixels& a, const Pixels& b) {
    if (a.width != b.width || a.height != b.height) return 999;
    int most = 0;
    for (std::size_t i = 0; i < a.px.size(); ++i)
        most = std::max({most, std::abs(a.px[i].b - b.px[i].b), std::abs(a.px[i].g - b.px[i].g), std::abs(a.px[i].r - b.px[i].r)});
    return most;
}

}  // namespace

// Every header byte, the bottom-up row order and the zero padding of an odd width; the grey
// picture is written in the same 24-bit layout.
TEST_F(Files, StageFileBytesOfAnOddWidth) {
    platform::TBitmap grey;
    grey.SetSize(3, 2, platform::TPixelFormat::pf8bit);
    for (int i = 0; i < 6; ++i) grey.GetScanline(i / 3)[i % 3] = static_cast<std::uint8_t>(10 + i);
    const std::vector<std::uint8_t> expected = {
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,
        0, 0, 0, 0, 24, 0, 0, 0, 0xC4, 0x0E, 0, 0, 0xC4, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        13, 13, 13, 14, 14, 14, 15, 15, 15, 0, 0, 0, 10, 10, 10, 11, 11, 11, 12, 12, 12, 0, 0, 0};  // bottom row first
    platform::writeBmp24(grey, "grey.bmp");
    EXPECT_EQ(readFileBytes("grey.bmp"), expected);
    platform::writeBmp24(toBitmap(toPixels(grey)), "wide.bmp");
    EXPECT_EQ(readFileBytes("wide.bmp"), expected);
}

// Every padding, and a picture larger than one of the writer's chunks.
TEST_F(Files, StageFilesReadBackAsWritten) {
    for (const auto& [w, h] : {std::pair{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {7, 3}, {301, 203}}) {
        const Pixels p = randomPixels(w, h, static_cast<unsigned>(w));
        platform::writeBmp24(toBitmap(p), "B.bmp");
        EXPECT_EQ(stageFile("B.bmp"), p) << w;
    }
}

TEST_F(Files, EmptyTopDownCutShortAndNewStageFiles) {
    platform::writeBmp24(platform::TBitmap(), "A.bmp");  // a valid 0 x 0 file that reads as no picture
    EXPECT_EQ(readFileBytes("A.bmp").size(), 54u);
    EXPECT_EQ(failureOf([] { platform::loadPicture("A.bmp"); }), "A.bmp: empty picture (0 x 0 pixels)");

    const Pixels p = designedPicture(5, 4);
    platform::writeBmp24(toBitmap(p), "x.bmp");
    auto b = readFileBytes("x.bmp"), flipped = b;  // made top-down: negative height, rows reversed
    for (int row = 0; row < 4; ++row) std::copy_n(b.begin() + 54 + row * 16, 16, flipped.begin() + 54 + (3 - row) * 16);
    flipped[22] = 0xFC, flipped[23] = flipped[24] = flipped[25] = 0xFF;
    writeFileBytes("y.bmp", flipped);
    EXPECT_EQ(toPixels(platform::loadPicture("y.bmp")), p);

    b.pop_back();
    writeFileBytes("x.bmp", b);
    EXPECT_EQ(failureOf([] { platform::loadPicture("x.bmp"); }).rfind("x.bmp: file is cut short", 0), 0u);

    const mode_t old = ::umask(022);
    platform::writeBmp24(toBitmap(p), "new.bmp");
    ::umask(old);
    EXPECT_EQ(fs::status("new.bmp").permissions() & fs::perms::all, fs::perms(0644));
}

// PNG and BMP exactly (BMP as Qt writes it), JPEG within its loss, under every extension.
TEST_F(Files, EveryKindLoadsWithItsColours) {
    struct Case { const char *name, *format; int tolerance; };
    for (const Case c : {Case{"p.png", "png", 0}, {"p.PNG", "png", 0}, {"p.bmp", "bmp", 0}, {"p.dib", "bmp", 0},
                         {"p.jpg", "jpeg", 4}, {"p.JPEG", "jpeg", 4}, {"p.jfif", "jpeg", 4}, {"p.jpe", "jpeg", 4}}) {
        const Pixels p = c.tolerance ? Pixels(16, 8, {40, 90, 200}) : designedPicture(13, 7);
        savePicture(p, c.name, c.format);
        EXPECT_LE(farthest(toPixels(platform::loadPicture(c.name)), p), c.tolerance) << c.name;
    }
}

TEST_F(Files, RefusalsNameTheFileAndTheReasonAndChangeNothing) {
    savePicture(designedPicture(4, 4), "real.png");
    for (const char* copy : {"fake.bmp", "notes.txt", "noextension"}) fs::copy("real.png", copy);
    fs::create_directory("folder.png");
    writeFileBytes("empty.gif", {});
    writeFileBytes("junk.jpg", {1, 2, 3, 4, 5});
    std::vector<std::uint8_t> huge(54, 0);  // a 24-bit BMP header of 100000 x 100000 pixels and no pixels
    huge[0] = 'B', huge[1] = 'M', huge[10] = 54, huge[14] = 40, huge[26] = 1, huge[28] = 24;
    for (const int at : {18, 22}) huge[at] = 0xA0, huge[at + 1] = 0x86, huge[at + 2] = 0x01;
    writeFileBytes("huge.bmp", huge);
    savePicture(designedPicture(4, 4), "real.jpg");
    auto jpeg = readFileBytes("real.jpg");  // its frame header made to say 32639 x 32639
    const std::uint8_t frame[] = {0xFF, 0xC0};
    std::fill_n(std::search(jpeg.begin(), jpeg.end(), frame, frame + 2) + 5, 4, 0x7F);
    writeFileBytes("huge.jpg", jpeg);
    // 35 bytes: a GIF whose header says 0 x 0 and whose frame then claims 65280 x 4098 pixels.
    writeFileBytes("bomb.gif", {0x47, 0x49, 0x46, 0x00, 0x03, 0x00, 0x00, 0xff, 0x02, 0x10, 0x00, 0x00, 0x00, 0x2c, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x3b});
    struct Case { const char *file, *message; };
    for (const Case c : {Case{"notes.txt", "notes.txt: unknown picture kind \".txt\""},
                         {"noextension", "noextension: unknown picture kind (the name has no extension)"},
                         {"missing.png", "missing.png: no such file"},
                         {"folder.png", "folder.png: is a directory, not a picture"},
                         {"fake.bmp", "fake.bmp: cannot read as a BMP picture ("},
                         {"empty.gif", "empty.gif: cannot read as a GIF picture ("},
                         {"junk.jpg", "junk.jpg: cannot read as a JPEG picture ("},
                         {"bomb.gif", "bomb.gif: empty picture (0 x 0 pixels)"},
                         {"huge.bmp", "huge.bmp: picture too large (100000 x 100000 pixels)"},
                         {"huge.jpg", "huge.jpg: picture too large (32639 x 32639 pixels)"}}) {
        platform::TPicture picture;
        picture.Assign(toBitmap(designedPicture(3, 3)));
        const std::string failure = failureOf([&] { picture.LoadFromFile(c.file); });
        EXPECT_EQ(failure.rfind(c.message, 0), 0u) << failure;
        EXPECT_EQ(toPixels(picture.Bitmap()), designedPicture(3, 3)) << c.file << " changed the picture";
    }
}

// Photos larger than the reader's default allocation limit load.
TEST_F(Files, SeventyMegapixelPhotoLoads) {
    QImage photo(8400, 8400, QImage::Format_RGB32);
    photo.fill(qRgb(200, 200, 200));
    ASSERT_TRUE(photo.save("photo.jpg", nullptr, 30));
    photo = QImage();
    const platform::TBitmap loaded = platform::loadPicture("photo.jpg");
    EXPECT_EQ(loaded.Width(), 8400);
    EXPECT_EQ(loaded.Height(), 8400);
    EXPECT_NEAR(loaded.GetScanline(8399)[3 * 8399 + 2], 200, 4);
}

// A copy of a picture shares its pixels; writing through one must not change the other.
TEST(Bitmap, CopiesKeepTheirPixelsWhenAnotherWrites) {
    platform::TBitmap a = toBitmap(designedPicture(5, 3)), b;
    b.Assign(a);
    b.GetScanline(1)[0] = 99;
    EXPECT_EQ(toPixels(a), designedPicture(5, 3));
    EXPECT_EQ(b.GetScanline(1)[0], 99);
    EXPECT_THROW(b.SetPixelFormat(platform::TPixelFormat::pf8bit), std::invalid_argument);
}

// Every valid layout of the suite loads as Qt's own reader decodes it, and layouts that store the
// same picture agree (5- and 6-bit channels widen to 8 bits in more than one accepted way).
TEST(BmpSuite, ValidLayoutsLoadWithTheRightColours) {
    SKIP_WITHOUT_BMPSUITE();
    auto load = [](const char* file) { return toPixels(platform::loadPicture((bmpSuite() / "g" / file).string())); };
    for (const fs::path& file : filesIn(bmpSuite() / "g")) {
        SCOPED_TRACE(file.filename().string());
        const Pixels loaded = toPixels(platform::loadPicture(file.string()));
        const QImage byQt = QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(loaded.width, byQt.width());
        ASSERT_EQ(loaded.height, byQt.height());
        for (int y = 0; y < loaded.height; ++y)
            for (int x = 0; x < loaded.width; ++x) {
                const uchar* q = byQt.constScanLine(y) + 3 * x;
                ASSERT_EQ(loaded.at(x, y), (Bgr{q[2], q[1], q[0]})) << x << "," << y;
            }
    }
    struct Case { const char *file, *sameAs; int tolerance; };
    for (const Case c : {Case{"rgb24pal.bmp", "rgb24.bmp", 0}, {"rgb32bf.bmp", "rgb24.bmp", 0}, {"rgb16.bmp", "rgb24.bmp", 10},
                         {"rgb16-565.bmp", "rgb24.bmp", 10}, {"pal8os2.bmp", "pal8.bmp", 0}, {"pal8rle.bmp", "pal8.bmp", 0},
                         {"pal8topdown.bmp", "pal8.bmp", 0}, {"pal8v5.bmp", "pal8.bmp", 0}, {"pal4rle.bmp", "pal4.bmp", 0}}) {
        EXPECT_LE(farthest(load(c.file), load(c.sameAs)), c.tolerance) << c.file;
    }
}

// The fuzzer's seeds and the failures it found, through its own checks (load, write, read back)
// in every build, so a fixed failure stays fixed where clang is not at hand. Crashes, leaks and
// undefined behaviour in these paths are the sanitizer build's and the fuzzer's to find.
TEST_F(Files, FuzzSeedsLoadAndKeptFailuresAreHandled) {
    for (const char* folder : {"fuzz/seeds", "tests/fuzz_regressions"}) {
        const std::vector<fs::path> inputs = filesIn(fs::path(EDGEPIPE_SOURCE_DIR) / folder);
        ASSERT_FALSE(inputs.empty()) << folder;
        for (const fs::path& input : inputs) {
            fs::create_directory("scratch");
            const std::vector<std::uint8_t> bytes = readFileBytes(input);
            const fuzzing::Result result = fuzzing::checkPictureBytes(bytes.data(), bytes.size(), "scratch");
            EXPECT_EQ(result.problem, "") << input.filename();
            EXPECT_TRUE(fs::is_empty("scratch")) << input.filename();
            EXPECT_TRUE(result.outcome == fuzzing::Outcome::Loaded || folder != std::string("fuzz/seeds")) << input.filename();
            fs::remove("scratch");
        }
    }
}
