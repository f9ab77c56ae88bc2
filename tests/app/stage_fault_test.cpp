// Faults while the buttons write and read their stage files, through the window: each shows a
// failure naming the file, leaves every stage file byte for byte as it was, leaves no temporary
// file behind, and the next press works.
#include <fcntl.h>
#include <linux/capability.h>
#include <map>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "app/window_fixture.h"
#include "platform/bmp_file.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Writes at most 7 bytes a call and is interrupted before every other call: slow but not failing.
ssize_t writeInDribbles(int fd, const void* data, size_t size) {
    static bool interrupt = false;
    interrupt = !interrupt;
    if (interrupt) {
        errno = EINTR;
        return -1;
    }
    return ::write(fd, data, std::min<size_t>(size, 7));
}

// Takes from this thread the capabilities that let root write where permissions forbid it, and
// gives them back at the end of the scope. Does nothing for a user who has none of them.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[capability / 32].effective &= ~(1u << (capability % 32));
        changed_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutPermissionOverride() {
        if (changed_) ::syscall(SYS_capset, &header_, saved_);
    }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool changed_ = false;
};

struct Stage {
    const char* file;
    platform::TButton* TForm1::*button;
};
const Stage kStages[] = {{"A.bmp", &TForm1::Button4}, {"B.bmp", &TForm1::Button5}, {"C.bmp", &TForm1::Button1}};

class StageFaults : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        load(savePicture(picture));
        pressAll();
        ASSERT_TRUE(prompts->errors.empty());
    }
    void TearDown() override {
        platform::setWriteFunction(nullptr);
        WindowTest::TearDown();
    }

    void pressAll() {
        click(form->Button4);
        click(form->Button5);
        click(form->Button1);
    }
    void press(const Stage& stage) { click((*form).*stage.button); }

    // What a press writes and shows when nothing goes wrong, given the result view before it
    // (SOBEL works on the result view, the other two on the source picture).
    Pixels expected(const Stage& stage, const Pixels& shownBefore) const {
        const std::string file = stage.file;
        if (file == "A.bmp") return referenceLumaPicture(picture);
        if (file == "B.bmp") return referenceMedian5(picture);
        return referenceEdges(shownBefore, 128);
    }

    // Every entry of the working directory, with the bytes of each file.
    std::map<std::string, std::vector<std::uint8_t>> contents() const {
        std::map<std::string, std::vector<std::uint8_t>> entries;
        for (const auto& entry : fs::directory_iterator(fs::current_path()))
            entries[entry.path().filename().string()] =
                entry.is_regular_file() ? readFileBytes(entry.path()) : std::vector<std::uint8_t>{};
        return entries;
    }

    // The press fails with one message that starts with `failure`, and nothing on disk changed.
    void expectFailedPress(const Stage& stage, const std::string& failure) {
        const auto before = contents();
        const Pixels sourceBefore = source();
        prompts->errors.clear();
        press(stage);
        ++faults;
        ASSERT_EQ(prompts->errors.size(), 1u) << stage.file << ": no failure shown";
        EXPECT_EQ(prompts->errors[0].rfind(failure, 0), 0u) << prompts->errors[0];
        EXPECT_EQ(contents(), before) << "a stage file changed, or a temporary file was left";
        EXPECT_EQ(source(), sourceBefore);
    }

    // The same press, with nothing in the way, writes the right stage file and shows it.
    void expectPressWorks(const Stage& stage) {
        const Pixels wanted = expected(stage, result());
        prompts->errors.clear();
        press(stage);
        EXPECT_TRUE(prompts->errors.empty()) << prompts->errors.front();
        EXPECT_EQ(parseStageFile(stage.file), wanted) << stage.file;
        EXPECT_EQ(result(), wanted) << stage.file;
    }

    const Pixels picture = designedPicture(13, 9);
    int faults = 0;
};

}  // namespace

TEST_F(StageFaults, FullDiskAtAnyPointOfEveryStageFile) {
    for (const Stage& stage : kStages) {
        const std::size_t size = fs::file_size(stage.file);
        for (const std::size_t budget : {std::size_t{0}, std::size_t{1}, std::size_t{53}, std::size_t{54}, size / 2, size - 1}) {
            SCOPED_TRACE(std::string(stage.file) + " after " + std::to_string(budget) + " bytes");
            const Pixels wanted = expected(stage, result());
            {
                const FullDiskAfter full(budget);
                expectFailedPress(stage, std::string(stage.file) + ": cannot write (No space left on device)");
            }
            EXPECT_EQ(result(), wanted) << "the result is shown before the save fails";
            expectPressWorks(stage);
        }
    }
    RecordProperty("faults", faults);
}

