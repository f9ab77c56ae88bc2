// The buttons through real clicks: the stage files and views against the references, the
// preconditions, the empty picture, the threshold preview feeding SOBEL, and faults while a press
// or LOAD runs: stage files that cannot be written or read, memory running short.
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "app/window_fixture.h"
#include "imaging/parallel.h"

using namespace testing_support;
using Pipeline = WindowTest;

namespace {

const Errors kShortOfMemory{"not enough memory; close other programs or work on a smaller picture"};

// Every file in `folder` with its bytes: a changed stage file or a file left behind shows here.
std::map<std::string, std::vector<std::uint8_t>> contents(const fs::path& folder) {
    std::map<std::string, std::vector<std::uint8_t>> entries;
    for (const auto& entry : fs::directory_iterator(folder))
        entries[entry.path().filename()] = readFileBytes(entry);
    return entries;
}

// In a median band of a picture 9 pixels wide, each thread waits in its first band until the
// other is in one too, so that both work on the job; then the band of `failingThread` (1: the
// helper, 2: the caller) runs short of memory.
std::atomic<int> failingThread{0};
std::atomic<int> threadsInBand{0};
std::thread::id callerThread;
bool bandRunsShort(std::size_t size) {
    if (size >= 9 * 80) return false;  // a picture's pixels; in 濾波, what is smaller is a band's rows
    const int self = std::this_thread::get_id() == callerThread ? 2 : 1;
    threadsInBand |= self;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (threadsInBand != 3 && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    return self == failingThread;
}

}  // namespace

// With no picture, 濾波 warns and runs on the empty picture (灰階 and SOBEL: the window's tests),
// and SOBEL refuses its stage file without changing the threshold read-out. 濾波 needs an A.bmp,
// of any picture; the threshold preview shows the loaded picture's edges and feeds SOBEL. (What
// each press writes and shows: the fault test, before each fault.)
TEST_F(Pipeline, ButtonsNeedTheirStageFilesWriteThemAndThePreviewFeedsSobel) {
    savePicture(randomPixels(4, 7, 1), "A.bmp");
    EXPECT_EQ(press(form->Button5), Errors{});
    EXPECT_EQ(prompts->said, Errors{"請載入圖檔!!"});
    EXPECT_TRUE(samePixels(result(), Pixels()));
    EXPECT_EQ(press(form->Button1), Errors{"B.bmp: empty picture (0 x 0 pixels)"});
    EXPECT_EQ(form->Edit1->Text(), "");
    const Pixels picture = designedPicture(23, 17);
    load(savePicture(picture, "photo.png"));
    EXPECT_EQ(press(form->Button5), Errors{});
    form->ScrollBar1->SetPosition(200);
    EXPECT_TRUE(samePixels(result(), referenceEdges(picture, 200)));
    EXPECT_EQ(press(form->Button1), Errors{});
    EXPECT_TRUE(samePixels(stageFile("C.bmp"), referenceEdges(referenceEdges(picture, 200), 200)));
}

// Before each fault, every press writes its stage file and shows it, through writes interrupted and
// cut into pieces. Each fault fails its press, or LOAD, with one message naming the stage file (or
// the memory) and the reason; no file changes or is left behind, the source view is kept, and the
// result view shows the new result when only the save failed, else the old one. (Each of the
// writer's system calls failing in turn: Files.ReplacingAStageFileKeepsTheOldOneWhenAnyStepFails. A
// work copy not released on a failed press is the sanitizer build's leak check to find.)
TEST_F(Pipeline, StageFileFaultsNameTheFileAndChangeNoFile) {
    const Pixels picture = designedPicture(13, 9);
    const Pixels large = designedPicture(160, 140);
    savePicture(large, "large.bmp");
    load(savePicture(picture));
    // Files are written at most 7 bytes a call, every other call interrupted, until `left` bytes
    // have gone out; then a write fails with "No space left on device". With `nothing` the disk is
    // full at once and a write writes nothing and says no error, as a full disk may. A writer that
    // tries again more than once, once the files it replaced before are freed, fails the test.
    static std::size_t left;
    static bool nothing;
    static bool interrupt;
    static int refusals;
    platform::setWriterCalls({.write = [](int fd, const void* data, size_t size) -> ssize_t {
        interrupt = !interrupt;
        if (interrupt) {
            errno = EINTR;
            return -1;
        }
        if (left > 0 && !nothing) {
            const size_t n = std::min({size, left, size_t{7}});
            left -= n;
            return ::write(fd, data, n);
        }
        EXPECT_LE(++refusals, 2) << "a write the full disk refused is tried again and again";
        errno = ENOSPC;
        return nothing && refusals == 1 ? 0 : -1;
    }});
    struct Fault {
        int press;  // 0 灰階, 1 濾波, 2 SOBEL, 3 LOAD
        std::function<void()> make;
        std::string message;
    };
    const std::string full = ": cannot write in " + dir().string() + " (No space left on device)";
    const Fault faults[] = {
        {0,
         [this] {
             fs::create_directory("gone");
             fs::current_path("gone");
             fs::remove(dir() / "gone");
         },
         "A.bmp: cannot write in the working folder (No such file or directory)"},
        {2, [] { left = fs::file_size("C.bmp") - 1; }, "C.bmp" + full},  // all but the last byte
        {2, [] { nothing = true; }, "C.bmp" + full},
        {1, [] { nothing = true; }, "B.bmp" + full},  // while A.bmp is read meanwhile
        {1, [] { fs::remove("A.bmp"); }, "A.bmp: no such file in " + dir().string() + "; 灰階 makes it"},
        {2, [] { fs::remove("B.bmp"); }, "B.bmp: no such file in " + dir().string() + "; 濾波 makes it"},
        {2, [] { writeFileBytes("B.bmp", {}); }, "B.bmp: cannot read as a BMP picture ("},
        {1,
         [] {  // the stage file read meanwhile fails as well: its failure is the one told
             writeFileBytes("A.bmp", {});
             nothing = true;
         },
         "A.bmp: cannot read as a BMP picture ("},
        {3,
         [this] {
             prompts->answers.push_back("large.bmp");
             platform::releaseStore();
             platform::setAllocationFault([](std::size_t) { return true; });
         },
         kShortOfMemory[0]},
    };
    platform::TButton* const presses[] = {form->Button4, form->Button5, form->Button1, form->Button2};
    const char* const files[] = {"A.bmp", "B.bmp", "C.bmp"};
    const Pixels smooth = referenceMedian5(picture);  // of the loaded picture, not of A.bmp
    const Pixels made[] = {referenceLumaPicture(picture), smooth, referenceEdges(smooth, 128)};
    const Pixels wanted[] = {made[0], made[1], referenceEdges(made[2], 128)};  // after the three
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.message);
        fs::current_path(dir());
        left = SIZE_MAX;
        nothing = false;
        refusals = 0;
        platform::setAllocationFault(nullptr);
        for (int p = 0; p < 3; ++p) {
            ASSERT_EQ(press(presses[p]), Errors{});
            EXPECT_TRUE(samePixels(stageFile(files[p]), made[p])) << files[p];
            EXPECT_TRUE(samePixels(result(), made[p])) << files[p];
        }
        const Pixels shown = result();
        fault.make();
        const auto before = contents(dir());
        const Errors errors = press(presses[fault.press]);
        ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
        EXPECT_THAT(errors[0], testing::StartsWith(fault.message));
        EXPECT_TRUE(contents(dir()) == before) << "a file changed or was left";
        EXPECT_TRUE(samePixels(toPixels(form->Image1->Picture->Bitmap()), picture));
        const bool saveFails = fault.message.find("cannot write") != std::string::npos;
        EXPECT_TRUE(samePixels(result(), saveFails ? wanted[fault.press] : shown));
    }
    // Short only of the blocks kept ready for the previews, LOAD loads all the same.
    static std::atomic<int> blocks;
    platform::setAllocationFault([](std::size_t size) { return size == 480 * 140 && ++blocks == 3; });
    prompts->answers.push_back("large.bmp");
    EXPECT_EQ(press(form->Button2), Errors{});
    EXPECT_TRUE(samePixels(toPixels(form->Image1->Picture->Bitmap()), large));
}

