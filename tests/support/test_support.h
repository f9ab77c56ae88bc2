#pragma once
// What several tests share: a temporary working directory per test, prompts answered from a
// script, pictures as plain pixels, and the slow, obvious reference of every operation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QColor>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>

#include "platform/bmp_file.h"
#include "platform/errors.h"
#include "platform/picture_reader.h"
#include "platform/pixel_store.h"
#include "platform/prompts.h"
#include "platform/stage_folder.h"

// Qt's geometry and colours as a failed comparison prints them.
inline void PrintTo(const QSize& s, std::ostream* out) { *out << s.width() << " x " << s.height(); }
inline void PrintTo(const QRect& r, std::ostream* out) {
    *out << r.width() << " x " << r.height() << " at (" << r.x() << ", " << r.y() << ")";
}
inline void PrintTo(const QColor& c, std::ostream* out) { *out << c.name().toStdString(); }

namespace testing_support {

namespace fs = std::filesystem;

// Runs each test in a fresh temporary directory, removed afterwards: no stage file lands in the
// checkout. Puts back the system calls and the memory a test may have made fail.
class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "edgepipe-test-XXXXXX").string();
        fs::current_path(dir_ = ::mkdtemp(pattern.data()));
    }
    void TearDown() override {
        platform::setWriterCalls({});
        platform::setLockCall(nullptr);
        platform::setAllocationFault(nullptr);
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    fs::path dir() const { return dir_; }

private:
    fs::path dir_, previous_ = fs::current_path();
};

// Records every box: the failures in `errors`, all of them in order in `said`, and whether the busy
// cursor showed when a message came; answers the open dialog from a queue (a file name, or nullopt:
// cancel).
struct ScriptedPrompts : platform::Prompts {
    void message(const std::string& text) override {
        said.push_back(text);
        const QCursor* cursor = QGuiApplication::overrideCursor();
        busy.push_back(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    }
    void error(const std::string& text) override {
        errors.push_back(text);
        said.push_back(text);
    }
    std::optional<std::string> openPicture(const std::string&, const std::string&) override {
        if (answers.empty()) return std::nullopt;
        const std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::vector<std::string> errors, said;
    std::vector<bool> busy;
    std::deque<std::optional<std::string>> answers;
};

// Installs fresh scripted prompts and returns them.
inline ScriptedPrompts& scriptPrompts() {
    auto* prompts = new ScriptedPrompts;
    platform::setPrompts(std::unique_ptr<platform::Prompts>(prompts));
    return *prompts;
}

struct Bgr {
    std::uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Bgr& c) {
    return out << "(b " << int{c.b} << ", g " << int{c.g} << ", r " << int{c.r} << ")";
}

// A picture as plain rows of pixels, for building inputs and computing references by hand.
struct Pixels {
    int width = 0, height = 0;
    std::vector<Bgr> px;
    Pixels() = default;
    Pixels(int w, int h, Bgr fill = {0, 0, 0})
        : width(w), height(h), px(static_cast<std::size_t>(w) * h, fill) {}
    Bgr& at(int x, int y) { return px[static_cast<std::size_t>(y) * width + x]; }
    const Bgr& at(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
};

// Compares two pictures; a difference names the sizes, or how many pixels differ and the first of
// them with both colours, as EXPECT_TRUE(samePixels(actual, expected)) prints it.
inline ::testing::AssertionResult samePixels(const Pixels& actual, const Pixels& expected) {
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure() << "the picture is " << actual.width << " x " << actual.height
                                             << ", expected " << expected.width << " x " << expected.height;
    const auto first = std::mismatch(actual.px.begin(), actual.px.end(), expected.px.begin());
    if (first.first == actual.px.end()) return ::testing::AssertionSuccess();
    const auto at = first.first - actual.px.begin();
    const auto count = std::inner_product(actual.px.begin(), actual.px.end(), expected.px.begin(), 0L,
                                          std::plus<>(), std::not_equal_to<>());
    return ::testing::AssertionFailure()
           << count << " of " << actual.px.size() << " pixels differ, the first at (" << at % actual.width
           << ", " << at / actual.width << "): " << *first.first << " instead of " << *first.second;
}

// Sets a global switch through its setter, which returns the old setting, and puts the old setting
// back when the scope ends, also when an assertion ends the test:
// Switched<imaging::useHelperThread> twoThreads(true);
template <bool (*Set)(bool)>
class Switched {
public:
    explicit Switched(bool on) : old_(Set(on)) {}
    ~Switched() { Set(old_); }
    Switched(const Switched&) = delete;
    Switched& operator=(const Switched&) = delete;

private:
    bool old_;
};

inline Pixels grey(int w, int h, std::uint8_t level) { return Pixels(w, h, {level, level, level}); }

inline platform::TBitmap toBitmap(const Pixels& p) {
    platform::TBitmap bitmap;
    bitmap.SetSize(p.width, p.height);
    for (int y = 0; y < p.height; ++y) std::copy_n(&p.at(0, y).b, 3 * p.width, bitmap.GetScanline(y));
    return bitmap;
}

// Grey bitmaps are read widened to 24 bits, as the operations read them.
inline Pixels toPixels(platform::TBitmap bitmap) {
    bitmap.SetPixelFormat(platform::TPixelFormat::pf24bit);
    Pixels p(bitmap.Width(), bitmap.Height());
    for (int y = 0; y < p.height && p.width; ++y)
        std::copy_n(std::as_const(bitmap).GetScanline(y), 3 * p.width, &p.at(0, y).b);
    return p.px.empty() ? Pixels() : p;
}

inline Pixels randomPixels(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    Pixels p(width, height);
    for (Bgr& c : p.px) c = Bgr{std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random())};
    return p;
}

// An asymmetric "F" on a colour gradient: a flipped row order or swapped channels show at once.
inline Pixels designedPicture(int width, int height) {
    Pixels p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.at(x, y) = {std::uint8_t(40 + 3 * x % 200), std::uint8_t(90 + 5 * y % 150),
                          std::uint8_t(200 - (x + y) % 180)};
    for (int y = height / 5; y < height * 4 / 5; ++y) p.at(width / 4, y) = {10, 250, 30};
    for (int x = width / 4; x < width * 3 / 4; ++x) p.at(x, height / 5) = {10, 250, 30};
    for (int x = width / 4; x < width / 2; ++x) p.at(x, height / 2) = {10, 250, 30};
    return p;
}

// Saves a picture through Qt in `qtFormat`, or in the kind its extension names (".bmp" through the
// program); returns its full path.
inline std::string savePicture(const Pixels& p, const std::string& fileName = "picture.bmp",
                               const char* qtFormat = nullptr) {
    const platform::TBitmap b = toBitmap(p);
    if (!qtFormat && fs::path(fileName).extension() == ".bmp") {
        platform::writeBmp24(b, fileName);
    } else {
        const QImage image(b.GetScanline(0), p.width, p.height, static_cast<qsizetype>(b.Stride()),
                           QImage::Format_BGR888);
        EXPECT_TRUE(image.save(QString::fromStdString(fileName), qtFormat, 100)) << fileName;
    }
    return fs::absolute(fileName).string();
}

// A stage file as the program reads it; its bytes are pinned by the tests of the writer.
inline Pixels stageFile(const std::string& name) { return toPixels(platform::loadPicture(name)); }

// The message of the platform::Error that `action` throws, or "(no failure)".
template <class Action>
std::string failureOf(Action&& action) try {
    action();
    return "(no failure)";
} catch (const platform::Error& e) {
    return e.what();
}

inline std::vector<std::uint8_t> readFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}
inline void writeFileBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
}

