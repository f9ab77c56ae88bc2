#include "app/Unit1.h"

#include <string>

#include "app/frame.h"
#include "imaging/edges.h"
#include "imaging/luma.h"
#include "imaging/median.h"
#include "platform/translation.h"

using platform::TBitmap;
using platform::translate;

TForm1* Form1 = nullptr;

TForm1::TForm1() : TForm("Form1", 192, 114, 688, 453) {
    SetIcon({":/icons/edgepipe-32.png", ":/icons/edgepipe-128.png"});
    Image1 = Make<TImage>(24, 24, 321, 241);
    Image2 = Make<TImage>(344, 24, 321, 241);
    Button1 = Make<TButton>("SOBEL", 120, 336, 89, 25);
    ScrollBar1 = Make<TScrollBar>(32, 384, 169, 25);
    Edit1 = Make<TEdit>(208, 384, 41, 21);
    Button2 = Make<TButton>("LOAD", 32, 288, 89, 25);
    Button3 = Make<TButton>("CLOSE", 208, 336, 89, 25);
    OpenPictureDialog1 = Make<TOpenPictureDialog>();
    Button4 = Make<TButton>("灰階", 120, 288, 89, 25);
    Button5 = Make<TButton>("濾波", 120, 312, 89, 25);
    SetTabOrder({Button1, ScrollBar1, Edit1, Button2, Button3, Button4, Button5});
    // Tooltips, and names and descriptions for screen readers and automation, in the user's
    // language; the stage files named are written into the folder edgepipe was started in.
    Image1->SetHint(translate("Window", "The loaded picture, stretched to the view"),
                    translate("Window", "Source picture"));
    Image2->SetHint(translate("Window", "The last result: grey, smoothed, edges or a threshold preview"),
                    translate("Window", "Result picture"));
    Button2->SetHint(
        translate("Window",
                  "Opens a picture (BMP, PNG, JPEG or GIF) into the left view; writes nothing. A "
                  "picture file dropped on the window opens the same way"),
        translate("Window", "Load"));
    Button4->SetHint(
        translate("Window", "Grey picture (luma) of the loaded picture; writes %1").arg(frame::kStageGrey),
        translate("Window", "Grey (灰階)"));
    Button5->SetHint(
        translate("Window",
                  "Smooths the loaded picture's blue channel with five 3 x 3 median passes, shown "
                  "in grey; needs %1, writes %2")
            .arg(frame::kStageGrey, frame::kStageSmooth),
        translate("Window", "Filter (濾波)"));
    Button1->SetHint(
        translate("Window",
                  "Black-and-white edge map, at the scroll bar's threshold, of the picture on the "
                  "right (the smoothed one, or the threshold preview when the bar moved after "
                  "濾波); needs %1, writes %2")
            .arg(frame::kStageSmooth, frame::kStageEdges),
        translate("Window", "Sobel"));
    ScrollBar1->SetHint(
        translate("Window",
                  "The edge threshold, 0 to 255: moving it previews the loaded picture's edges "
                  "on the right and writes nothing; SOBEL uses it"),
        translate("Window", "Edge threshold"));
    Edit1->SetHint(
        translate("Window", "The edge threshold set with the scroll bar; typing here changes nothing"),
        translate("Window", "Edge threshold value"));
    Button3->SetHint(translate("Window", "Ends edgepipe; writes nothing"), translate("Window", "Close"));

    ScrollBar1->SetRange(0, 255);
    ScrollBar1->SetPosition(128);
    // Wired after the position is set, so building the window runs no preview.
    ScrollBar1->OnChange = [this](TObject* s) { ScrollBar1Change(s); };
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    Button3->OnClick = [this](TObject* s) { Button3Click(s); };
    Button4->OnClick = [this](TObject* s) { Button4Click(s); };
    Button5->OnClick = [this](TObject* s) { Button5Click(s); };
    OnDropFile = [this](TObject* s, const std::string& fileName) { FormDropFile(s, fileName); };
}

