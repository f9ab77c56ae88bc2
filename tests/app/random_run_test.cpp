// A long seeded run of a person's session: pictures of random sizes are loaded, the buttons are
// pressed, the scroll bar moves, stage files are deleted or damaged between presses. After every
// step the window must agree with a plain model of what that step does.
#include <QScrollBar>
#include <array>
#include <iostream>
#include <map>
#include <malloc.h>
#include <random>

#include "app/window_fixture.h"
#include "imaging/median.h"
#include "platform/pixel_store.h"

#if defined(__SANITIZE_ADDRESS__)
#define EDGEPIPE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EDGEPIPE_ASAN 1
#endif
#endif
#ifdef EDGEPIPE_ASAN
// The sanitizer runtime's count of the bytes the program holds (GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Bytes the program holds on the heap right now.
std::size_t heapInUse() {
#ifdef EDGEPIPE_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// What a stage file holds as far as a press that reads it can tell.
enum class StageState { Missing, Readable, Unreadable };

class RandomRun : public WindowTest {
protected:
    void moveThresholdTo(int position) { static_cast<QScrollBar*>(form->ScrollBar1->widget())->setValue(position); }

    std::vector<std::uint8_t> bytesOf(const char* file) const {
        return fs::is_regular_file(file) ? readFileBytes(file) : std::vector<std::uint8_t>{};
    }

    std::mt19937 random{20240611};
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
};

}  // namespace

