// Damaged, doubtful and mislabelled picture files through LOAD: each loads or is refused with a
// message naming the file and the reason; a refusal leaves the source view as it was, and the
// window goes on working either way.
#include <iostream>

#include "app/window_fixture.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

enum class Expect { LoadOrRefuse, Refuse };

struct BadFile {
    std::string name;  // saved under this name, or a path into the BMP suite
    std::vector<std::uint8_t> bytes;
    Expect expect = Expect::LoadOrRefuse;
};

std::vector<std::uint8_t> seed(const char* name) {
    // The fuzzer's seeds are one valid small picture of each kind behind a selector byte.
    std::vector<std::uint8_t> bytes = readFileBytes(fs::path(EDGEPIPE_SOURCE_DIR) / "fuzz" / "seeds" / name);
    bytes.erase(bytes.begin());
    return bytes;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBig32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
void putLittle(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The same file announcing far more pixels than the loader accepts.
std::vector<std::uint8_t> withHugeDimensions(std::vector<std::uint8_t> b, const std::string& kind) {
    if (kind == "bmp") {
        putLittle(b, 18, 100000, 4);
        putLittle(b, 22, 100000, 4);
    } else if (kind == "png") {  // IHDR holds width and height big-endian, then its CRC
        putBig32(b, 16, 100000);
        putBig32(b, 20, 100000);
        putBig32(b, 29, crc32(&b[12], 17));
    } else if (kind == "jpg") {  // the start-of-frame marker: height, then width, big-endian
        for (std::size_t i = 0; i + 8 < b.size(); ++i)
            if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
                b[i + 5] = b[i + 6] = b[i + 7] = b[i + 8] = 0xFF;
                break;
            }
    } else if (kind == "gif") {  // the logical screen and the first image, little-endian
        putLittle(b, 6, 0xFFFF, 2);
        putLittle(b, 8, 0xFFFF, 2);
        for (std::size_t i = 13; i + 9 < b.size(); ++i)
            if (b[i] == 0x2C) {
                putLittle(b, i + 5, 0xFFFF, 2);
                putLittle(b, i + 7, 0xFFFF, 2);
                break;
            }
    }
    return b;
}

std::vector<BadFile> generatedBadFiles() {
    struct Kind {
        std::string extension;
        std::vector<std::uint8_t> valid;
    };
    const std::vector<Kind> kinds = {{"bmp", seed("bmp-stage-3x2")},
                                     {"png", seed("png-rgb-5x4")},
                                     {"jpg", seed("jpg-baseline-9x7")},
                                     {"gif", seed("gif-transparent-3x2")}};
    std::vector<BadFile> files;
    for (const Kind& kind : kinds) {
        const std::string stem = kind.extension + "-";
        const std::vector<std::uint8_t>& v = kind.valid;
        files.push_back({stem + "empty." + kind.extension, {}, Expect::Refuse});
        files.push_back({stem + "one-byte." + kind.extension, {v.begin(), v.begin() + 1}, Expect::Refuse});
        files.push_back({stem + "header-only." + kind.extension, {v.begin(), v.begin() + 13}, Expect::Refuse});
        files.push_back({stem + "half." + kind.extension, {v.begin(), v.begin() + v.size() / 2}, Expect::LoadOrRefuse});
        files.push_back({stem + "last-byte-missing." + kind.extension, {v.begin(), v.end() - 1}, Expect::LoadOrRefuse});
        files.push_back({stem + "huge." + kind.extension, withHugeDimensions(v, kind.extension), Expect::Refuse});
        for (const Kind& other : kinds)
            if (other.extension != kind.extension)
                files.push_back({stem + "named-as." + other.extension, v, Expect::Refuse});
    }
    // Extensions that select a kind by their other spellings, and a case the name's case must not hide.
    files.push_back({"png-named-as.JPEG", kinds[1].valid, Expect::Refuse});
    files.push_back({"bmp-named-as.jfif", kinds[0].valid, Expect::Refuse});
    files.push_back({"gif-named-as.dib", kinds[3].valid, Expect::Refuse});
    files.push_back({"png-named-as.txt", kinds[1].valid, Expect::Refuse});  // a kind the loader does not know
    return files;
}

class BadFiles : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        load(savePicture(previous, "previous.bmp"));
        ASSERT_EQ(source(), previous);
    }

    // LOAD of `path`: a refusal names the file and a reason and keeps the previous picture; then
    // every button works on whatever the source view holds.
    void loadAndCheck(const std::string& path, Expect expect) {
        SCOPED_TRACE(path);
        prompts->errors.clear();
        prompts->messages.clear();
        load(path);
        if (prompts->errors.empty()) {
            ++loaded;
            EXPECT_EQ(expect, Expect::LoadOrRefuse) << "loaded a file that must be refused";
            EXPECT_GT(source().width, 0);
            EXPECT_TRUE(form->Image1->Stretch());
        } else {
            ++refused;
            ASSERT_EQ(prompts->errors.size(), 1u);
            const std::string& message = prompts->errors[0];
            EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
            EXPECT_GT(message.size(), path.size() + 2) << "no reason given";
            EXPECT_EQ(source(), previous) << "a refused file changed the source view";
        }
        EXPECT_TRUE(prompts->messages.empty());
        expectEveryButtonWorks();
        if (source() != previous) load(dir() / "previous.bmp");
        ASSERT_EQ(source(), previous);
    }

    void expectEveryButtonWorks() {
        const Pixels picture = source();
        prompts->errors.clear();
        click(form->Button4);
        click(form->Button5);
        click(form->Button1);
        EXPECT_TRUE(prompts->errors.empty()) << prompts->errors.front();
        EXPECT_EQ(parseStageFile(dir() / "A.bmp"), referenceLumaPicture(picture));
        EXPECT_EQ(parseStageFile(dir() / "C.bmp"), referenceEdges(referenceMedian5(picture), 128));
        EXPECT_EQ(result(), referenceEdges(referenceMedian5(picture), 128));
    }

    void load(const fs::path& path) { WindowTest::load(path.string()); }

    const Pixels previous = designedPicture(9, 6);
    int loaded = 0;
    int refused = 0;
};

}  // namespace

