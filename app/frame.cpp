#include "app/frame.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/translation.h"

namespace frame {
namespace {

namespace fs = std::filesystem;

// The press that writes a stage file, by its button's caption.
const char* makerOf(const char* stageFile) {
    if (std::strcmp(stageFile, kStageGrey) == 0) return "灰階";
    if (std::strcmp(stageFile, kStageSmooth) == 0) return "濾波";
    return "SOBEL";
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

void readStageFile(platform::TBitmap& copy, const fs::path& folder, const char* stageFile) {
    const fs::path path = folder / stageFile;
    std::error_code error;
    if (!fs::exists(path, error) && !error)
        //: %2 is the caption of the button that writes the file
        platform::failFile(stageFile, platform::translate("Files", "no such file in %1; %2 makes it")
                                          .arg(platform::cleanPath(folder.string()), makerOf(stageFile)));
    copy.LoadFromFile(path.string());
}

void publish(const platform::TBitmap& copy, platform::TImage& resultView, const fs::path& folder,
             const char* stageFile) {
    resultView.SetStretch(true);
    resultView.Picture->Assign(copy);
    resultView.Picture->SaveToFile((folder / stageFile).string());
}

}  // namespace frame
