#pragma once
// The steps every operation is built from: the empty-picture guard, the 24-bit work copy, reading
// a stage file as a precondition, and publishing a result into the result view and its stage file.
#include <filesystem>
#include <functional>
#include <future>

#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/rows_made.h"

namespace frame {

inline constexpr const char* kStageGrey = "A.bmp";
inline constexpr const char* kStageSmooth = "B.bmp";
inline constexpr const char* kStageEdges = "C.bmp";

inline constexpr const char* kLoadPictureMessage = "請載入圖檔!!";

// Tells the user when there is no picture to work on; the operation goes on either way.
void guardSourcePicture(const platform::TPicture& source);

// The operation's own 24-bit copy of a picture. It shares a 24-bit picture's pixels until it
// writes; a grey picture is widened into pixels of its own.
platform::TBitmap workCopyOf(const platform::TPicture& picture);

// The working directory now, in full: where the window's stage files go. "." when the system
// cannot name it (it was removed), so that reading or writing there says what is wrong.
std::filesystem::path workingFolder();

// A stage file written on a thread kept for writing while its picture is made, so that writing,
// most of a press, need not wait for the whole picture: the maker works into `picture` and tells
// made() how far it got; publish() then shows the result and waits for the file, which takes its
// name only then.
// Gone without publish(), as when the maker failed, it leaves the old file as it was.
class StageWriting {
public:
    StageWriting(const platform::TBitmap& picture, const std::filesystem::path& folder,
                 const char* stageFile);
    ~StageWriting();
    StageWriting(const StageWriting&) = delete;
    StageWriting& operator=(const StageWriting&) = delete;

    platform::RowsMade& made() { return made_; }
    // Stretch on, the result view shows the copy of the made picture and draws it while the writer
    // finishes, the file takes its name; in that order, so a failed save leaves the new result on
    // screen. Throws the save's failure.
    void publish(const platform::TBitmap& copy, platform::TImage& resultView);

private:
    platform::RowsMade made_;
    std::future<void> writing_;
};

// A stage file that a press needs, read through on a thread kept for that while the press computes;
// its content is not kept. Dropped unread, the reading ends on its own.
using StageCheck = std::future<void>;

// Starts reading the stage file in `folder`. Throws at once, naming the file first, when there is no
// such file ("A.bmp: no such file in /home/ana/photos; 灰階 makes it"), and from the result's get()
// when it cannot be read.
StageCheck startCheckingStageFile(const std::filesystem::path& folder, const char* stageFile);

// Runs `compute` while the check goes on, then `onceChecked(computed)` once the check has passed,
// told whether `compute` did, before compute's failure is thrown: the press ends as one that read
// the file first would. When the check fails, its failure is the one thrown, as it comes first.
void computeWhileChecking(StageCheck& checking, const std::function<void()>& compute,
                          const std::function<void(bool computed)>& onceChecked);

// The result view shows the stage file in `folder`, read again.
void showStageFile(platform::TImage& resultView, const std::filesystem::path& folder, const char* stageFile);

// The result that `make` makes into `copy`, written as it is made and published (see StageWriting).
// When `make` throws, nothing is shown and the old file stays.
void publishWhileMaking(platform::TBitmap& copy, platform::TImage& resultView,
                        const std::filesystem::path& folder, const char* stageFile,
                        const std::function<void(platform::RowsMade&)>& make);

}  // namespace frame
