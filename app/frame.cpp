#include "app/frame.h"

#include <cstring>

#include "platform/bmp_file.h"
#include "platform/errors.h"
#include "platform/picture_reader.h"
#include "platform/prompts.h"
#include "platform/translation.h"

namespace frame {
namespace {

namespace fs = std::filesystem;

// The press that writes a stage file that a later press reads, by its button's caption.
const char* makerOf(const char* stageFile) {
    return std::strcmp(stageFile, kStageGrey) == 0 ? "灰階" : "濾波";
}

}  // namespace

void guardSourcePicture(const platform::TPicture& source) {
    if (source.Bitmap().Empty()) platform::ShowMessage(kLoadPictureMessage);
}

platform::TBitmap workCopyOf(const platform::TPicture& picture) {
    platform::TBitmap copy;
    copy.Assign(picture.Bitmap());
    copy.SetPixelFormat(platform::TPixelFormat::pf24bit);
    return copy;
}

fs::path workingFolder() {
    std::error_code error;
    fs::path folder = fs::current_path(error);
    return error ? fs::path(".") : folder;
}

namespace {

// The stage file's name in `folder`; throws, naming it, when there is no such file.
fs::path existingStageFile(const fs::path& folder, const char* stageFile) {
    const fs::path path = folder / stageFile;
    std::error_code error;
    if (!fs::exists(path, error) && !error)
        //: %2 is the caption of the button that writes the file
        platform::failFile(stageFile, platform::translate("Files", "no such file in %1; %2 makes it")
                                          .arg(platform::cleanPath(folder.string()), makerOf(stageFile)));
    return path;
}

void show(const platform::TBitmap& copy, platform::TImage& resultView) {
    resultView.SetStretch(true);
    resultView.Picture->Assign(copy);
}

}  // namespace

StageWriting::StageWriting(const platform::TBitmap& picture, const fs::path& folder, const char* stageFile)
    : writing_(std::async(std::launch::async, [&picture, this, path = (folder / stageFile).string()] {
          platform::writeBmp24(picture, path, made_);
      })) {}

StageWriting::~StageWriting() {
    if (!writing_.valid()) return;
    made_.abandon();
    writing_.wait();  // its MakingFailed says nothing the maker's own failure does not
}

void StageWriting::publish(const platform::TBitmap& copy, platform::TImage& resultView) {
    made_.finish();
    show(copy, resultView);
    writing_.get();
}

StageCheck startCheckingStageFile(const fs::path& folder, const char* stageFile) {
    return std::async(std::launch::async, [path = existingStageFile(folder, stageFile)] {
        platform::readBmpThrough(path.string());
    });
}

void computeWhileChecking(StageCheck& checking, const std::function<void()>& compute,
                          const std::function<void(bool computed)>& onceChecked) {
    try {
        compute();
    } catch (...) {
        checking.get();
        onceChecked(false);
        throw;
    }
    checking.get();
    onceChecked(true);
}

void showStageFile(platform::TImage& resultView, const fs::path& folder, const char* stageFile) {
    platform::TBitmap read;
    read.LoadFromFile((folder / stageFile).string());
    resultView.Picture->Assign(read);
}

void publishWhileMaking(platform::TBitmap& copy, platform::TImage& resultView, const fs::path& folder,
                        const char* stageFile, const std::function<void(platform::RowsMade&)>& make) {
    StageWriting writing(copy, folder, stageFile);
    make(writing.made());
    writing.publish(copy, resultView);
}

}  // namespace frame