TEST_F(RandomRun, ThousandsOfStepsKeepEveryPromise) {
    constexpr int kSteps = 3000;
    constexpr int kLargestSide = 48;
    Pixels model;         // the source view
    Pixels shown;         // the result view
    int threshold = form->ScrollBar1->Position();
    std::map<std::string, StageState> stage = {
        {"A.bmp", StageState::Missing}, {"B.bmp", StageState::Missing}, {"C.bmp", StageState::Missing}};
    int largest = 0;  // side of the largest picture loaded so far
    std::size_t medianCapacity = 0;
    std::vector<std::size_t> heapAtThousands;
    std::map<std::string, int> counts;

    for (int step = 0; step < kSteps; ++step) {
        const int action = step == 0 ? 0 : pick(0, 99);
        SCOPED_TRACE("step " + std::to_string(step) + ", action " + std::to_string(action));
        prompts->errors.clear();
        prompts->messages.clear();
        const auto before = std::map<std::string, std::vector<std::uint8_t>>{
            {"A.bmp", bytesOf("A.bmp")}, {"B.bmp", bytesOf("B.bmp")}, {"C.bmp", bytesOf("C.bmp")}};
        const char* wrote = nullptr;        // the stage file this step writes, if it succeeds
        const char* mustFailOn = nullptr;   // the stage file this step must fail on

        if (action < 10) {  // LOAD a new picture: tiny, random, or larger than any before
            int width, height;
            switch (pick(0, 4)) {
                case 0: width = height = 1; break;
                case 1: width = height = 2; break;
                case 2: width = height = std::min(largest + 1, kLargestSide); break;
                default: width = pick(1, 24); height = pick(1, 24);
            }
            largest = std::max({largest, width, height});
            const Pixels picture = randomPixels(width, height, static_cast<unsigned>(step));
            load(savePicture(picture, pick(0, 1) ? "next.bmp" : "next.png"));
            EXPECT_TRUE(prompts->errors.empty()) << prompts->errors.front();
            model = picture;
            ++counts["load"];
        } else if (action < 13) {  // LOAD a damaged file: refused, nothing changes
            writeFileBytes("damaged.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
            load((dir() / "damaged.png").string());
            EXPECT_EQ(prompts->errors.size(), 1u);
            ++counts["refused load"];
        } else if (action < 33) {  // 灰階
            click(form->Button4);
            shown = referenceLumaPicture(model);
            wrote = "A.bmp";
            ++counts["grey"];
        } else if (action < 53) {  // 濾波: needs a readable A.bmp
            click(form->Button5);
            if (stage["A.bmp"] == StageState::Readable) {
                shown = referenceMedian5(model);
                wrote = "B.bmp";
                EXPECT_GE(imaging::medianPlane().capacity(),
                          static_cast<std::size_t>(model.width + 2) * (model.height + 2));
            } else {
                mustFailOn = "A.bmp";
            }
            ++counts["filter"];
        } else if (action < 73) {  // SOBEL: needs a readable B.bmp, works on the result view
            click(form->Button1);
            if (stage["B.bmp"] == StageState::Readable) {
                shown = referenceEdges(shown, threshold);
                wrote = "C.bmp";
            } else {
                mustFailOn = "B.bmp";
            }
            ++counts["sobel"];
        } else if (action < 85) {  // the scroll bar: a preview of the source's edges, no file
            const int position = pick(0, 255);
            moveThresholdTo(position);
            if (position != threshold) shown = referenceEdges(model, position);
            threshold = position;
            EXPECT_EQ(form->Edit1->Text(), std::to_string(threshold));
            ++counts["scroll"];
        } else if (action < 91) {  // delete a stage file
            const char* file = std::array{"A.bmp", "B.bmp", "C.bmp"}[pick(0, 2)];
            fs::remove(file);
            stage[file] = StageState::Missing;
            ++counts["delete"];
        } else {  // damage a stage file: cut it short, break its signature, or change one pixel byte
            const char* file = std::array{"A.bmp", "B.bmp", "C.bmp"}[pick(0, 2)];
            std::vector<std::uint8_t> bytes = bytesOf(file);
            if (stage[file] != StageState::Missing && bytes.size() > 54) {
                switch (pick(0, 2)) {
                    case 0: bytes.resize(bytes.size() - 1); stage[file] = StageState::Unreadable; break;
                    case 1: bytes[0] = 'X'; stage[file] = StageState::Unreadable; break;
                    default: bytes[54] ^= 0x5A; break;  // still a picture, read as one
                }
                writeFileBytes(file, bytes);
            }
            ++counts["damage"];
        }

        // The invariants a person relies on, after every step.
        ASSERT_EQ(source(), model) << "the source view";
        ASSERT_EQ(result(), shown) << "the result view";
        if (wrote) {
            EXPECT_TRUE(prompts->errors.empty()) << prompts->errors.front();
            ASSERT_EQ(parseStageFile(wrote), shown) << wrote << " differs from the result view";
            stage[wrote] = StageState::Readable;
        }
        if (mustFailOn) {
            ASSERT_EQ(prompts->errors.size(), 1u);
            EXPECT_EQ(prompts->errors[0].rfind(std::string(mustFailOn) + ": ", 0), 0u) << prompts->errors[0];
        }
        const bool stepTouchesFiles = action >= 85;  // the deleting and damaging steps
        if (!stepTouchesFiles) {
            for (const auto& [file, bytes] : before) {
                if (file == (wrote ? wrote : "")) continue;
                EXPECT_EQ(bytesOf(file.c_str()), bytes) << file << " changed";
            }
        }
        // The median plane only grows.
        EXPECT_GE(imaging::medianPlane().capacity(), medianCapacity);
        medianCapacity = imaging::medianPlane().capacity();
        if ((step + 1) % 1000 == 0) {
            platform::releaseStore();
            heapAtThousands.push_back(heapInUse());
        }
    }

    // Memory: what is held after the second thousand steps is what was held after the first,
    // give or take the planes growing with the largest picture and the allocator's own rounding.
    ASSERT_EQ(heapAtThousands.size(), 3u);
    std::cout << "random run: heap in use after 1000, 2000, 3000 steps: " << heapAtThousands[0] << ", "
              << heapAtThousands[1] << ", " << heapAtThousands[2] << " bytes; steps:";
    for (const auto& [what, count] : counts) std::cout << " " << what << " " << count;
    std::cout << "\n";
    for (std::size_t i = 1; i < heapAtThousands.size(); ++i)
        EXPECT_LT(static_cast<long long>(heapAtThousands[i]) - static_cast<long long>(heapAtThousands[i - 1]), 64 * 1024)
            << "the heap grew from one thousand steps to the next";
}
