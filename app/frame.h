#pragma once
// The steps every operation is built from: the empty-picture guard, the 24-bit work copy, reading
// a stage file as a precondition, and publishing a result into the result view and its stage file.
#include <filesystem>
#include <functional>
#include <future>

#include "platform/controls.h"
#include "platform/graphics.h"

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

// Reads the stage file in `folder` into `copy`; throws, naming the file first, when it cannot be
// read: "A.bmp: no such file in /home/ana/photos; 灰階 makes it".
void readStageFile(platform::TBitmap& copy, const std::filesystem::path& folder, const char* stageFile);

// Stretch on, the result view shows the copy, the copy is saved as the stage file in `folder`; in
// that order, so a failed save leaves the new result on screen.
void publish(const platform::TBitmap& copy, platform::TImage& resultView, const std::filesystem::path& folder,
             const char* stageFile);

// A stage file being read on a thread of its own while the press computes and writes its result:
// the two copies between the disk's cache and memory then run on both cores at once.
using StageRead = std::future<platform::TBitmap>;

// Starts reading the stage file in `folder`; throws at once as readStageFile does when there is no
// such file, and from the result's get() when it cannot be read.
StageRead startReadingStageFile(const std::filesystem::path& folder, const char* stageFile);

// Runs `compute`; when it fails, the result view shows the stage file read, as a press that reads it
// first shows it, or the read's own failure is the one thrown, as the read comes first.
void computeWhileReading(StageRead& reading, platform::TImage& resultView,
                         const std::function<void()>& compute);

// publish, once the stage file read: the new file is written meanwhile, and when the read fails it
// is removed and the view and the old file stay as they were.
void publishAfterReading(StageRead& reading, const platform::TBitmap& copy, platform::TImage& resultView,
                         const std::filesystem::path& folder, const char* stageFile);

}  // namespace frame
