#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <cstring>
#include <filesystem>

#include "platform/errors.h"
#include "platform/graphics.h"
#include "support/test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class Pictures : public InTempDir {};

// A GIF of one colour, written by hand (Qt reads GIF but cannot write it). Every pixel is sent
// as a literal 9-bit code, with a clear code often enough that the code width never grows.
std::vector<std::uint8_t> gifOf(const Pixels& p) {
    std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    auto put16 = [&](int v) { out.push_back(static_cast<std::uint8_t>(v)), out.push_back(static_cast<std::uint8_t>(v >> 8)); };
    put16(p.width), put16(p.height);
    out.insert(out.end(), {0xF7, 0, 0});  // global table of 256 colours
    for (int i = 0; i < 256; ++i) out.insert(out.end(), {p.px[0].r, p.px[0].g, p.px[0].b});
    out.push_back(',');
    put16(0), put16(0), put16(p.width), put16(p.height);
    out.push_back(0);
    out.push_back(8);  // minimum code size
    std::vector<std::uint8_t> data;
    std::uint32_t bits = 0;
    int count = 0;
    auto code = [&](int c) {
        bits |= static_cast<std::uint32_t>(c) << count;
        for (count += 9; count >= 8; count -= 8, bits >>= 8) data.push_back(static_cast<std::uint8_t>(bits));
    };
    for (std::size_t i = 0; i < p.px.size(); ++i) {
        if (i % 100 == 0) code(256);
        code(0);
    }
    code(257);
    if (count > 0) data.push_back(static_cast<std::uint8_t>(bits));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
    out.push_back(';');
    return out;
}

// A grey bitmap whose levels count up from 10, row after row.
platform::TBitmap greyBitmap(int width, int height) {
    platform::TBitmap grey;
    grey.SetSize(width, height, platform::TPixelFormat::pf8bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) grey.GetScanline(y)[x] = static_cast<std::uint8_t>(10 + y * width + x);
    return grey;
}

}  // namespace

TEST(Bitmap, GreyBitmapWidensTo24BitsAndLeavesItsCopiesGrey) {
    const platform::TBitmap grey = greyBitmap(5, 3);
    EXPECT_EQ(grey.Stride(), 8u);
    platform::TBitmap wide;
    wide.Assign(grey);
    wide.SetPixelFormat(platform::TPixelFormat::pf24bit);
    EXPECT_EQ(wide.PixelFormat(), platform::TPixelFormat::pf24bit);
    EXPECT_EQ(wide.Stride(), 16u);
    Pixels expected(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const auto level = static_cast<std::uint8_t>(10 + y * 5 + x);
            expected.at(x, y) = {level, level, level};
        }
    EXPECT_EQ(toPixels(wide), expected);
    EXPECT_EQ(grey.PixelFormat(), platform::TPixelFormat::pf8bit);
    EXPECT_EQ(grey.GetScanline(2)[4], 24);
    EXPECT_THROW(wide.SetPixelFormat(platform::TPixelFormat::pf8bit), std::invalid_argument);
}

TEST(Bitmap, CopiesSharePixelsUntilOneWrites) {
    platform::TBitmap a = toBitmap(designedPicture(5, 3));
    platform::TBitmap b;
    b.Assign(a);
    EXPECT_EQ(std::as_const(b).GetScanline(0), std::as_const(a).GetScanline(0));
    const Pixels before = toPixels(a);
    b.GetScanline(1)[0] = 99;
    EXPECT_NE(std::as_const(b).GetScanline(0), std::as_const(a).GetScanline(0));
    EXPECT_EQ(toPixels(a), before);
    EXPECT_EQ(b.GetScanline(1)[0], 99);
}