// LOAD: a picture chosen in the dialog becomes the source picture, drawn scaled to the view.
void TForm1::Button2Click(TObject*) {
    if (!OpenPictureDialog1->Execute()) return;
    OpenPicture(OpenPictureDialog1->FileName);
}

// The dialog remembers the file, as if it had been chosen there.
void TForm1::OpenPicture(const std::string& fileName) {
    OpenPictureDialog1->FileName = fileName;
    Image1->Picture->LoadFromFile(fileName);
    Image1->SetStretch(true);
}

// A picture file dropped anywhere on the window opens as LOAD opens it.
void TForm1::FormDropFile(TObject*, const std::string& FileName) { OpenPicture(FileName); }

// CLOSE
void TForm1::Button3Click(TObject*) { Close(); }

// 灰階: the luma of the source picture, written as A.bmp as the decomposition makes it.
void TForm1::Button4Click(TObject*) {
    frame::StageWriting writing(imaging::lumaPlane(), CurrentStageFolder(), frame::kStageGrey);
    LumaDecomposition(writing.made());
    LumaDisplay(writing);
}

void TForm1::LumaDecomposition(platform::RowsMade& made) {
    frame::guardSourcePicture(*Image1->Picture);
    const TBitmap copy = frame::workCopyOf(*Image1->Picture);
    imaging::lumaDecompose(copy, &made);
}

void TForm1::LumaDisplay(frame::StageWriting& writing) {
    frame::guardSourcePicture(*Image1->Picture);
    TBitmap copy;
    imaging::lumaDisplay(copy);
    writing.publish(copy, *Image2);
}

// 濾波: five 3 x 3 median passes over the source picture, written as B.bmp; needs A.bmp.
void TForm1::Button5Click(TObject*) {
    frame::guardSourcePicture(*Image1->Picture);
    const std::filesystem::path folder = CurrentStageFolder();
    frame::StageCheck checking = frame::startCheckingStageFile(folder, frame::kStageGrey);
    TBitmap copy;
    frame::publishWhileMaking(copy, *Image2, folder, frame::kStageSmooth, [&](platform::RowsMade& made) {
        frame::computeWhileChecking(
            checking, [&] { imaging::medianFilter(frame::workCopyOf(*Image1->Picture), copy, &made); },
            [&](bool computed) {
                // A failure before the result is ready leaves A.bmp in view, as a press that reads it
                // into the view first would.
                if (!computed) frame::showStageFile(*Image2, folder, frame::kStageGrey);
            });
    });
}

// SOBEL: the edge map of the result view's picture, written as C.bmp; needs B.bmp, whose content is
// not used: it is read through on a thread of its own while the edges are drawn, and not kept.
void TForm1::Button1Click(TObject*) {
    frame::guardSourcePicture(*Image1->Picture);
    const std::filesystem::path folder = CurrentStageFolder();
    frame::StageCheck checking = frame::startCheckingStageFile(folder, frame::kStageSmooth);
    const int threshold = ScrollBar1->Position();
    TBitmap copy;
    frame::publishWhileMaking(copy, *Image2, folder, frame::kStageEdges, [&](platform::RowsMade& made) {
        frame::computeWhileChecking(
            checking,
            [&] { imaging::drawEdges(frame::workCopyOf(*Image2->Picture), copy, threshold, &made); },
            [&](bool) { ShowThreshold(threshold); });
    });
}

// Threshold preview: the edge map of the source picture at the new threshold; no file.
void TForm1::ScrollBar1Change(TObject*) {
    const int threshold = ScrollBar1->Position();
    ShowThreshold(threshold);
    TBitmap copy;
    imaging::drawEdges(Image1->Picture->Bitmap(), copy, threshold);
    Image2->Picture->Assign(copy);
}

void TForm1::ShowThreshold(int threshold) { Edit1->SetText(std::to_string(threshold)); }

std::filesystem::path TForm1::CurrentStageFolder() const {
    return stageFolder.empty() ? frame::workingFolder() : stageFolder;
}