TEST_F(StageFaults, ShortAndInterruptedWritesStillWriteTheWholeFile) {
    platform::setWriteFunction(writeInDribbles);
    for (const Stage& stage : kStages) {
        fs::remove(stage.file);
        expectPressWorks(stage);
    }
}

TEST_F(StageFaults, DirectoryWhereAStageFileShouldBe) {
    for (const Stage& stage : kStages) {
        SCOPED_TRACE(stage.file);
        fs::remove(stage.file);
        fs::create_directory(stage.file);
        expectFailedPress(stage, std::string(stage.file) + ": cannot write (Is a directory)");
        EXPECT_TRUE(fs::is_directory(stage.file));
        fs::remove(stage.file);
        expectPressWorks(stage);
    }
}

TEST_F(StageFaults, WorkingDirectoryNotWritable) {
    const WithoutPermissionOverride asAnOrdinaryUser;
    fs::permissions(dir(), fs::perms::owner_read | fs::perms::owner_exec);
    // Tried for real: access() answers for root from capabilities this thread still could take back.
    const int probe = ::open("probe", O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (probe >= 0) {
        ::close(probe);
        ::unlink("probe");
        fs::permissions(dir(), fs::perms::owner_all);
        GTEST_SKIP() << "this process writes where permissions forbid it (privileges it cannot drop), so a "
                        "read-only directory cannot be made here";
    }
    for (const Stage& stage : kStages)
        expectFailedPress(stage, std::string(stage.file) + ": cannot write (Permission denied)");
    fs::permissions(dir(), fs::perms::owner_all);
    for (const Stage& stage : kStages) expectPressWorks(stage);
}

TEST_F(StageFaults, WorkingDirectoryRemovedUnderTheWindow) {
    fs::create_directory("work");
    fs::current_path("work");
    pressAll();
    fs::remove_all(dir() / "work");
    prompts->errors.clear();
    pressAll();
    EXPECT_EQ(prompts->errors, (std::vector<std::string>{"A.bmp: cannot write (No such file or directory)",
                                                         "A.bmp: no such file", "B.bmp: no such file"}));
    faults += 3;
    EXPECT_EQ(source(), picture);
    fs::current_path(dir());
    for (const Stage& stage : kStages) expectPressWorks(stage);
}

// Between two presses the stage file the second one reads is replaced: it fails naming that file,
// shows the result it had, and writes nothing; once the first press runs again, the second works.
TEST_F(StageFaults, StageFileReplacedBetweenPresses) {
    struct Replacement {
        const char* what;
        std::function<void(const fs::path&)> replace;
        const char* reason;
    };
    const std::vector<Replacement> replacements = {
        {"deleted", [](const fs::path& f) { fs::remove(f); }, "no such file"},
        {"junk", [](const fs::path& f) { writeFileBytes(f, {'B', 'M', 0, 0}); }, "cannot read as a BMP picture"},
        {"empty", [](const fs::path& f) { writeFileBytes(f, {}); }, "cannot read as a BMP picture"},
        {"cut short",
         [](const fs::path& f) {
             auto b = readFileBytes(f);
             b.resize(b.size() - 5);
             writeFileBytes(f, b);
         },
         "file is cut short"},
        {"directory",
         [](const fs::path& f) {
             fs::remove(f);
             fs::create_directory(f);
         },
         "is a directory, not a picture"},
    };
    const Stage pairs[][2] = {{kStages[0], kStages[1]}, {kStages[1], kStages[2]}};
    for (const auto& pair : pairs) {
        const Stage& writer = pair[0];
        const Stage& reader = pair[1];
        for (const Replacement& r : replacements) {
            SCOPED_TRACE(std::string(writer.file) + " " + r.what);
            expectPressWorks(writer);
            r.replace(writer.file);
            const Pixels shown = result();
            expectFailedPress(reader, std::string(writer.file) + ": " + r.reason);
            EXPECT_EQ(result(), shown) << "a failed read changed the result view";
            fs::remove(writer.file);
            expectPressWorks(writer);
            expectPressWorks(reader);
        }
    }
    RecordProperty("faults", faults);
}
