#pragma once
// A real main window on the offscreen platform, in its own working directory, with every box
// answered by a script.
#include <QTest>

#include "app/Unit1.h"
#include "support/test_support.h"

namespace testing_support {

using Errors = std::vector<std::string>;

class WindowTest : public InTempDir {
protected:
    void SetUp() override {
        InTempDir::SetUp();
        prompts = &scriptPrompts();
        form = std::make_unique<TForm1>();
    }
    void TearDown() override {
        platform::setPrompts(nullptr);
        InTempDir::TearDown();
    }

    void click(platform::TButton* button) { QTest::mouseClick(button->widget(), Qt::LeftButton); }
    // Clicks `button` and returns the failures the press showed; all it said stays in prompts->said.
    // Answers queued for the dialog stay for LOAD.
    Errors press(platform::TButton* button) {
        auto answers = std::move(prompts->answers);
        *prompts = ScriptedPrompts();
        prompts->answers = std::move(answers);
        click(button);
        return prompts->errors;
    }
    // LOAD with the dialog answering `file` (nullopt: cancelled).
    void load(std::optional<std::string> file) {
        prompts->answers.push_back(std::move(file));
        click(form->Button2);
    }
    Pixels result() const { return toPixels(form->Image2->Picture->Bitmap()); }

    ScriptedPrompts* prompts = nullptr;  // installed, so owned by the platform
    std::unique_ptr<TForm1> form;
};

}  // namespace testing_support
