// The buttons through real clicks: the stage files and views against the references, the
// preconditions, the empty-picture warnings, the threshold preview, and faults while stage files
// are written or read.
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "app/window_fixture.h"
#include "imaging/parallel.h"

using namespace testing_support;
using Pipeline = WindowTest;

// 濾波 needs a readable A.bmp (one of another picture will do) and SOBEL a readable B.bmp; then
// each press writes its stage file and shows it, and the preview feeds SOBEL.
TEST_F(Pipeline, ButtonsNeedTheirStageFilesWriteThemAndThePreviewFeedsSobel) {
    const Pixels picture = designedPicture(23, 17);
    const Pixels smooth = referenceMedian5(picture);  // of the source, not of A.bmp
    load(savePicture(picture, "photo.png"));
    load(std::nullopt);  // cancelled: keeps the picture
    EXPECT_TRUE(samePixels(source(), picture));
    EXPECT_TRUE(form->Image1->Stretch());
    form->Image2->Picture->Assign(toBitmap(grey(3, 3, 7)));
    const std::string in = " in " + fs::current_path().string() + "; ";
    EXPECT_EQ(press(form->Button5), Errors{"A.bmp: no such file" + in + "灰階 makes it"});
    EXPECT_EQ(press(form->Button1), Errors{"B.bmp: no such file" + in + "濾波 makes it"});
    EXPECT_TRUE(samePixels(result(), grey(3, 3, 7)));
    EXPECT_FALSE(form->Image2->Stretch());
    EXPECT_FALSE(fs::exists("B.bmp"));
    EXPECT_FALSE(fs::exists("C.bmp"));
    EXPECT_EQ(form->Edit1->Text(), "") << "the read-out changes only once the precondition holds";
    savePicture(randomPixels(4, 7, 1), "A.bmp");
    for (const auto& [button, file, shown] : {std::tuple{form->Button5, "B.bmp", smooth},
                                              {form->Button4, "A.bmp", referenceLumaPicture(picture)},
                                              {form->Button5, "B.bmp", smooth},
                                              {form->Button1, "C.bmp", referenceEdges(smooth, 128)}}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(press(button), Errors{});
        EXPECT_TRUE(samePixels(stageFile(file), shown));
        EXPECT_TRUE(samePixels(result(), shown));
        EXPECT_TRUE(form->Image2->Stretch());
        EXPECT_EQ(prompts->messages, Errors{});
    }
    EXPECT_EQ(form->Edit1->Text(), "128");
    const auto smoothFile = readFileBytes("B.bmp");
    fs::remove("C.bmp");
    form->Image2->SetStretch(false);
    moveThresholdTo(200);  // the preview: edges of the source picture, no file, no box, stretch as it was
    EXPECT_TRUE(samePixels(result(), referenceEdges(picture, 200)));
    EXPECT_FALSE(form->Image2->Stretch());
    EXPECT_FALSE(fs::exists("C.bmp"));
    EXPECT_EQ(form->Edit1->Text(), "200");
    EXPECT_EQ(readFileBytes("B.bmp"), smoothFile);
    EXPECT_EQ(prompts->said, Errors{});
    EXPECT_EQ(press(form->Button1), Errors{});
    EXPECT_TRUE(samePixels(stageFile("C.bmp"), referenceEdges(referenceEdges(picture, 200), 200)));
    EXPECT_TRUE(samePixels(source(), picture)) << "no operation writes to the source view";
}

// With no picture loaded each press warns, then runs on the empty picture.
TEST_F(Pipeline, EmptyPictureWarnsAndTheOperationsStillRun) {
    EXPECT_EQ(press(form->Button4), Errors{});
    EXPECT_EQ(prompts->messages, Errors(2, "請載入圖檔!!"));  // once in each half of 灰階
    EXPECT_TRUE(samePixels(result(), Pixels()));
    EXPECT_TRUE(form->Image2->Stretch());
    EXPECT_EQ(readFileBytes("A.bmp").size(), 54u);
    EXPECT_EQ(press(form->Button5), Errors{"A.bmp: empty picture (0 x 0 pixels)"});
    for (const auto& [button, needs, writes] :
         {std::tuple{form->Button5, "A.bmp", "B.bmp"}, {form->Button1, "B.bmp", "C.bmp"}}) {
        savePicture(randomPixels(4, 4, 1), needs);
        EXPECT_EQ(press(button), Errors{});
        EXPECT_EQ(prompts->messages, Errors{"請載入圖檔!!"});
        EXPECT_TRUE(samePixels(result(), Pixels())) << writes;
        EXPECT_EQ(readFileBytes(writes).size(), 54u) << writes;
    }
    EXPECT_EQ(form->Edit1->Text(), "128");
    prompts->said.clear();
    moveThresholdTo(10);
    EXPECT_TRUE(samePixels(result(), Pixels()));
    EXPECT_EQ(prompts->said, Errors{});
    EXPECT_EQ(form->Edit1->Text(), "10");
}