// A band short of memory fails its press with the store's message: the preview's, once both threads
// are out of the job, on either thread. The presses that write run their bands on the caller alone;
// 濾波 then leaves A.bmp in the result view, SOBEL its threshold in the read-out. The next press works.
TEST_F(Pipeline, ABandShortOfMemoryOnEitherThreadFailsOnlyItsPress) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: no helper thread";
    load(savePicture(designedPicture(9, 80)));
    ASSERT_EQ(press(form->Button4), Errors{});
    const Switched<imaging::splitEveryJob> split(true);
    callerThread = std::this_thread::get_id();
    platform::setAllocationFault(bandRunsShort);
    for (const int thread : {1, 2}) {
        SCOPED_TRACE(thread == 1 ? "on the helper" : "on the caller");
        failingThread = thread;
        threadsInBand = 0;
        *prompts = ScriptedPrompts();
        form->ScrollBar1->SetPosition(100 + thread);
        EXPECT_EQ(prompts->errors, kShortOfMemory);
        EXPECT_EQ(threadsInBand.load(), 3) << "both threads were in the job";
    }
    failingThread = 0;
    ASSERT_EQ(press(form->Button5), Errors{});  // B.bmp, which the failing 濾波 must keep
    form->ScrollBar1->SetPosition(100);         // the preview in the result view
    failingThread = 2;
    threadsInBand = 3;  // the helper is not waited for
    const auto before = contents(dir());
    EXPECT_EQ(press(form->Button5), kShortOfMemory);
    EXPECT_TRUE(contents(dir()) == before) << "a file changed or was left";
    EXPECT_TRUE(samePixels(result(), stageFile("A.bmp"))) << "the result view shows A.bmp";
    failingThread = 0;
    EXPECT_EQ(press(form->Button5), Errors{});
    form->Edit1->SetText("typed");
    failingThread = 2;
    EXPECT_EQ(press(form->Button1), kShortOfMemory);
    EXPECT_EQ(form->Edit1->Text(), "100") << "SOBEL shows its threshold once B.bmp is read, edges or not";
}

// The writer follows the rows as they are made: with every band of 濾波 and SOBEL held up, each
// stage file is still the press's whole result.
TEST_F(Pipeline, StageFilesWaitForRowsMadeLate) {
    const Pixels picture = designedPicture(9, 300);
    load(savePicture(picture));
    platform::setAllocationFault([](std::size_t size) {
        if (size < 9 * 300) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a band's rows
        return false;
    });
    for (platform::TButton* button : {form->Button4, form->Button5, form->Button1})
        EXPECT_EQ(press(button), Errors{});
    platform::setAllocationFault(nullptr);
    const Pixels smooth = referenceMedian5(picture);
    EXPECT_TRUE(samePixels(stageFile("B.bmp"), smooth));
    EXPECT_TRUE(samePixels(stageFile("C.bmp"), referenceEdges(smooth, 128)));
}
