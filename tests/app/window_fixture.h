#pragma once
// A real main window on the offscreen platform, in its own working directory, with every box
// answered by a script.
#include <QImage>
#include <QTest>
#include <QWidget>

#include "app/Unit1.h"
#include "support/test_support.h"

namespace testing_support {

class WindowTest : public InTempDir {
protected:
    void SetUp() override {
        InTempDir::SetUp();
        form = std::make_unique<TForm1>();
    }
    void TearDown() override {
        form.reset();
        InTempDir::TearDown();
    }

    void click(platform::TButton* button) { QTest::mouseClick(button->widget(), Qt::LeftButton); }

    // LOAD with the dialog answering `file` (or cancelled, for nullopt).
    void load(std::optional<std::string> file) {
        prompts->answers.push_back(std::move(file));
        click(form->Button2);
    }

    // Saves a picture where LOAD can find it.
    std::string savePicture(const Pixels& p, const std::string& name = "picture.bmp") {
        if (std::filesystem::path(name).extension() == ".bmp") {
            platform::TPicture picture;
            picture.Assign(toBitmap(p));
            picture.SaveToFile(name);
        } else {
            EXPECT_TRUE(toQImage(p).save(QString::fromStdString(name)));
        }
        return (dir() / name).string();
    }

    Pixels source() const { return toPixels(form->Image1->Picture->Bitmap()); }
    Pixels result() const { return toPixels(form->Image2->Picture->Bitmap()); }
    bool exists(const char* file) const { return std::filesystem::exists(dir() / file); }

    PromptScript prompts;
    std::unique_ptr<TForm1> form;
};

}  // namespace testing_support