// Each fault makes one press fail: one message naming the stage file and the reason, no file
// changed or left behind, the source view kept, and the result view showing the new result when
// only the save failed or the old one when a read failed. With the fault gone, every press works,
// through a write that is interrupted and cut into small pieces. A work copy or buffer not released
// on a failed press is the sanitizer build's leak check to find. (Each of the writer's system
// calls failing in turn: Files.ReplacingAStageFileKeepsTheOldOneWhenAnyStepFails.)
TEST_F(Pipeline, StageFileFaultsNameTheFileAndChangeNoFile) {
    const Pixels picture = designedPicture(13, 9);
    platform::TButton* const buttons[] = {form->Button4, form->Button5, form->Button1};
    load(savePicture(picture));
    for (platform::TButton* button : buttons) ASSERT_EQ(press(button), Errors{});
    // Every entry with its bytes: a changed stage file or a temporary file left shows here.
    auto contents = [&] {
        std::map<std::string, std::vector<std::uint8_t>> entries;
        for (const auto& e : fs::directory_iterator(dir()))
            entries[e.path().filename()] =
                e.is_regular_file() ? readFileBytes(e.path()) : std::vector<std::uint8_t>{};
        return entries;
    };
    const auto folderGone = [this] {
        fs::create_directory("gone");
        fs::current_path("gone");
        fs::remove(dir() / "gone");
    };
    struct Fault {
        int press;  // 0 灰階, 1 濾波, 2 SOBEL
        std::function<void()> make;
        std::string message;
    };
    const std::string files[] = {"A.bmp", "B.bmp", "C.bmp"};
    std::vector<Fault> faults = {
        {0, folderGone, "A.bmp: cannot write in the working folder (No such file or directory)"}};
    for (int s = 0; s < 3; ++s) {
        const std::string file = files[s];
        const std::string full = file + ": cannot write in " + dir().string() + " (No space left on device)";
        for (const std::size_t budget :
             {std::size_t{0}, std::size_t{1}, std::size_t{53}, fs::file_size(file) - 1})
            faults.push_back({s, [=] { fillDiskAfter(budget); }, full});
        faults.push_back({s, [=] { fillDiskAfter(54, true); }, full});
    }
    for (int s = 1; s < 3; ++s)  // the stage file the press reads, emptied (the reader's refusals: Files)
        faults.push_back({s, [=] { writeFileBytes(files[s - 1], {}); },
                          files[s - 1] + ": cannot read as a BMP picture ("});
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.message + " on press " + std::to_string(fault.press));
        const Pixels shown = result();
        const Pixels wanted[] = {referenceLumaPicture(picture), referenceMedian5(picture),
                                 referenceEdges(shown, 128)};
        const bool readFails = fault.message.find("cannot write") == std::string::npos;
        fault.make();
        const auto before = contents();
        const Errors errors = press(buttons[fault.press]);
        ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
        EXPECT_TRUE(errors[0].starts_with(fault.message)) << errors[0];
        EXPECT_TRUE(contents() == before) << "a file changed or was left";
        EXPECT_TRUE(samePixels(source(), picture));
        EXPECT_TRUE(samePixels(result(), readFails ? shown : wanted[fault.press]));
        fs::current_path(dir());
        fillDiskAfter(SIZE_MAX);
        for (const std::string& file : files) fs::remove_all(file);
        for (platform::TButton* button : buttons) ASSERT_EQ(press(button), Errors{});
        EXPECT_TRUE(samePixels(stageFile("C.bmp"), referenceEdges(wanted[1], 128)));
    }
}

namespace {

const Errors kShortOfMemory{"not enough memory; close other programs or work on a smaller picture"};

// In a median band of a picture 9 pixels wide, each thread waits in its first band until the
// other is in one too, so that both work on the job; then the band of `failingThread` (1: the
// helper, 2: the caller) runs short of memory.
std::atomic<int> failingThread{0};
std::atomic<int> threadsInBand{0};
std::thread::id callerThread;
bool bandRunsShort(std::size_t size) {
    if (size != (9 + 2) * 14) return false;
    const int self = std::this_thread::get_id() == callerThread ? 2 : 1;
    threadsInBand |= self;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (threadsInBand != 3 && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    return self == failingThread;
}

}  // namespace

// A band short of memory fails its press with the store's message, once both threads are out of the
// job, on either thread; the next press works.
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
        EXPECT_EQ(press(form->Button5), kShortOfMemory);
        EXPECT_EQ(threadsInBand.load(), 3) << "both threads were in the job";
        failingThread = 0;
        EXPECT_EQ(press(form->Button5), Errors{});
    }
    platform::setAllocationFault(nullptr);
}

// A load short of memory leaves the picture as it was; short only while keeping buffers ready for
// the previews, it loads all the same.
TEST_F(Pipeline, ALoadIsAllOrNothing) {
    static std::atomic<int> blocks;
    const Pixels first = designedPicture(5, 4);
    const Pixels second = designedPicture(160, 140);
    load(savePicture(first, "first.bmp"));
    savePicture(second, "second.bmp");
    platform::releaseStore();
    platform::setAllocationFault([](std::size_t) { return true; });
    load("second.bmp");
    EXPECT_EQ(prompts->errors, kShortOfMemory);
    EXPECT_TRUE(samePixels(source(), first));
    prompts->errors.clear();
    platform::setAllocationFault([](std::size_t size) { return size == 480 * 140 && ++blocks == 3; });
    load("second.bmp");
    platform::setAllocationFault(nullptr);
    EXPECT_EQ(prompts->errors, Errors{});
    EXPECT_TRUE(samePixels(source(), second));
}