TEST_F(BadFiles, EveryDoubtfulAndInvalidSuitePicture) {
    if (bmpSuite().empty()) GTEST_SKIP() << "no ../shared/testdata/bmpsuite beside this checkout";
    int tried = 0;
    for (const char* set : {"q", "b", "x"}) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(bmpSuite() / set)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            loadAndCheck(file.string(), Expect::LoadOrRefuse);
            ++tried;
        }
    }
    EXPECT_EQ(tried, 64);
    std::cout << "bmpsuite q, b, x: " << tried << " files, " << loaded << " loaded, " << refused << " refused\n";
    RecordProperty("loaded", loaded);
    RecordProperty("refused", refused);
}

TEST_F(BadFiles, TruncatedEmptyHugeAndMislabelledFilesOfEveryKind) {
    const std::vector<BadFile> files = generatedBadFiles();
    for (const BadFile& file : files) {
        writeFileBytes(dir() / file.name, file.bytes);
        loadAndCheck((dir() / file.name).string(), file.expect);
    }
    std::cout << "made-up bad files: " << files.size() << " files, " << loaded << " loaded, " << refused
              << " refused\n";
    RecordProperty("loaded", loaded);
    RecordProperty("refused", refused);
}

// The originals the bad files are made from do load, so the refusals above are about the damage.
TEST_F(BadFiles, TheUndamagedOriginalsLoad) {
    for (const char* name : {"bmp-stage-3x2", "png-rgb-5x4", "jpg-baseline-9x7", "gif-transparent-3x2"}) {
        const std::string extension = std::string(name).substr(0, 3);
        writeFileBytes(dir() / ("original." + extension), seed(name));
        prompts->errors.clear();
        load(dir() / ("original." + extension));
        EXPECT_TRUE(prompts->errors.empty()) << name << ": " << prompts->errors.front();
        EXPECT_NE(source(), previous) << name;
    }
}