TEST_F(Pictures, LosslessKindsLoadWithTheirExactColours) {
    const Pixels p = designedPicture(13, 7);
    for (const char* name : {"p.png", "p.PNG", "p.bmp", "p.dib"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(toQImage(p).save(name, fs::path(name).extension() == ".dib" ? "bmp" : nullptr));
        EXPECT_EQ(toPixels(platform::loadPicture(name)), p);
    }
}

TEST_F(Pictures, GifAndJpegLoad) {
    Pixels flat(16, 8, {40, 90, 200});
    writeFileBytes("p.gif", gifOf(flat));
    EXPECT_EQ(toPixels(platform::loadPicture("p.gif")), flat);
    ASSERT_TRUE(toQImage(flat).save("p.jpg", nullptr, 100));
    const Pixels jpeg = toPixels(platform::loadPicture("p.jpg"));
    ASSERT_EQ(jpeg.width, 16);
    EXPECT_NEAR(jpeg.at(5, 5).r, 200, 4);
    EXPECT_NEAR(jpeg.at(5, 5).b, 40, 4);
}

TEST_F(Pictures, RefusalsNameTheFileAndTheReason) {
    ASSERT_TRUE(toQImage(designedPicture(4, 4)).save("real.png"));
    fs::copy("real.png", "fake.bmp");
    fs::copy("real.png", "notes.txt");
    fs::copy("real.png", "noextension");
    fs::create_directory("folder.png");
    writeFileBytes("empty.gif", {});
    writeFileBytes("junk.jpg", {1, 2, 3, 4, 5});
    // 35 bytes: a GIF whose header says 0 x 0 and whose frame then claims 65280 x 4098 pixels.
    writeFileBytes("bomb.gif", {0x47, 0x49, 0x46, 0x00, 0x03, 0x00, 0x00, 0xff, 0x02, 0x10, 0x00, 0x00,
                                0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3b});
    struct Case {
        const char* file;
        const char* message;
    };
    for (const Case c : {Case{"notes.txt", "notes.txt: unknown picture kind \".txt\""},
                         {"noextension", "noextension: unknown picture kind (the name has no extension)"},
                         {"missing.png", "missing.png: no such file"},
                         {"folder.png", "folder.png: is a directory, not a picture"},
                         {"fake.bmp", "fake.bmp: cannot read as a BMP picture"},
                         {"empty.gif", "empty.gif: cannot read as a GIF picture"},
                         {"junk.jpg", "junk.jpg: cannot read as a JPEG picture"},
                         {"bomb.gif", "bomb.gif: empty picture (0 x 0 pixels)"}}) {
        platform::TPicture picture;
        picture.Assign(toBitmap(designedPicture(3, 3)));
        EXPECT_EQ(failureOf([&] { picture.LoadFromFile(c.file); }).rfind(c.message, 0), 0u)
            << failureOf([&] { picture.LoadFromFile(c.file); });
        EXPECT_EQ(toPixels(picture.Bitmap()), designedPicture(3, 3)) << c.file << " must leave the picture as it was";
    }
}

TEST_F(Pictures, HeaderClaimingTooManyPixelsIsRefusedBeforeDecoding) {
    // A 24-bit BMP header of 100000 x 100000 pixels with no pixels after it.
    std::vector<std::uint8_t> header(54, 0);
    header[0] = 'B', header[1] = 'M', header[10] = 54, header[14] = 40, header[26] = 1, header[28] = 24;
    const std::int32_t side = 100000;
    std::memcpy(&header[18], &side, 4);
    std::memcpy(&header[22], &side, 4);
    writeFileBytes("huge.bmp", header);
    EXPECT_EQ(failureOf([] { platform::loadPicture("huge.bmp"); }), "huge.bmp: picture too large (100000 x 100000 pixels)");

    // A PNG whose header says 100000 x 100000: cut a real one's size fields.
    ASSERT_TRUE(toQImage(designedPicture(4, 4)).save("small.png"));
    auto png = readFileBytes("small.png");
    for (int i : {16, 20}) png[i] = 0, png[i + 1] = 0x01, png[i + 2] = 0x86, png[i + 3] = 0xa0;
    writeFileBytes("huge.png", png);
    EXPECT_EQ(failureOf([] { platform::loadPicture("huge.png"); }).rfind("huge.png: ", 0), 0u);
}

// Photos of 100 megapixels load: the reader's allocation limit is raised far enough.
TEST_F(Pictures, HundredMegapixelPhotoLoads) {
    QImage photo(10000, 10000, QImage::Format_RGB32);
    photo.fill(qRgb(200, 200, 200));
    ASSERT_TRUE(photo.save("photo.jpg", nullptr, 30));
    photo = QImage();
    const platform::TBitmap loaded = platform::loadPicture("photo.jpg");
    EXPECT_EQ(loaded.Width(), 10000);
    EXPECT_EQ(loaded.Height(), 10000);
    EXPECT_NEAR(loaded.GetScanline(9999)[3 * 9999 + 2], 200, 4);
}

TEST_F(Pictures, GreyPictureIsSavedAsA24BitBmp) {
    // Three pixels a row: one byte of padding in the grey rows, three in the file's rows.
    platform::TPicture picture;
    picture.Assign(greyBitmap(3, 2));
    picture.SaveToFile("A.bmp");
    const auto bytes = readFileBytes("A.bmp");
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 54, bytes.end()),
              (std::vector<std::uint8_t>{13, 13, 13, 14, 14, 14, 15, 15, 15, 0, 0, 0,    // bottom row first
                                         10, 10, 10, 11, 11, 11, 12, 12, 12, 0, 0, 0}));
}