// ---- The references, written the plain way, independent of the program's kernels ----

// Each product and the sum fit the 64-bit mantissa of the x87 extended type exactly.
inline std::uint8_t referenceLuma(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return std::uint8_t(int((long double)0.299 * r + (long double)0.587 * g + (long double)0.114 * b));
}

inline Pixels referenceLumaPicture(const Pixels& in) {
    Pixels out(in.width, in.height);
    for (std::size_t i = 0; i < in.px.size(); ++i)
        out.px[i].b = out.px[i].g = out.px[i].r = referenceLuma(in.px[i].r, in.px[i].g, in.px[i].b);
    return out;
}

// The middle of the nine blue values around each pixel (outside cells count 0), by sorting them.
inline Pixels referenceMedian5(const Pixels& in, int passes = 5) {
    Pixels out = in;
    for (int pass = 0; pass < passes; ++pass) {
        const Pixels before = out;
        auto blue = [&](int x, int y) {
            return x < 0 || y < 0 || x >= in.width || y >= in.height ? 0 : before.at(x, y).b;
        };
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                std::uint8_t v[9];
                for (int i = 0; i < 9; ++i) v[i] = blue(x + i % 3 - 1, y + i / 3 - 1);
                std::sort(v, v + 9);
                out.at(x, y) = {v[4], v[4], v[4]};
            }
    }
    return out;
}

// The grey picture, then the Sobel magnitude against the threshold with a square root in double.
inline Pixels referenceEdges(const Pixels& in, int threshold) {
    Pixels out(in.width, in.height);
    for (std::size_t i = 0; i < in.px.size(); ++i)
        out.px[i].b = out.px[i].g = out.px[i].r =
            std::uint8_t((28 * in.px[i].b + 151 * in.px[i].g + 77 * in.px[i].r) >> 8);
    const Pixels g = out;
    auto at = [&](int x, int y) { return int{g.at(x, y).b}; };
    for (int y = 1; y < in.height - 1; ++y)
        for (int x = 1; x < in.width - 1; ++x) {
            const int gv = at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1) - at(x - 1, y - 1) -
                           2 * at(x, y - 1) - at(x + 1, y - 1);
            const int gh = at(x - 1, y - 1) + 2 * at(x - 1, y) + at(x - 1, y + 1) - at(x + 1, y - 1) -
                           2 * at(x + 1, y) - at(x + 1, y + 1);
            out.at(x, y) = grey(1, 1, std::sqrt(double(gv * gv + gh * gh)) <= threshold ? 255 : 0).px[0];
        }
    return out;
}

// The bmpsuite folder, or empty when this checkout has none beside it.
inline fs::path bmpSuite() {
    std::error_code ignored;
    return fs::is_directory(fs::path(EDGEPIPE_BMPSUITE) / "g", ignored) ? fs::path(EDGEPIPE_BMPSUITE)
                                                                        : fs::path();
}

}  // namespace testing_support
