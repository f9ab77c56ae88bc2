#pragma once
// What the tests share: a temporary working directory per test, prompts answered from a script,
// small designed pictures, and a slow, obvious reference for every operation.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/prompts.h"

class QImage;

namespace testing_support {

// Runs each test in a fresh temporary directory that is removed afterwards, so stage files never
// land in the checkout.
class InTempDir : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

// Records every box and answers the open dialog from a queue (a file name, or nullopt: cancel).
class ScriptedPrompts : public platform::Prompts {
public:
    void message(const std::string& text) override { messages.push_back(text); }
    void error(const std::string& text) override { errors.push_back(text); }
    std::optional<std::string> openPicture(const std::string& filter, const std::string&) override {
        lastFilter = filter;
        ++dialogsOpened;
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::deque<std::optional<std::string>> answers;
    std::string lastFilter;
    int dialogsOpened = 0;
};

// Installs a ScriptedPrompts for the life of the object.
class PromptScript {
public:
    PromptScript();
    ~PromptScript();
    ScriptedPrompts& operator*() { return *prompts_; }
    ScriptedPrompts* operator->() { return prompts_; }

private:
    ScriptedPrompts* prompts_;
    std::unique_ptr<platform::Prompts> previous_;
};

struct Bgr {
    std::uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};

// A picture as plain rows of pixels, for building inputs and computing references by hand.
struct Pixels {
    int width = 0, height = 0;
    std::vector<Bgr> px;
    Pixels() = default;
    Pixels(int w, int h, Bgr fill = {0, 0, 0}) : width(w), height(h), px(static_cast<std::size_t>(w) * h, fill) {}
    Bgr& at(int x, int y) { return px[static_cast<std::size_t>(y) * width + x]; }
    const Bgr& at(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Pixels&) const = default;
};

// Failures print the picture's size and its first pixels rather than raw bytes.
void PrintTo(const Pixels& pixels, std::ostream* out);

platform::TBitmap toBitmap(const Pixels& pixels);
// The same picture as a Qt image, for saving it in the kinds Qt writes (PNG, JPEG, BMP).
QImage toQImage(const Pixels& pixels);
Pixels toPixels(const platform::TBitmap& bitmap);
Pixels randomPixels(int width, int height, unsigned seed);
// An asymmetric "F" on a colour gradient: a flipped row order or swapped channels show at once.
Pixels designedPicture(int width, int height);

// Reads a 24-bit bottom-up BMP file byte by byte, independently of the program's reader.
// Fails the test on any other layout.
Pixels parseStageFile(const std::filesystem::path& path);

// The message of the platform::Error that `action` throws, or "(no failure)".
std::string failureOf(const std::function<void()>& action);

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Reference computations, written the plain way, independent of the program's kernels.
std::uint8_t referenceLuma(std::uint8_t r, std::uint8_t g, std::uint8_t b);  // 80-bit extended sum
Pixels referenceLumaPicture(const Pixels& in);
Pixels referenceMedian5(const Pixels& in);  // nine values sorted by exchange; outside cells 0
Pixels referenceEdges(const Pixels& in, int threshold);  // square root in double

// A disk that fills up: while it lives, every write of a stage file fails with "No space left on
// device" once `budget` bytes have gone out. The system's write comes back when it goes.
class FullDiskAfter {
public:
    explicit FullDiskAfter(std::size_t budget);
    ~FullDiskAfter();
    FullDiskAfter(const FullDiskAfter&) = delete;
    FullDiskAfter& operator=(const FullDiskAfter&) = delete;
};

// The bmpsuite folder, or empty when this checkout has none beside it.
std::filesystem::path bmpSuite();

}  // namespace testing_support
