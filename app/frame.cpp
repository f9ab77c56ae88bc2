#include "app/frame.h"

#include "platform/prompts.h"

namespace frame {

void guardSourcePicture(const platform::TPicture& source) {
    if (source.Bitmap().Empty()) platform::ShowMessage(kLoadPictureMessage);
}

platform::TBitmap workCopyOf(const platform::TPicture& picture) {
    platform::TBitmap copy;
    copy.Assign(picture.Bitmap());
    copy.SetPixelFormat(platform::TPixelFormat::pf24bit);
    return copy;
}

void readStageFile(platform::TBitmap& copy, const char* stageFile) { copy.LoadFromFile(stageFile); }

void publish(const platform::TBitmap& copy, platform::TImage& resultView, const char* stageFile) {
    resultView.SetStretch(true);
    resultView.Picture->Assign(copy);
    resultView.Picture->SaveToFile(stageFile);
}

}  // namespace frame
