#pragma once
// The main window: a source view on the left, a result view on the right, the buttons that run
// the pipeline and the threshold scroll bar.
#include <filesystem>

#include "app/frame.h"
#include "platform/controls.h"

using platform::TButton;
using platform::TEdit;
using platform::TForm;
using platform::TImage;
using platform::TObject;
using platform::TOpenPictureDialog;
using platform::TScrollBar;

class TForm1 : public TForm {
public:
    TForm1();

    TImage* Image1;          // source view: the loaded picture
    TImage* Image2;          // result view: the last operation's result
    TButton* Button1;        // SOBEL
    TScrollBar* ScrollBar1;  // edge threshold, 0 to 255
    TEdit* Edit1;            // threshold read-out
    TButton* Button2;        // LOAD
    TButton* Button3;        // CLOSE
    TOpenPictureDialog* OpenPictureDialog1;
    TButton* Button4;  // 灰階: grey
    TButton* Button5;  // 濾波: filter

    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void Button3Click(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Button5Click(TObject* Sender);
    void ScrollBar1Change(TObject* Sender);
    void FormDropFile(TObject* Sender, const std::string& FileName);

    // LOAD's loading step: a picture given on the command line or dropped on the window goes
    // the same way as one chosen in the dialog.
    void OpenPicture(const std::string& fileName);

    // Where the stage files go; empty (the window): the working directory at the moment of each press.
    std::filesystem::path stageFolder;

private:
    std::filesystem::path CurrentStageFolder() const;
    void LumaDecomposition(platform::RowsMade& made);
    void LumaDisplay(frame::StageWriting& writing);
    void ShowThreshold(int threshold);
};

extern TForm1* Form1;
